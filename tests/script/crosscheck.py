"""Mirror of the edit-data language's channel arithmetic in numpy, for the cross-check test.

Reads a.raw, b.raw, c.raw (uint16 words, 64^3, first index fastest) and lines.txt from the
folder given, and writes expected_<k>.raw (the words of "a" after line k) and expected_<k>.txt
(the printed text) for every line, each line starting from the original words.
"""
import sys
import numpy as np

F32 = np.float32
SHAPE = (64, 64, 64)  # z, y, x
RANGES = {"a": (0.0, 16.0), "b": (10.0, 20.0), "c": (-5.0, 5.0)}


def phys(w, name):
    mn, mx = RANGES[name]
    return (np.float64(F32(mn)) + (np.float64(F32(mx)) - np.float64(F32(mn))) * (w & 0x3FFF) / 16383.0).astype(F32)


def log(w):
    return ((w & 0x3FFF) / 16383.0).astype(F32)


def set_value(w, value, mn, mx):
    """Clamp into [mn, mx] in float, NaN to the top, then set the value bits; flags stay."""
    mn, mx = F32(mn), F32(mx)
    f = np.asarray(value, dtype=np.float64).astype(F32)
    f = np.where(np.isnan(f), mx, f)
    f = np.minimum(f, mx)
    f = np.maximum(f, mn)
    t = F32(1e-6) * max(abs(mx), abs(mn))
    with np.errstate(all="ignore"):
        d = ((f - mn) / F32(mx - mn) * F32(16383)).astype(np.float64) + 0.5
    d = np.clip(d, 0, 16383)
    bits = np.trunc(d).astype(np.uint16)
    if F32(mx - mn) < t:
        bits = np.zeros_like(bits)
    return (w & 0xC000) | bits


def set_phys(w, value, name):
    return set_value(w, value, *RANGES[name])


def set_raw(w, ints):
    return (w & 0xC000) | (np.asarray(ints).astype(np.int64) & 0x3FFF).astype(np.uint16)


def g(x):
    return "%g" % float(F32(x))


def nested_total(values, op):
    """Folds rows, then slices, then the whole, as the nested totals do."""
    v = values.astype(np.float64)
    for axis_len in (SHAPE[2], SHAPE[1], SHAPE[0]):
        acc = v[..., 0].copy() if op != "sum" else np.zeros(v.shape[:-1])
        start = 1 if op != "sum" else 0
        for i in range(start, axis_len):
            x = v[..., i]
            if op == "sum":
                acc = acc + x
            elif op == "max":
                acc = np.where(x > acc, x, acc)
            else:
                acc = np.where(x < acc, x, acc)
        v = acc
    return float(v)


def channel_text(first):
    return "{{{%s,...},...},...}" % first


def evaluate(line, a, b, c):
    pa, pb, pc = phys(a, "a"), phys(b, "b"), phys(c, "c")
    d = lambda x: x.astype(np.float64)
    if line == "a = b * 0.5 + 0.25":
        a = set_phys(a, d(pb) * 0.5 + 0.25, "a")
    elif line == "a = b * 0.5 + c":
        a = set_phys(a, d(pb) * 0.5 + d(pc), "a")
    elif line == "a = max(b, c, 0.3)":
        r = d(pb)
        r = np.where(d(pc) > r, d(pc), r)
        r = np.where(0.3 > r, 0.3, r)
        a = set_phys(a, r, "a")
    elif line == "a = min(b, c)":
        r = np.where(pc < pb, pc, pb)
        a = set_phys(a, r, "a")
    elif line == "a.raw = b.raw + 20000":
        a = set_raw(a, (b & 0x3FFF).astype(np.int64) + 20000)
        return a, channel_text(a.flat[0] & 0x3FFF)
    elif line == "a.log = b.log":
        a = set_value(a, log(b), 0.0, 1.0)
        return a, channel_text(g(log(a).flat[0]))
    elif line == "a.ro = b > 12":
        a = np.where(pb > 12, a | 0x4000, a & ~np.uint16(0x4000)).astype(np.uint16)
        return a, channel_text("true" if a.flat[0] & 0x4000 else "false")
    elif line == "a[0 ..3][1][] = 2":
        a = a.copy()
        a[0:4, 1, :] = set_phys(a[0:4, 1, :], np.full((4, 64), 2.0), "a")
        return a, "{{%s,...},...}" % g(phys(a, "a")[0, 1, 0])
    elif line == "a[0 ..3] = a[3 ..0]":
        a = a.copy()
        for i in range(4):
            a[i] = set_phys(a[i], phys(a[3 - i], "a"), "a")
        return a, "{{{%s,...},...},...}" % g(phys(a, "a")[0, 0, 0])
    elif line == "sumt(a)":
        return a, g(nested_total(pa, "sum"))
    elif line == "maxt(a)":
        return a, g(nested_total(pa, "max"))
    elif line == "mint(b)":
        return a, g(nested_total(pb, "min"))
    elif line == "a = sum(b, c) / 2":
        a = set_phys(a, (0.0 + d(pb) + d(pc)) / 2, "a")
    elif line == "a.raw = b.raw * 3 % 1000":
        r = ((b & 0x3FFF).astype(np.int64) * 3) % 1000
        a = set_raw(a, r)
        return a, channel_text(a.flat[0] & 0x3FFF)
    elif line == "a.val = b.val":
        a = set_raw(a, b)
        return a, channel_text(a.flat[0])
    elif line == "a += 1.5":
        a = set_phys(a, d(pa) + 1.5, "a")
    else:
        raise SystemExit("no mirror for " + line)
    return a, channel_text(g(phys(a, "a").flat[0]))


def main():
    folder = sys.argv[1]
    load = lambda n: np.fromfile("%s/%s.raw" % (folder, n), dtype=np.uint16).reshape(SHAPE)
    a0, b, c = load("a"), load("b"), load("c")
    with open(folder + "/lines.txt") as f:
        lines = [l.rstrip("\n") for l in f if l.strip()]
    for k, line in enumerate(lines):
        a, text = evaluate(line, a0.copy(), b, c)
        a.astype(np.uint16).tofile("%s/expected_%d.raw" % (folder, k))
        with open("%s/expected_%d.txt" % (folder, k), "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
