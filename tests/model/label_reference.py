"""Reference labelling for the cluster tests: 26-connected components of a byte mask.

usage: label_reference.py mask.raw nz ny nx foreground labels.raw
Writes the uint64 labels (C order, x fastest) and prints the cluster count.
"""
import sys

import numpy as np
from scipy import ndimage

mask_path, nz, ny, nx, fg, out_path = sys.argv[1:7]
shape = (int(nz), int(ny), int(nx))
mask = np.fromfile(mask_path, dtype=np.uint8).reshape(shape) == int(fg)
labels, count = ndimage.label(mask, structure=np.ones((3, 3, 3), dtype=bool))
labels.astype(np.uint64).tofile(out_path)
print(count)
