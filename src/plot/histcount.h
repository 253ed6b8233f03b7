#pragma once
// Counting voxel values (the 14 value bits of each word) into N equal bins of 16384 / N values.

#include <cstdint>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

constexpr std::uint32_t kMaxHistogramBins = 16384;

// trunc(value / (16384.0 / bins)) for a value of 0..16383 and 1..16384 bins.
std::uint32_t HistogramBinOf(std::uint32_t value, std::uint32_t bins);

// Adds the count of every bin of the block to counts[0..bins-1]. `threads` 0 takes all
// processors; the sums are exact whatever the thread count.
void CountVoxelBins(const imtype* data, std::uint64_t count, std::uint32_t bins, std::uint64_t* counts,
                    int threads = 0);

}  // namespace zun
