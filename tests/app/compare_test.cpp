// Document comparison: the report texts and the search for the first differing voxel word.

#include <gtest/gtest.h>

#include <random>

#include "app/compare.h"

using namespace zun;

namespace {
void Make(Image3d<std::uint16_t>& img, int nx, int ny, int nz, int chans) {
    img.AddChannels(chans);
    ASSERT_EQ(img.Resize(Dims{nx, ny, nz}), 1);
    for (int c = 0; c < chans; ++c) {
        std::uint16_t* p = img.Plane(c);
        for (std::uint64_t i = 0; i < img.GetNumVoxels(); ++i)
            p[i] = static_cast<std::uint16_t>((i * 7 + c) & 0x3FFF);
    }
}
}  // namespace

TEST(CompareDocuments, ReportTexts) {
    Image3d<std::uint16_t> a(true), b(true);
    Make(a, 4, 3, 2, 2);
    Make(b, 4, 3, 2, 2);
    EXPECT_EQ(CompareDocuments(a, "a.zun", "b.zun", b),
              "Compare a.zun and b.zun\n\nSame\nNumChans = 2, Dim = (4,3,2)\n");

    // Only the read-only flag of one voxel differs: its position and both words, flags included.
    b.Plane(1)[17] |= 0x4000;
    EXPECT_EQ(
        CompareDocuments(a, "a.zun", "b.zun", b),
        "Compare a.zun and b.zun\n\nDifferent - Channel 1 image data at position (17) does not match ( " +
            std::to_string(a.Plane(1)[17]) + ", " + std::to_string(a.Plane(1)[17] | 0x4000) + ")\n");

    Image3d<std::uint16_t> c(true), d(true);
    Make(c, 4, 3, 2, 3);
    EXPECT_EQ(CompareDocuments(a, "a.zun", "c.zun", c),
              "Compare a.zun and c.zun\n\nDifferent - numChans does not match ( 2, 3)\n");
    Make(d, 4, 5, 1, 2);
    EXPECT_EQ(CompareDocuments(a, "a.zun", "d.zun", d),
              "Compare a.zun and d.zun\n\nDifferent - DimY does not match ( 3, 5)\n");
}

TEST(CompareDocuments, FirstDifferenceAcrossBlocks) {
    const std::uint64_t n = 1300003;  // a serial head, parallel blocks and a partial last one
    std::vector<std::uint16_t> a(n), b;
    std::mt19937 rng(5);
    for (auto& v : a) v = static_cast<std::uint16_t>(rng());
    b = a;
    EXPECT_EQ(FirstDifference(a.data(), b.data(), n), n);
    for (std::uint64_t at :
         {std::uint64_t{0}, std::uint64_t{131072}, std::uint64_t{1048575}, std::uint64_t{1048576}, n - 1}) {
        b = a;
        b[at] ^= 1;
        b[n - 1] ^= 0x8000;  // a later difference must not win
        if (at == n - 1) b[at] = a[at] ^ 2;
        EXPECT_EQ(FirstDifference(a.data(), b.data(), n), at);
    }
    EXPECT_EQ(FirstDifference(a.data(), b.data(), 0), 0u);
}

TEST(CompareDocuments, WhichDocumentsAreCompared) {
    EXPECT_FALSE(PickComparedDocuments({}));
    EXPECT_FALSE(PickComparedDocuments({"a.zun"}));
    // Documents read from data files or not saved yet count as well.
    EXPECT_EQ(PickComparedDocuments({"phantom", "phantom.dat"}), std::make_pair(0, 1));
    EXPECT_EQ(PickComparedDocuments({"Zun1", "a.zun", "b.ZUN"}), std::make_pair(0, 1));
}
