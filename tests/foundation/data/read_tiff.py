"""Reads a TIFF file with tifffile: prints its tags as name=value lines and writes the samples
(row by row, samples of a pixel together) to the file given as the second argument."""
import sys

import tifffile

with tifffile.TiffFile(sys.argv[1]) as tif:
    print(f"pages={len(tif.pages)}")
    page = tif.pages[0]
    for name in ("ImageWidth", "ImageLength", "BitsPerSample", "SampleFormat", "SamplesPerPixel",
                 "PhotometricInterpretation", "PlanarConfiguration", "Compression", "Orientation", "Software"):
        tag = page.tags.get(name)
        value = tag.value if tag is not None else None
        if isinstance(value, tuple):
            value = tuple(int(v) for v in value)
            if len(set(value)) == 1:
                value = value[0]
        elif hasattr(value, "value"):
            value = int(value.value)
        print(f"{name}={value}")
    data = page.asarray()
    print(f"dtype={data.dtype}")
    open(sys.argv[2], "wb").write(data.tobytes())
