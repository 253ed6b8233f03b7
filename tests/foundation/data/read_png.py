# Reads a PNG with PIL and its chunks by hand: prints name=value lines (width, height, bit depth,
# colour type, PIL mode, whether the zlib data are stored blocks) and writes the decoded samples
# as raw little-endian bytes (uint8 or uint16) to the second argument.
import struct
import sys
import zlib

import numpy as np
from PIL import Image

path, raw_out = sys.argv[1], sys.argv[2]
data = open(path, "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG signature"
pos, idat, chunks = 8, b"", []
while pos < len(data):
    (length,) = struct.unpack(">I", data[pos:pos + 4])
    kind = data[pos + 4:pos + 8]
    body = data[pos + 8:pos + 8 + length]
    (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
    assert zlib.crc32(kind + body) & 0xFFFFFFFF == crc, "bad CRC in " + kind.decode()
    chunks.append(kind.decode())
    if kind == b"IHDR":
        width, height, depth, ctype = struct.unpack(">IIBB", body[:10])
    if kind == b"IDAT":
        idat += body
    pos += 12 + length
print("chunks=" + ",".join(chunks))
print(f"width={width}\nheight={height}\nbitdepth={depth}\ncolourtype={ctype}")
# Stored blocks: BTYPE 00 in the first deflate block header after the two zlib header bytes.
print("stored=" + str(int((idat[2] >> 1) & 3 == 0)))
img = Image.open(path)
img.load()
print("mode=" + img.mode)
arr = np.array(img)
if depth == 16:
    arr = arr.astype("<u2")
else:
    arr = arr.astype("u1")
open(raw_out, "wb").write(arr.tobytes())
