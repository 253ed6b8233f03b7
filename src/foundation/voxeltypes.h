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

// The extent of axis j, 0 for an axis the dims do not have.
inline int DimsExtent(const Dims& d, std::size_t j) {
    return j < d.size() ? d[j] : 0;
}

constexpr imtype kVoxelValueMask = 0x3FFF;
constexpr imtype kVoxelReadOnlyBit = 0x4000;
constexpr imtype kVoxelErrorBit = 0x8000;

// What CountVoxels gives for a grid whose voxel count does not fit 64 bits. No allocator grants a
// block of that many elements (plus the one past the end every channel holds), so such a grid is
// refused like any other impossible size instead of wrapping round to a small block.
constexpr std::uint64_t kVoxelCountOverflow = UINT64_MAX - 1;

// Product of the extents; 0 for no axes. Negative extents count as 0. Saturates at
// kVoxelCountOverflow.
inline std::uint64_t CountVoxels(const Dims& dims) {
    if (dims.empty()) return 0;
    std::uint64_t n = 1;
    bool overflow = false;
    for (int d : dims) {
        if (d <= 0) return 0;
        overflow = overflow || __builtin_mul_overflow(n, static_cast<std::uint64_t>(d), &n);
    }
    return overflow || n > kVoxelCountOverflow ? kVoxelCountOverflow : n;
}

// True when no block can hold the grid: a negative extent or a voxel count past 64 bits.
inline bool ImpossibleDims(const Dims& dims) {
    for (int d : dims)
        if (d < 0) return true;
    return CountVoxels(dims) == kVoxelCountOverflow;
}

// 0 equal, 1 same number of axes but some extent differs, 2 different numbers of axes.
inline int CompareDims(const Dims& a, const Dims& b) {
    if (a.size() != b.size()) return 2;
    return a == b ? 0 : 1;
}

// Thread count used by the voxel loops of this folder (all processors).
int VoxelThreadCount();

}  // namespace zun
