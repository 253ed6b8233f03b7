#pragma once
// TIFF slice files: the float probe and the result codes of the readers and writers, which are
// members of Image2d (image.h). No code comes with a message; callers turn codes into texts.

#include <string>

namespace zun {

enum TiffResult : int {
    kTiffOk = 0,
    kTiffNoMemory = -1,
    kTiffCannotOpen = 1,           // also: the writer cannot create the file
    kTiffTagRefused = 6,           // writer: the library refused a tag
    kTiffDirectoryNotWritten = 8,  // writer: the directory or the data could not be written
    kTiffNoWidth = 9,
    kTiffNoLength = 10,
    kTiffNoBitsPerSample = 11,
    kTiffNoPlanarConfig = 12,
    // Samples the reader cannot take: a depth other than 8, 16, 32 or 64 bits (or 12 with one
    // sample per pixel or separate planes), a tiled file, or data that cannot be read.
    kTiffUnsupported = 14,
    kTiffNoPhotometric = 15,
    kTiffPaletteSamples = 16,
    kTiffPaletteDepth = 17,
    kTiffNoColorMap = 18,
};

// 0, 1 (cannot open) or 11 (no BitsPerSample). On 0 `isFloat` (optional) tells whether the
// samples are 32-bit IEEE floats (a file without SampleFormat is never float).
int IsTiffFloat(const std::string& path, bool* isFloat);

}  // namespace zun
