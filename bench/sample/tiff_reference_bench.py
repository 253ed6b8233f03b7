"""Writes a stack of 16-bit TIFF slices, or times tifffile reading it back.

usage: tiff_reference_bench.py write dir nz ny nx
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
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(1)
    for z in range(nz):
        tifffile.imwrite(os.path.join(folder, "s%03d.tif" % z), rng.integers(0, 65536, (ny, nx), dtype=np.uint16))
else:
    nz, repeats = int(sys.argv[3]), int(sys.argv[4])
    best = float("inf")
    for _ in range(repeats):
        t0 = time.perf_counter()
        stack = [tifffile.imread(os.path.join(folder, "s%03d.tif" % z)) for z in range(nz)]
        best = min(best, time.perf_counter() - t0)
    print(best)
