#pragma once
// Element types of the voxel containers and the dimension vector they share.

#include <cstdint>
#include <vector>

namespace zun {

// The document's voxel words: bits 0-13 the value, bit 14 read-only, bit 15 error.
using imtype = unsigned short;
using uint8 = unsigned char;
// Integer slice import and label volumes. Kept distinct from std::uint64_t (unsigned long on
// Linux) so that one name always means one template instantiation.
using ullong = unsigned long long;
// Packed display volumes.
using disptype = unsigned int;

// Extents per axis, the first axis fastest.
using Dims = std::vector<int>;

constexpr imtype kVoxelValueMask = 0x3FFF;
constexpr imtype kVoxelReadOnlyBit = 0x4000;
constexpr imtype kVoxelErrorBit = 0x8000;

// Product of the extents; 0 for no axes. Negative extents count as 0.
inline std::uint64_t CountVoxels(const Dims& dims) {
    if (dims.empty()) return 0;
    std::uint64_t n = 1;
    for (int d : dims) n *= d > 0 ? static_cast<std::uint64_t>(d) : 0u;
    return n;
}

// 0 equal, 1 same number of axes but some extent differs, 2 different numbers of axes.
inline int CompareDims(const Dims& a, const Dims& b) {
    if (a.size() != b.size()) return 2;
    return a == b ? 0 : 1;
}

// Thread count used by the voxel loops of this folder (all processors).
int VoxelThreadCount();

}  // namespace zun
