#pragma once
// PNG files of 2-D multi-channel images through libpng: grey (one channel) or RGB with alpha
// (four channels), 8 or 16 bits per sample, stored without zlib compression so that writing is
// bound by the disk, not by deflate.

#include <string>

#include "foundation/image.h"

namespace zun {

// 0 written, 1 failed. grey: colour type 0 and one channel; otherwise colour type 6 and four
// channels (each channel a plane of width x height samples). bitDepth is written to the header
// as given and must suit the element type (8 for bytes, 8 or 16 for words). The file is written
// under a temporary name and renamed into place, so a failure leaves no partial file and keeps
// any old one.
int WritePngImage(const Image2d<uint8>& image, const std::string& fileName, int bitDepth, bool grey);
int WritePngImage(const Image2d<imtype>& image, const std::string& fileName, int bitDepth, bool grey);

}  // namespace zun
