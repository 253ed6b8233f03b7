"""Independent references for the channel tool tests, written from the tools' definitions with
numpy and scipy: correlation, gradient magnitude, a uniform box filter and the value-range
redistribution."""
import sys

import numpy as np


def load(path, dtype, shape):
    return np.fromfile(path, dtype=dtype).reshape(shape)


def corrcoef(a_path, b_path, out_path):
    a = np.fromfile(a_path, dtype=np.uint16).astype(np.float64)
    b = np.fromfile(b_path, dtype=np.uint16).astype(np.float64)
    np.array([np.corrcoef(a, b)[0, 1]]).tofile(out_path)


def faces(v, axis, periodic, outside, low, high):
    """Lower and upper neighbours and spans along one axis (array order z, y, x)."""
    n = v.shape[axis]
    up = np.roll(v, -1, axis=axis)
    down = np.roll(v, 1, axis=axis)
    span = np.full(v.shape, 2.0)
    first = [slice(None)] * 3
    last = [slice(None)] * 3
    first[axis] = 0
    last[axis] = n - 1
    first, last = tuple(first), tuple(last)
    if not periodic:
        if outside:
            down[first] = np.floor(low * 16383 + 0.5)
            up[last] = np.floor(high * 16383 + 0.5)
        else:
            down[first] = v[first]
            up[last] = v[last]
            span[first] -= 1
            span[last] -= 1
    return (up - down) / span


def gradient(in_path, out_path, nx, ny, nz, options, values, hx, hy, hz):
    v = (load(in_path, np.uint16, (nz, ny, nx)) & 0x3FFF).astype(np.float64)
    h = min(hx, hy, hz)
    r = [hx / h, hy / h, hz / h]
    g = []
    for k, axis in enumerate((2, 1, 0)):  # x, y, z
        periodic = (options >> (2 * k)) & 1
        outside = (options >> (2 * k + 1)) & 1
        g.append(faces(v, axis, periodic, outside, values[2 * k], values[2 * k + 1]) / r[k])
    m = np.sqrt((g[0] ** 2 + g[1] ** 2 + g[2] ** 2) / 3.0)
    np.minimum(np.trunc(m), 16383).astype(np.uint16).tofile(out_path)


def uniform(in_path, out_path, nx, ny, nz, size):
    from scipy import ndimage

    v = load(in_path, np.float32, (nz, ny, nx)).astype(np.float64)
    ndimage.uniform_filter(v, size=size, mode="constant").astype(np.float64).tofile(out_path)


def redistribute(in_path, out_path, nx, ny, nz, lower, upper, lower_radius, upper_radius):
    """Both bounds redistributed, voxel by voxel in scan order (z, then y, then x; the lower side
    first): a voxel beyond a bound takes what it lacks from, or gives its excess to, the voxels
    of the ball of radius floor(radius + 0.1) around it that lie on the other side of the bound,
    the nearest distance first, the last distance used in proportion. Values are stored in single
    precision as the tool stores them."""
    v = load(in_path, np.float32, (nz, ny, nx)).copy()
    lower, upper = float(np.float32(lower)), float(np.float32(upper))

    def ball(radius):
        r = int(np.floor(radius + 0.1))
        offsets = {}
        for dz in range(-r, r + 1):
            for dy in range(-r, r + 1):
                for dx in range(-r, r + 1):
                    s = dx * dx + dy * dy + dz * dz
                    if 1 <= s <= r * r:
                        offsets.setdefault(s, []).append((dz, dy, dx))
        return sorted(offsets.items())

    def move(z, y, x, shells, bound, sign):
        # sign +1: the voxel lies above the bound and gives; -1: below it and takes.
        excess = sign * (float(v[z, y, x]) - bound)
        if excess <= 0:
            return
        centre = float(v[z, y, x])
        for _, offsets in shells:
            cells = []
            for dz, dy, dx in offsets:
                zz, yy, xx = z + dz, y + dy, x + dx
                if 0 <= zz < nz and 0 <= yy < ny and 0 <= xx < nx:
                    room = sign * (bound - float(v[zz, yy, xx]))
                    if room > 0:
                        cells.append((zz, yy, xx, room))
            capacity = sum(c[3] for c in cells)
            if capacity <= 0:
                continue
            share = min(1.0, excess / capacity)
            for zz, yy, xx, room in cells:
                amount = room * share
                v[zz, yy, xx] = np.float32(float(v[zz, yy, xx]) + sign * amount)
                centre -= sign * amount
            excess -= capacity * share
            if excess <= 0:
                break
        v[z, y, x] = np.float32(centre)

    low, high = ball(lower_radius), ball(upper_radius)
    for z in range(nz):
        for y in range(ny):
            for x in range(nx):
                move(z, y, x, low, lower, -1)
                move(z, y, x, high, upper, +1)
    v.tofile(out_path)


if __name__ == "__main__":
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "corrcoef":
        corrcoef(*args)
    elif cmd == "gradient":
        nx, ny, nz, options = (int(a) for a in args[2:6])
        values = [float(a) for a in args[6:12]]
        hx, hy, hz = (float(a) for a in args[12:15])
        gradient(args[0], args[1], nx, ny, nz, options, values, hx, hy, hz)
    elif cmd == "uniform":
        uniform(args[0], args[1], *(int(a) for a in args[2:6]))
    elif cmd == "redistribute":
        nx, ny, nz = (int(a) for a in args[2:5])
        redistribute(args[0], args[1], nx, ny, nz, *(float(a) for a in args[5:9]))
    else:
        sys.exit(2)
