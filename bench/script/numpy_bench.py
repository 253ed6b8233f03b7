"""numpy doing what the edit-data benchmark lines do, written as a user would write it in float32
(no float64 temporaries, in-place operations where they come naturally); prints the best time in
seconds."""
import sys
import time
import numpy as np

F32 = np.float32


def phys(w, mn, mx):
    """The physical values of a channel's words, as a float32 user would write it."""
    return (w & 0x3FFF).astype(F32) * F32((mx - mn) / 16383) + F32(mn)


def set_phys(w, f, mn, mx):
    """Words for float32 physical values, clipped to the range, flags kept; `f` is overwritten."""
    np.clip(f, F32(mn), F32(mx), out=f)
    f -= F32(mn)
    f *= F32(16383 / (mx - mn))
    f += F32(0.5)
    return (w & 0xC000) | f.astype(np.uint16)


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
            f = phys(b, 10, 20)
            f *= F32(0.5)
            f += F32(0.25)
            a = set_phys(a, f, 0, 16)
        elif which == "max":
            f = np.maximum(phys(b, 10, 20), phys(c, 10, 20))
            np.maximum(f, F32(0.3), out=f)
            a = set_phys(a, f, 0, 16)
        elif which == "raw":
            a = (a & 0xC000) | (((b & 0x3FFF) + np.uint16(20000)) & 0x3FFF)
        elif which == "where":
            pb, pc = phys(b, 10, 20), phys(c, 10, 20)
            a = set_phys(a, np.where(pb > 15, pb, pc), 0, 16)
        elif which == "sumt":
            float(phys(a, 0, 16).sum())
        elif which == "maxt":
            float(phys(a, 0, 16).max())
        best = min(best, time.perf_counter() - t0)
    print(best)


if __name__ == "__main__":
    main()
