#pragma once
// The voxel word of every sample channel: bits 0-13 the value 0..16383 (fraction value / 16383),
// bit 14 read-only (measured or fixed by the user; computations keep it), bit 15 error (the
// computation of this voxel failed).

#include <cstdint>

#include "foundation/voxeltypes.h"

namespace zun {

constexpr imtype kVoxelFlagMask = 0xC000;
constexpr int kMaxVoxelValue = 16383;
// A boundary channel's value bits: inside and outside.
constexpr imtype kBoundaryInside = 16383;
constexpr imtype kBoundaryOutside = 0;

inline int VoxelValue(imtype word) {
    return word & 0x3FFF;
}
inline float NormalisedVoxelValue(imtype word) {
    return static_cast<float>(word & 0x3FFF) / 16383.0f;
}

// min + (max - min) * value / 16383, the quotient in double rounded to float, the rest in float.
inline float PhysicalVoxelValue(imtype word, float min, float max) {
    const float q = static_cast<float>(static_cast<double>(word & 0x3FFF) / 16383.0);
    return min + q * (max - min);
}

// The word with its value bits set from a normalised value (truncated toward zero, clamped to
// 0..16383); the flags stay.
imtype WordWithNormalisedValue(imtype word, float f);

// Results of VoxelWordFromPhysical.
enum PhysicalWordResult : int {
    kPhysicalInRange = 0,
    kPhysicalDegenerateRange = 1,
    kPhysicalAboveRange = 2,
    kPhysicalBelowRange = 3,
};

// Stores a physical value into the value bits of `word` on the range min..max, keeping the
// flags. Out-of-range values store 16383 or 0 and say so by the result.
int VoxelWordFromPhysical(imtype& word, float value, float max, float min);

}  // namespace zun
