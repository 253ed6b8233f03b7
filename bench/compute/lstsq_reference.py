"""numpy's unconstrained least-squares solve plus clipping, the reference the optimisation kernels
are measured against. Reads the phantom written by the kernel benchmark, solves it in chunks of
65536 voxels (words to attenuation, lstsq, clip to [0, 1], back to words) and prints the best time
of three in seconds."""
import sys
import time

import numpy as np


def main(path):
    with open(path, "rb") as f:
        n, ct, voxels = (int(x) for x in np.fromfile(f, dtype=np.int64, count=3))
        matrix = np.fromfile(f, dtype=np.float64, count=(ct + 1) * n).reshape(ct + 1, n)
        atten = np.fromfile(f, dtype=np.float64, count=2 * ct).reshape(ct, 2)
        words = np.fromfile(f, dtype=np.uint16, count=ct * voxels).reshape(ct, voxels)
    out = np.empty((n, voxels), dtype=np.uint16)
    chunk = 65536
    best = 1e30
    for _ in range(3):
        t0 = time.perf_counter()
        for a in range(0, voxels, chunk):
            w = words[:, a:a + chunk]
            rhs = np.empty((ct + 1, w.shape[1]))
            rhs[0] = 1.0
            rhs[1:] = atten[:, :1] + (atten[:, 1:] - atten[:, :1]) * ((w & 0x3FFF) / 16383.0)
            x = np.linalg.lstsq(matrix, rhs, rcond=None)[0]
            out[:, a:a + chunk] = np.rint(np.clip(x, 0.0, 1.0) * 16383.0)
        best = min(best, time.perf_counter() - t0)
    print(best)


if __name__ == "__main__":
    main(sys.argv[1])
