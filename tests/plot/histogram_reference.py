"""Reference bin counts of voxel words with numpy: the value field (low 14 bits) over 16384
values split into N equal bins. Usage: histogram_reference.py words.bin out.txt N1 [N2 ...]
Writes one line of counts per N."""
import sys

import numpy as np

words = np.fromfile(sys.argv[1], dtype="<u2")
values = (words & 0x3FFF).astype(np.float64)
with open(sys.argv[2], "w") as out:
    for n in (int(a) for a in sys.argv[3:]):
        counts, _ = np.histogram(values, bins=n, range=(0.0, 16384.0))
        out.write(" ".join(str(int(c)) for c in counts) + "\n")
