# Parses a display RGBA text file with numpy and compares it with the packed volume in a raw file
# (uint32 texels, bytes red, green, blue, alpha): prints the header values, the line count and
# the largest difference of any field from byte / 255.
import sys

import numpy as np

text_path, raw_path = sys.argv[1], sys.argv[2]
with open(text_path) as f:
    lines = f.read().split("\n")
assert lines[-1] == "", "the file must end with a line end"
lines = lines[:-1]
pos = 0
if lines[0].startswith("# "):
    print("title=" + lines[0][2:])
    pos = 1
for axis in "XYZ":
    line = lines[pos]
    assert line.startswith(axis + ":") and len(line) == 14, repr(line)
    print(f"{axis}={int(line[2:])}")
    pos += 1
assert lines[pos] == "data"
data = lines[pos + 1:]
print(f"lines={len(data)}")
assert all(len(l) == 60 for l in data), "every voxel line holds four fields of 15 characters"
values = np.loadtxt(data, dtype=np.float64).reshape(-1, 4)
raw = np.fromfile(raw_path, dtype=np.uint8).reshape(-1, 4)
assert raw.shape == values.shape, (raw.shape, values.shape)
# Six significant digits of a float: every field lies within half a unit of its last digit (plus
# the float's own rounding) of byte / 255.
print(f"close={int(np.abs(values - raw / 255.0).max() <= 6e-7)}")
# Text of the fields as the stream writes them: the default format of 6 significant digits.
expected = [f"{np.float32(b) / np.float32(255):15g}" for b in range(256)]
bad = sum(1 for l, r in zip(data, raw) if l != "".join(expected[v] for v in r))
print(f"badlines={bad}")
