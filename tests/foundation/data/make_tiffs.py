"""Writes the TIFF files of the slice-file tests into the folder given as the first argument.

Most files come from tifffile and PIL; the few layouts those will not write (12-bit samples,
missing tags, odd palettes) come from the small raw writer below.
"""
import struct
import sys
from pathlib import Path

import numpy as np
import tifffile
from PIL import Image

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)


def ramp(h, w, dtype, scale=1, offset=0):
    y, x = np.mgrid[0:h, 0:w]
    return (offset + scale * (x + 10 * y)).astype(dtype)


def raw_tiff(path, width, length, tags, data):
    """Little-endian TIFF with one strip; tags maps tag -> (type, values)."""
    entries = dict(tags)
    entries[256] = (4, [width])
    entries[257] = (4, [length])
    sizes = {1: 1, 2: 1, 3: 2, 4: 4}
    fmt = {1: "B", 2: "B", 3: "H", 4: "I"}
    n = len(entries) + 2  # strip offsets and byte counts
    ifd_size = 2 + 12 * n + 4
    extra = bytearray()
    base = 8 + ifd_size
    data_offset = None
    records = []
    for tag in sorted(list(entries) + [273, 279]):
        if tag == 273:
            records.append((tag, 4, 1, None))
            continue
        if tag == 279:
            records.append((tag, 4, 1, len(data)))
            continue
        typ, values = entries[tag]
        payload = struct.pack("<" + fmt[typ] * len(values), *values)
        if len(payload) <= 4:
            records.append((tag, typ, len(values), payload.ljust(4, b"\0")))
        else:
            records.append((tag, typ, len(values), base + len(extra)))
            extra += payload
            if len(extra) % 2:
                extra += b"\0"
    data_offset = base + len(extra)
    ifd = struct.pack("<H", n)
    for tag, typ, count, value in records:
        if tag == 273:
            value = data_offset
        if isinstance(value, bytes):
            ifd += struct.pack("<HHI", tag, typ, count) + value
        else:
            ifd += struct.pack("<HHII", tag, typ, count, value)
    ifd += struct.pack("<I", 0)
    Path(path).write_bytes(b"II*\0" + struct.pack("<I", 8) + ifd + bytes(extra) + bytes(data))


# Independent writers.
tifffile.imwrite(out / "grey8.tif", ramp(5, 7, np.uint8))
tifffile.imwrite(out / "grey16.tif", ramp(5, 7, np.uint16, 997, 3))
tifffile.imwrite(out / "float32.tif", ramp(4, 6, np.float32, 0.5, -3.25))
tifffile.imwrite(out / "int64.tif", ramp(3, 4, np.uint64, 0x100000001, 0x0123456700000005))
tifffile.imwrite(out / "rgb8.tif", np.stack([ramp(4, 5, np.uint8, 1, c * 50) for c in range(3)], -1),
                 photometric="rgb")
tifffile.imwrite(out / "rgb16planar.tif", np.stack([ramp(4, 5, np.uint16, 300, c) for c in range(3)], 0),
                 photometric="rgb", planarconfig="separate")
tifffile.imwrite(out / "two16.tif", np.stack([ramp(3, 4, np.uint16, 1, 1000 * c) for c in range(2)], -1),
                 photometric="minisblack", planarconfig="contig")
tifffile.imwrite(out / "tiled.tif", ramp(32, 32, np.uint16), tile=(16, 16))
pal = Image.fromarray(ramp(4, 6, np.uint8) % 4, mode="P")
pal.putpalette([255, 0, 7, 1, 2, 3, 128, 64, 32, 9, 9, 9] + [0] * (256 * 3 - 12))
pal.save(out / "palette.tif")

# Raw layouts.
raw_tiff(out / "bits12.tif", 2, 1, {258: (3, [12]), 259: (3, [1]), 262: (3, [1]), 277: (3, [1]), 284: (3, [1])},
         bytes([0xAB, 0xCD, 0xEF]))
raw_tiff(out / "bits12rgb.tif", 2, 1, {258: (3, [12, 12, 12]), 262: (3, [2]), 277: (3, [3]), 284: (3, [1])},
         bytes(9))
# Separate planes: one strip per plane.
planes = [bytes([0x12, 0x34, 0x56]), bytes([0xAB, 0xCD, 0xEF]), bytes([0xFF, 0xF0, 0x01])]
raw = bytearray(b"II*\0" + struct.pack("<I", 8))
tags = [(256, 4, 1, 2), (257, 4, 1, 1), (258, 3, 3, None), (262, 3, 1, 2), (273, 4, 3, None), (277, 3, 1, 3),
        (279, 4, 3, None), (284, 3, 1, 2)]
ifd_end = 8 + 2 + 12 * len(tags) + 4
bps_off, off_off, cnt_off = ifd_end, ifd_end + 6, ifd_end + 18
data_off = ifd_end + 30
ifd = struct.pack("<H", len(tags))
for tag, typ, count, value in tags:
    if tag == 258:
        ifd += struct.pack("<HHII", tag, typ, count, bps_off)
    elif tag == 273:
        ifd += struct.pack("<HHII", tag, typ, count, off_off)
    elif tag == 279:
        ifd += struct.pack("<HHII", tag, typ, count, cnt_off)
    elif typ == 3:
        ifd += struct.pack("<HHIHH", tag, typ, count, value, 0)
    else:
        ifd += struct.pack("<HHII", tag, typ, count, value)
ifd += struct.pack("<I", 0)
raw += ifd + struct.pack("<HHH", 12, 12, 12)
raw += struct.pack("<III", data_off, data_off + 3, data_off + 6) + struct.pack("<III", 3, 3, 3)
raw += b"".join(planes)
(out / "bits12planar.tif").write_bytes(bytes(raw))

raw_tiff(out / "float_noformat.tif", 2, 1, {258: (3, [32]), 262: (3, [1]), 277: (3, [1])},
         struct.pack("<ff", 1.5, -2.0))
raw_tiff(out / "bits4.tif", 2, 1, {258: (3, [4]), 262: (3, [1]), 277: (3, [1])}, bytes([0x12]))
cmap = [0] * 768
cmap[5] = 65535            # red of index 5
cmap[256 + 5] = 511        # green of index 5
cmap[512 + 5] = 256        # blue of index 5
raw_tiff(out / "palette511.tif", 2, 1, {258: (3, [8]), 262: (3, [3]), 277: (3, [1]), 320: (3, cmap)},
         bytes([5, 0]))
cmap16 = [1] * (3 * 65536)
raw_tiff(out / "palette16.tif", 1, 1, {258: (3, [16]), 262: (3, [3]), 277: (3, [1]), 320: (3, cmap16)},
         bytes(2))
raw_tiff(out / "palette2.tif", 1, 1, {258: (3, [8, 8]), 262: (3, [3]), 277: (3, [2]), 320: (3, [0] * 768)},
         bytes(2))
(out / "not_a_tiff.tif").write_bytes(b"hello, this is not a TIFF file at all\n")
