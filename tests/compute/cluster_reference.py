"""Reference labelling for the cluster tests: thresholds a raw 16-bit volume and labels it with
26-connectivity. Usage: cluster_reference.py words.raw nx ny nz threshold ge labels.raw
Writes one uint32 label per voxel (x fastest)."""
import sys

import numpy as np
from scipy import ndimage

path, nx, ny, nz, t, ge, out = sys.argv[1], *map(int, sys.argv[2:5]), float(sys.argv[5]), int(sys.argv[6]), sys.argv[7]
words = np.fromfile(path, dtype="<u2").reshape(nz, ny, nx)
values = (words & 0x3FFF) / 16383.0
mask = values >= t if ge else values <= t
labels, n = ndimage.label(mask, structure=np.ones((3, 3, 3), dtype=int))
labels.astype("<u4").tofile(out)
