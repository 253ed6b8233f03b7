"""numpy doing what the edit-data benchmark lines do; prints the best time in seconds."""
import sys
import time
import numpy as np

F32 = np.float32


def phys(w, mn, mx):
    return (np.float64(mn) + (np.float64(mx) - np.float64(mn)) * (w & 0x3FFF) / 16383.0).astype(F32)


def set_phys(w, value, mn, mx):
    f = value.astype(F32)
    f = np.where(np.isnan(f), F32(mx), f)
    f = np.clip(f, F32(mn), F32(mx))
    d = ((f - F32(mn)) / F32(mx - mn) * F32(16383)).astype(np.float64) + 0.5
    bits = np.trunc(np.clip(d, 0, 16383)).astype(np.uint16)
    return (w & 0xC000) | bits


def main():
    edge, which = int(sys.argv[1]), sys.argv[2]
    rng = np.random.default_rng(1)
    a = rng.integers(0, 16384, edge ** 3, dtype=np.uint16)
    b = rng.integers(0, 16384, edge ** 3, dtype=np.uint16)
    c = rng.integers(0, 16384, edge ** 3, dtype=np.uint16)
    best = 1e30
    for _ in range(3):
        t0 = time.perf_counter()
        if which == "affine":
            a = set_phys(a, phys(b, 10, 20).astype(np.float64) * 0.5 + 0.25, 0, 16)
        elif which == "max":
            r = np.maximum.reduce([phys(b, 10, 20).astype(np.float64), phys(c, 10, 20).astype(np.float64),
                                   np.full(a.shape, 0.3)])
            a = set_phys(a, r, 0, 16)
        elif which == "raw":
            a = (a & 0xC000) | (((b & 0x3FFF).astype(np.int64) + 20000) & 0x3FFF).astype(np.uint16)
        elif which == "where":
            pb, pc = phys(b, 10, 20), phys(c, 10, 20)
            a = set_phys(a, np.where(pb > 15, pb, pc), 0, 16)
        elif which == "sumt":
            float(np.sum(phys(a, 0, 16).astype(np.float64)))
        elif which == "maxt":
            float(np.max(phys(a, 0, 16)))
        best = min(best, time.perf_counter() - t0)
    print(best)


if __name__ == "__main__":
    main()
