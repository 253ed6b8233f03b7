#include "model/voxelword.h"

#include <algorithm>
#include <cmath>

namespace zun {

imtype WordWithNormalisedValue(imtype word, float f) {
    float v = f * 16383.0f;
    int bits = 0;
    if (v >= 16383.0f)
        bits = kMaxVoxelValue;
    else if (v > 0.0f)
        bits = static_cast<int>(v);  // NaN and negatives stay 0
    return static_cast<imtype>((word & kVoxelFlagMask) | bits);
}

int VoxelWordFromPhysical(imtype& word, float value, float max, float min) {
    const float tol = 1e-6f * std::max(std::fabs(max), std::fabs(min));
    int bits = 0;
    int result = kPhysicalInRange;
    // Written so that an empty range (also 0..0) and NaN bounds count as degenerate.
    if (!(max - min > tol)) {
        result = kPhysicalDegenerateRange;
    } else if (value - max > tol) {
        bits = kMaxVoxelValue;
        result = kPhysicalAboveRange;
    } else if (value - min < -tol) {
        result = kPhysicalBelowRange;
    } else {
        float f = (value - min) / (max - min) * 16383.0f + 0.5f;
        bits = f >= 16383.0f ? kMaxVoxelValue : (f > 0.0f ? static_cast<int>(f) : 0);
    }
    word = static_cast<imtype>((word & kVoxelFlagMask) | bits);
    return result;
}

}  // namespace zun
