#pragma once

#include <cmath>
#include <cstdint>

namespace zun {

// Sets bits 0-13 of a voxel word from a value in the range [min, max] and keeps the flag bits.
// Returns 0, or 1 for an empty range, 2 above the range, 3 below it.
inline int SetVoxelWordFromValue(uint16_t* word, float value, float max, float min) {
    const float t = 1e-6f * std::fmax(std::fabs(max), std::fabs(min));
    unsigned bits;
    int code = 0;
    if (max - min < t) {
        bits = 0, code = 1;
    } else if (value - max > t) {
        bits = 16383, code = 2;
    } else if (value - min < -t) {
        bits = 0, code = 3;
    } else {
        double d = (value - min) / (max - min) * 16383 + 0.5;
        if (std::isnan(d) || d > 16383.0) d = 16383.0;
        if (d < 0.0) d = 0.0;
        bits = static_cast<unsigned>(d);
    }
    *word = static_cast<uint16_t>((*word & 0xC000u) | bits);
    return code;
}

}  // namespace zun
