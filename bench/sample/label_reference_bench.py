"""Times scipy.ndimage.label (26-connectivity) on a raw byte mask.

usage: label_reference_bench.py mask.raw nz ny nx repeats
Prints the best time in seconds and the cluster count.
"""
import sys
import time

import numpy as np
from scipy import ndimage

path, nz, ny, nx, repeats = sys.argv[1:6]
mask = np.fromfile(path, dtype=np.uint8).reshape((int(nz), int(ny), int(nx))) != 0
structure = np.ones((3, 3, 3), dtype=bool)
best = float("inf")
count = 0
for _ in range(int(repeats)):
    t0 = time.perf_counter()
    _, count = ndimage.label(mask, structure=structure)
    best = min(best, time.perf_counter() - t0)
print(best, count)
