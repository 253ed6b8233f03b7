"""numpy references the optimisation kernels are measured against. Reads the phantom written by
the kernel benchmark and solves it in chunks of 65536 voxels, each from the CT words to the
fraction words (words to attenuation, solve, clip to [0, 1], back to words), in two ways: the
least-squares solve (lstsq) and the inverse of the square system times the right-hand sides,
which gives the same unconstrained answer. Prints the best time of three of each in seconds:
"lstsq inverse"."""
import sys
import time

import numpy as np


def solve_all(words, atten, out, solve):
    ct, voxels = words.shape
    chunk = 65536
    rhs = np.empty((ct + 1, chunk))
    rhs[0] = 1.0
    offset = atten[:, :1]
    scale = (atten[:, 1:] - atten[:, :1]) / 16383.0
    for a in range(0, voxels, chunk):
        w = words[:, a:a + chunk]
        r = rhs[:, :w.shape[1]]
        r[1:] = offset + scale * (w & 0x3FFF)
        x = solve(r)
        np.clip(x, 0.0, 1.0, out=x)
        out[:, a:a + chunk] = np.rint(x * 16383.0)


def best_of_three(run):
    best = 1e30
    for _ in range(3):
        t0 = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - t0)
    return best


def main(path):
    with open(path, "rb") as f:
        n, ct, voxels = (int(x) for x in np.fromfile(f, dtype=np.int64, count=3))
        matrix = np.fromfile(f, dtype=np.float64, count=(ct + 1) * n).reshape(ct + 1, n)
        atten = np.fromfile(f, dtype=np.float64, count=2 * ct).reshape(ct, 2)
        words = np.fromfile(f, dtype=np.uint16, count=ct * voxels).reshape(ct, voxels)
    out = np.empty((n, voxels), dtype=np.uint16)
    lstsq = best_of_three(
        lambda: solve_all(words, atten, out, lambda r: np.linalg.lstsq(matrix, r, rcond=None)[0]))
    inverse = None
    if matrix.shape[0] == matrix.shape[1]:
        inv = np.linalg.inv(matrix)
        inverse = best_of_three(lambda: solve_all(words, atten, out, lambda r: inv @ r))
    print(lstsq, inverse if inverse is not None else -1)


if __name__ == "__main__":
    main(sys.argv[1])
