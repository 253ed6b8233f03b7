"""Spectrum-weighted effective attenuation computed independently with numpy from the same tables.

Input (text): "step s", "density d", then blocks "filter enabled n" + n lines "energy value" and
"element amount weight n" + n lines "energy value" (the element's attenuation table points).
Prints the effective linear coefficient.
"""

import sys

import numpy as np

f32 = np.float32


def read(path):
    filters, elements = [], []
    step = density = None
    with open(path) as f:
        lines = [l.split() for l in f if l.strip()]
    i = 0
    while i < len(lines):
        t = lines[i]
        if t[0] == "step":
            step = f32(t[1])
        elif t[0] == "density":
            density = float(t[1])
        elif t[0] == "filter":
            n = int(t[2])
            pts = np.array([[float(x) for x in l] for l in lines[i + 1:i + 1 + n]]).reshape(-1, 2)
            filters.append((t[1] == "1", pts[:, 0].astype(f32), pts[:, 1].astype(f32)))
            i += n
        elif t[0] == "element":
            n = int(t[3])
            pts = np.array([[float(x) for x in l] for l in lines[i + 1:i + 1 + n]]).reshape(-1, 2)
            elements.append((f32(t[1]), float(t[2]), pts[:, 0].astype(f32), pts[:, 1].astype(f32)))
            i += n
        i += 1
    return step, density, filters, elements


def filter_value(f, e):
    enabled, E, V = f
    if not enabled or len(E) == 0:
        return f32(1)
    if not (E[0] <= e <= E[-1]):
        return f32(0)
    k = int(np.searchsorted(E, e))
    if E[k] == e:
        return V[k]
    lo = k - 1
    return f32(V[lo] + (V[k] - V[lo]) / (E[k] - E[lo]) * (e - E[lo]))


def table_value(E, V, e):
    if not (E[0] <= e <= E[-1]):
        return 0.0
    k = int(np.searchsorted(E, e))
    if E[k] == e:
        return float(V[k])
    lo, hi = k - 1, k
    if V[hi] > V[lo]:  # an edge lies between: continue the lower curve
        if lo == 0:
            return float(V[lo])
        t = (float(e) - float(E[lo])) / (float(E[lo]) - float(E[lo - 1]))
        return float(f32(float(V[lo]) + (float(V[lo]) - float(V[lo - 1])) * t))
    t = (float(e) - float(E[lo])) / (float(E[hi]) - float(E[lo]))
    return float(f32(float(V[lo]) + (float(V[hi]) - float(V[lo])) * t))


def main():
    step, density, filters, elements = read(sys.argv[1])
    usable = [f for f in filters if f[0] and len(f[1]) > 0]
    lo = min(f[1][0] for f in usable)
    hi = max(f[1][-1] for f in usable)
    grid = set()
    for f in usable:
        grid.update(f[1].tolist())
        if lo < f32(f[1][0] - step):
            grid.add(float(f32(f[1][0] - step)))
        if f32(f[1][-1] + step) < hi:
            grid.add(float(f32(f[1][-1] + step)))
    grid = np.array(sorted(grid), dtype=f32)
    molar = sum(float(a) * w for a, w, _, _ in elements)
    s = w_sum = 0.0
    for e0, e1 in zip(grid[:-1], grid[1:]):
        d = f32(e1 - e0)
        if d <= step:
            n, h = 1, d
        else:
            n = int(np.ceil(f32(d / step)))
            h = f32(d / f32(n))
        for i in range(n):
            e = f32(e0 + f32(f32(i) * h))
            gain = f32(1)
            for f in filters:
                gain = f32(gain * filter_value(f, e))
            g = float(h) * float(gain)
            if g == 0.0:
                continue
            mu = sum(float(a) * w / molar * table_value(E, V, e) for a, w, E, V in elements) * density
            s += g * mu
            w_sum += g
    print("%.12g" % float(f32(s / w_sum)))


main()
