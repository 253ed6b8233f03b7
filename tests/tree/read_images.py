# Decodes every image file of a folder with independent readers (PIL for PNG, tifffile for TIFF)
# and prints one line per file in name order: name, height, width, samples per pixel, dtype and
# the PNG mode or TIFF photometric; the decoded samples go as raw little-endian bytes to
# <rawdir>/<name>.raw. Any other entry of the folder (a temporary, a leftover) is listed as
# "other=<name>".
import os
import sys

import numpy as np
import tifffile
from PIL import Image

folder, rawdir = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(folder)):
    path = os.path.join(folder, name)
    if name.endswith(".png") and os.path.isfile(path):
        img = Image.open(path)
        img.load()
        kind = img.mode
        arr = np.array(img)
    elif name.endswith(".tif") and os.path.isfile(path):
        with tifffile.TiffFile(path) as tif:
            page = tif.pages[0]
            kind = str(int(page.photometric))
            arr = page.asarray()
    else:
        print("other=" + name)
        continue
    samples = arr.shape[2] if arr.ndim == 3 else 1
    if arr.dtype.itemsize > 1:
        arr = arr.astype("<u2")
    open(os.path.join(rawdir, name + ".raw"), "wb").write(arr.tobytes())
    print(f"file={name} {arr.shape[0]} {arr.shape[1]} {samples} {arr.dtype} {kind}")
