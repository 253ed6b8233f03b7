// Histograms of grids with more voxels than a 32-bit counter holds.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "foundation/histogram.h"

namespace zun {
namespace {

TEST(Histogram, CountsBeyondThirtyTwoBitsSaturateInsteadOfWrapping) {
    // One block listed 1025 times stands for a grid of 4.3 billion voxels, nearly all of value 0.
    std::vector<imtype> block(std::size_t(1) << 22, 0);
    for (int v = 1; v < 1000; ++v) block[static_cast<std::size_t>(v)] = static_cast<imtype>(v);
    const std::vector<VoxelBlockRef> blocks(1025, VoxelBlockRef{block.data(), block.size()});
    Histogram h;
    ASSERT_EQ(h.Build(blocks), 0);
    ASSERT_EQ(h.counters.size(), 1000u);
    // 1025 * (2^22 - 999) zeros: more than 2^32.
    EXPECT_EQ(h.counters[0], std::numeric_limits<std::uint32_t>::max());
    EXPECT_EQ(h.counters[1], 1025u);
    EXPECT_EQ(h.counters[999], 1025u);
}

}  // namespace
}  // namespace zun
