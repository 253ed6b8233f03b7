"""Writes a stack of 16-bit TIFF slices, or times tifffile reading it back.

usage: tiff_reference_bench.py write dir nz ny nx [float32]   (uint16 samples unless float32)
       tiff_reference_bench.py read dir nz repeats      prints the best time in seconds
"""
import os
import sys
import time

import numpy as np
import tifffile

mode, folder = sys.argv[1], sys.argv[2]
if mode == "write":
    nz, ny, nx = (int(v) for v in sys.argv[3:6])
    floats = len(sys.argv) > 6 and sys.argv[6] == "float32"
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(1)
    for z in range(nz):
        if floats:
            data = rng.random((ny, nx), dtype=np.float32)
        else:
            data = rng.integers(0, 65536, (ny, nx), dtype=np.uint16)
        tifffile.imwrite(os.path.join(folder, "s%03d.tif" % z), data)
else:
    nz, repeats = int(sys.argv[3]), int(sys.argv[4])
    best = float("inf")
    for _ in range(repeats):
        t0 = time.perf_counter()
        stack = [tifffile.imread(os.path.join(folder, "s%03d.tif" % z)) for z in range(nz)]
        best = min(best, time.perf_counter() - t0)
    print(best)
