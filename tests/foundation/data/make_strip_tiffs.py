"""Writes the multi-strip TIFF files of the strip-reading tests into the folder given first.

Every file holds sample = 3 x + 1000 y + 20000 c (c the sample index) on a 13 x 11 grid, so that
the tests know each value without reading it back here.
"""
import sys
from pathlib import Path

import numpy as np
import tifffile

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
y, x = np.mgrid[0:11, 0:13]


def planes(n, dtype):
    return [(3 * x + 1000 * y + 20000 * c).astype(dtype) for c in range(n)]


# Three rows a strip leaves a last strip of two rows.
tifffile.imwrite(out / "grey16.tif", planes(1, np.uint16)[0], rowsperstrip=3)
tifffile.imwrite(out / "grey16be.tif", planes(1, np.uint16)[0], rowsperstrip=4, byteorder=">")
tifffile.imwrite(out / "grey16zip.tif", planes(1, np.uint16)[0], rowsperstrip=3, compression="zlib")
tifffile.imwrite(out / "grey32.tif", planes(1, np.uint32)[0], rowsperstrip=5)
tifffile.imwrite(out / "grey64.tif", planes(1, np.uint64)[0], rowsperstrip=1)
tifffile.imwrite(out / "grey8.tif", (planes(1, np.uint32)[0] % 256).astype(np.uint8), rowsperstrip=6)
tifffile.imwrite(out / "rgb16.tif", np.stack(planes(3, np.uint16), -1), photometric="rgb", rowsperstrip=2)
tifffile.imwrite(out / "rgb32planar.tif", np.stack(planes(3, np.uint32), 0), photometric="rgb",
                 planarconfig="separate", rowsperstrip=4)

# Damaged copies of grey16.tif: a strip whose byte count is a row short, and a file cut short in
# its last strip.
data = bytearray((out / "grey16.tif").read_bytes())
with tifffile.TiffFile(out / "grey16.tif") as tif:
    page = tif.pages[0]
    counts = page.tags["StripByteCounts"]
    offsets = list(page.dataoffsets)
    width = {3: 2, 4: 4, 16: 8}[int(counts.dtype)]
short = bytearray(data)
at = counts.valueoffset + width  # the second strip's count
value = int.from_bytes(short[at:at + width], "little") - 26
short[at:at + width] = value.to_bytes(width, "little")
(out / "shortcount.tif").write_bytes(bytes(short))
(out / "truncated.tif").write_bytes(bytes(data[:offsets[-1] + 10]))
