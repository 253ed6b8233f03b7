"""Writes slice files for the import tests.

usage:
  slice_files.py tiff16 raw nz ny nx outdir   uint16 stack from raw (C order) -> outdir/s000.tif ...
  slice_files.py tiff8 path                    one 8-bit 6x4 image, sample = x + 10*y
  slice_files.py tiff8big path                 one 8-bit 20x20 image, sample = (13x + 7y) mod 256
  slice_files.py float path                    one float32 5x3 image, sample = (x + 5*y) / 14 * 2 - 0.5
  slice_files.py grd path                      Surfer 6 binary grid 4x3, value = x + 4*y
  slice_files.py vod path                      VO array file 4x3 (short samples, y fastest), value = x + 4*y
  slice_files.py every16 path rows             uint16 256 x rows, value = (40503 i) mod 2^16 (every sample from 256 rows on)
  slice_files.py wide path                     uint32 9x7 image with 3 rows a strip, value = 65521 x + 7919 y + 3
  slice_files.py floatmix path                 float32 64x40: a ramp over -3..3 with NaN, infinities, -0, denormals
  slice_files.py rgb16 path                    interleaved 3-sample uint16 10x6 image, value = 100 x + y + 20000 c
"""
import os
import struct
import sys

import numpy as np
import tifffile

kind = sys.argv[1]
if kind == "tiff16":
    raw, nz, ny, nx, out = sys.argv[2:7]
    data = np.fromfile(raw, dtype=np.uint16).reshape(int(nz), int(ny), int(nx))
    os.makedirs(out, exist_ok=True)
    for z in range(int(nz)):
        tifffile.imwrite(os.path.join(out, "s%03d.tif" % z), data[z])
elif kind == "tiff8":
    y, x = np.mgrid[0:4, 0:6]
    tifffile.imwrite(sys.argv[2], (x + 10 * y).astype(np.uint8))
elif kind == "tiff8big":
    y, x = np.mgrid[0:20, 0:20]
    tifffile.imwrite(sys.argv[2], ((x * 13 + y * 7) % 256).astype(np.uint8))
elif kind == "float":
    y, x = np.mgrid[0:3, 0:5]
    tifffile.imwrite(sys.argv[2], ((x + 5 * y) / 14.0 * 2 - 0.5).astype(np.float32))
elif kind == "grd":
    nx, ny = 4, 3
    values = np.arange(nx * ny, dtype=np.float32)
    with open(sys.argv[2], "wb") as f:
        f.write(b"DSBB" + struct.pack("<hh6d", nx, ny, 0, nx, 0, ny, 0, 11) + values.tobytes())
elif kind == "vod":
    nx, ny = 4, 3
    header = b"VO_DATATYPE = ARRAY2D<short>\nVO_HEADERTYPE = NOHEADER\nVO_FILETYPE = BIN\nNP = 12\n."
    samples = [x + 4 * y for x in range(nx) for y in range(ny)]
    with open(sys.argv[2], "wb") as f:
        f.write(header + struct.pack("<ii", nx, ny) + struct.pack("<12h", *samples))
elif kind == "every16":
    rows = int(sys.argv[3])
    values = (np.arange(256 * rows, dtype=np.uint64) * 40503) % 65536
    tifffile.imwrite(sys.argv[2], values.astype(np.uint16).reshape(rows, 256))
elif kind == "wide":
    y, x = np.mgrid[0:7, 0:9]
    tifffile.imwrite(sys.argv[2], (65521 * x + 7919 * y + 3).astype(np.uint32), rowsperstrip=3)
elif kind == "rgb16":
    y, x = np.mgrid[0:6, 0:10]
    planes = [100 * x + y + 20000 * c for c in range(3)]
    tifffile.imwrite(sys.argv[2], np.stack(planes, -1).astype(np.uint16), photometric="rgb", rowsperstrip=4)
elif kind == "floatmix":
    values = np.linspace(-3.0, 3.0, 64 * 40).astype(np.float32)
    specials = [np.nan, np.inf, -np.inf, -0.0, 0.0, 1e-40, -1e-40, 1e38, -1e38, 1.0, 2.5, -2.5, 0.5]
    values[: len(specials)] = specials
    tifffile.imwrite(sys.argv[2], values.reshape(40, 64))
