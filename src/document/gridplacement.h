#pragma once
// Where a resized sample grid keeps the old grid's data. An axis's offset is the position of the old
// grid's first voxel in the new grid: a positive offset adds voxels in front of the old data, a
// negative one drops old voxels from the front. The resize and every check before it ask these
// functions, so that what a check calls "no common region" is exactly what the resize empties.

#include <array>
#include <cstdint>

namespace zun {

// The run of voxels one axis keeps: old voxels oldFirst .. oldFirst + count - 1 land at newFirst.
struct GridAxisSpan {
    std::int64_t oldFirst = 0;
    std::int64_t newFirst = 0;
    std::int64_t count = 0;
};
GridAxisSpan KeptAlongAxis(std::uint32_t oldSize, std::uint32_t newSize, std::int64_t offset);

// True when at least one voxel of the old grid stays in the new one.
bool GridsShareVoxels(const std::array<std::uint32_t, 3>& oldSizes,
                      const std::array<std::uint32_t, 3>& newSizes,
                      const std::array<std::int32_t, 3>& offsets);

// Each offset held to -old size .. new size. Past that range an axis keeps nothing either way, so
// the resize's result is the same; the clamped offset only keeps the work that follows (slices
// inserted or removed, view items) bounded by the grids instead of by the number typed.
std::array<std::int32_t, 3> ClampGridOffsets(const std::array<std::uint32_t, 3>& oldSizes,
                                             const std::array<std::uint32_t, 3>& newSizes,
                                             const std::array<std::int32_t, 3>& offsets);

}  // namespace zun
