#pragma once
// The colour volume the 3-D view displays, as a text file: a short header with the extents, then
// one line per voxel (x fastest, then y, then z) with red, green, blue and alpha as fractions of
// 255, each right-aligned in 15 characters in the default floating-point format.

#include <cstdint>
#include <string>

namespace zun {

class ProgressSink;

enum RgbaTextResult : int {
    kRgbaWritten = 0,
    kRgbaFailed = 1,     // the file could not be made or written; any old file is left as it was
    kRgbaCancelled = 2,  // stopped through the progress sink; nothing is left under the name
};

// voxels: vx x vy x vz packed texels, bytes red, green, blue, alpha in memory order. The file is
// written under a temporary name and renamed into place. error (optional) receives the reason of
// a failure.
int WriteDisplayRgbaText(const std::string& path, const std::string& title, const std::uint32_t* voxels,
                         int vx, int vy, int vz, ProgressSink* progress = nullptr,
                         std::string* error = nullptr);

// The field of one byte value: value / 255 as a float in the default format, right-aligned in 15
// characters ("              1", "       0.501961").
std::string RgbaTextField(std::uint8_t value);

}  // namespace zun
