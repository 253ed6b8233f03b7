#include "tree/treestats.h"

#include <gtest/gtest.h>

#include "model/importinfo.h"
#include "tree/displaystate.h"
#include "tree/treefixture.h"
#include "tree/treehints.h"

namespace zun {
namespace {

// Iron (range 0..1) on a 2 x 2 x 2 grid: slice 0 holds 0, 1, 1, 0 (with read-only and error
// bits on two of them), slice 1 holds 0.5 everywhere.
class TreeStatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SampleSpec spec;
        spec.nx = 2;
        spec.ny = 2;
        spec.nz = 2;
        sample = MakeSample(spec);
        ZunChan* iron = sample->FindChan("Iron");
        iron->range = {0.0f, 1.0f};
        const std::uint16_t words[8] = {0, 16383 | 0x4000, 16383 | 0x8000, 0, 8192, 8192, 8192, 8192};
        std::copy(words, words + 8, iron->Data());
        tree.Build(*sample, "doc");
    }
    TreeNode* Iron() { return tree.FindChannel("Iron"); }
    std::unique_ptr<ZunImage> sample;
    DisplayTree tree;
};

TEST_F(TreeStatsTest, SlicesChannelAndLabels) {
    const DispSpec& s0 = Iron()->Child(0)->spec;
    EXPECT_FLOAT_EQ(s0.statAve, 0.5f);
    EXPECT_FLOAT_EQ(s0.statStdev, 0.5f);
    EXPECT_EQ(s0.statCount, 4u);
    EXPECT_FLOAT_EQ(s0.statMax, 1.0f);
    const DispSpec& s1 = Iron()->Child(1)->spec;
    EXPECT_FLOAT_EQ(s1.statStdev, 0.0f);  // equal values: no negative rounding residue
    EXPECT_EQ(Iron()->spec.statCount, 8u);
    EXPECT_EQ(Iron()->label, "Iron {ave=0.5}");
    StatsItemsFamily::SetOfSubtree(tree, Iron(), 31);
    ResetStatisticsOfSubtree(Iron());
    RefreshItemLabelsOfSubtree(tree, Iron());
    EXPECT_EQ(Iron()->Child(0)->label, "0 {ave=0.5,stdev=0.5,min=0,max=1,n=4}");
    EXPECT_EQ(Iron()->label, "Iron {ave=0.5,stdev=0.354,min=0,max=1,n=8}");
}

TEST_F(TreeStatsTest, ChannelStatisticsSectionIsGolden) {
    std::string section;
    ASSERT_TRUE(LogText::FindSection(sample->FindChan("Iron")->note, "Channel statistics", section));
    EXPECT_EQ(section,
              "Channel statistics:\n"
              "    slice\t      ave\t    stdev\t      min\t      max\t   voxels\n"
              "        0\t   0.5000\t   0.5000\t   0.0000\t   1.0000\t 4\n"
              "        1\t   0.5000\t   0.0000\t   0.5000\t   0.5000\t 4\n"
              "Number of voxels = 8, voxel ave = 0.500015, voxel stdev = 0.353553, voxel min = 0.000000, "
              "voxel max = 1.000000\n"
              "Number of slices = 2, slice ave = 0.500015, slice stdev = 0.000015, slice min = 0.500000, "
              "slice max = 0.500031\n");
    // Without counted slices the section is emptied, not left stale.
    StatsItemsFamily::SetOfSubtree(tree, Iron(), 0);
    Iron()->spec.statColumns = DispSpec::kColAve;
    ResetStatisticsOfSubtree(Iron());
    RefreshItemLabelsOfSubtree(tree, Iron());
    EXPECT_FALSE(LogText::FindSection(sample->FindChan("Iron")->note, "Channel statistics:", section));
    EXPECT_EQ(Iron()->label, "Iron {ave=0}");
    EXPECT_EQ(Iron()->spec.statMin, 0.0f);
}

TEST_F(TreeStatsTest, MaskedSlicesCountOnlyInside) {
    ZunChan* bound = sample->FindChan("bound_1");
    BoundaryMaskFamily::SetOfSubtree(tree, Iron(), {1, "bound_1"});
    ResetStatisticsOfSubtree(Iron());
    RefreshItemLabelsOfSubtree(tree, Iron());
    EXPECT_EQ(Iron()->Child(0)->spec.statCount, 0u);  // the mask is 0 everywhere
    EXPECT_EQ(Iron()->Child(0)->spec.statMin, 0.0f);
    EXPECT_EQ(Iron()->Child(0)->spec.statMax, 0.0f);
    bound->Data()[1] = 1;  // any non-zero word passes
    bound->Data()[2] = 0x4000;
    ApplyChangeHint(tree, kHintData,
                    std::make_unique<ChangeBoundMod>(std::vector<std::string>{"bound_1"}).get());
    EXPECT_EQ(Iron()->Child(0)->spec.statCount, 2u);
    EXPECT_FLOAT_EQ(Iron()->Child(0)->spec.statAve, 1.0f);
    EXPECT_EQ(Iron()->label, "Iron {ave=1}");
    // A mask naming no channel counts every voxel.
    BoundaryMaskFamily::SetOfSubtree(tree, Iron(), {1, "gone"});
    ApplyChangeHint(tree, kHintData, std::make_unique<StatsMod>().get());
    EXPECT_EQ(Iron()->Child(0)->spec.statCount, 4u);
}

// Planes of 7 x 5 words: whole blocks and a remainder, with and without a mask, against a plain
// count in doubles; the extremes sit in the remainder and in a masked-out voxel.
TEST(TreeStatsPlanes, SumsMatchAPlainCount) {
    SampleSpec spec;
    spec.nx = 7;
    spec.ny = 5;
    spec.nz = 1;
    auto sample = MakeSample(spec);
    ZunChan* iron = sample->FindChan("Iron");
    ZunChan* bound = sample->FindChan("bound_1");
    iron->range = {-2.0f, 3.0f};
    for (int i = 0; i < 35; ++i) {
        iron->Data()[i] =
            static_cast<std::uint16_t>((i * 2654435761u >> 7) % 16000 + 100) | (i % 4 ? 0 : 0xC000);
        bound->Data()[i] = static_cast<std::uint16_t>(i % 3 ? 5 : 0);
    }
    iron->Data()[34] = 16383;  // the largest, in the remainder
    iron->Data()[3] = 0;       // the smallest, masked out
    for (bool masked : {false, true}) {
        DisplayTree tree;
        tree.Build(*sample, "doc");
        TreeNode* slice = tree.FindChannel("Iron")->Child(0);
        if (masked) BoundaryMaskFamily::SetOfSubtree(tree, slice, {1, "bound_1"});
        ResetStatisticsOfSubtree(slice);
        const DispSpec& s = ComputeStatistics(tree, slice);
        double n = 0, sum = 0, sq = 0, lo = 1e9, hi = -1e9;
        for (int i = 0; i < 35; ++i) {
            if (masked && !bound->Data()[i]) continue;
            const double v = -2.0 + 5.0 * (iron->Data()[i] & 0x3FFF) / 16383.0;
            n += 1;
            sum += v;
            sq += v * v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        EXPECT_EQ(static_cast<double>(s.statCount), n) << masked;
        EXPECT_NEAR(s.statSum, sum, 1e-9) << masked;
        EXPECT_NEAR(s.statSumSq, sq, 1e-9) << masked;
        EXPECT_FLOAT_EQ(s.statMin, static_cast<float>(lo)) << masked;
        EXPECT_FLOAT_EQ(s.statMax, static_cast<float>(hi)) << masked;
        if (masked)
            EXPECT_NE(s.statMin, -2.0f);
        else
            EXPECT_EQ(s.statMin, -2.0f);
    }
}

TEST_F(TreeStatsTest, ListingRowsAndTitles) {
    Iron()->Child(1)->spec.statColumns = DispSpec::kColAve | DispSpec::kColN;
    std::ostringstream out;
    WriteStatisticsHeader(out, 6, DispSpec::kColAve | DispSpec::kColN);
    WriteStatisticsRows(tree, Iron(), out, DispSpec::kColAve | DispSpec::kColN, 6);
    WriteStatisticsRows(tree, Iron()->Child(1), out, DispSpec::kColAve | DispSpec::kColN, 6);
    EXPECT_EQ(out.str(),
              "  Item   Ave     N\r\n"
              "  Iron   0.5     -\r\n"
              "     1   0.5     4\r\n");

    tree.SetItemSelected(Iron(), true);
    tree.SetItemSelected(tree.FindChannel("ct_1"), true);
    StatisticsListing l = MakeStatisticsListing(tree, kStatsListChannelSlices, "doc");
    EXPECT_EQ(l.title, "doc: Multiple Channels' Slices Statistics Listing");
    EXPECT_EQ(l.items.size(), 4u);
    EXPECT_EQ(l.columns, DispSpec::kColAve | DispSpec::kColN);
    tree.SetItemSelected(tree.FindChannel("ct_1"), false);
    EXPECT_EQ(MakeStatisticsListing(tree, kStatsListSelection, "doc").title, "doc: Iron Statistics Listing");
    EXPECT_EQ(MakeStatisticsListing(tree, kStatsListChannelAndSlices, "doc").title,
              "doc: Iron and Slices Statistics Listing");
    EXPECT_EQ(MakeStatisticsListing(tree, kStatsListAll, "doc").items.size(), 5u);
    tree.SetItemSelected(Iron()->Child(1), true);
    tree.SetItemSelected(tree.FindChannel("Void")->Child(0), true);
    l = MakeStatisticsListing(tree, kStatsListSlices, "doc");
    EXPECT_EQ(l.title, "doc: Multiple Channels Slices Statistics Listing");
    EXPECT_EQ(l.items.front(), tree.FindChannel("Void")->Child(0));
    const std::string text = MakeStatisticsListing(tree, kStatsListRoot, "doc").Text(tree, 5);
    EXPECT_EQ(text, " Item\r\n  doc\r\n");
}

}  // namespace
}  // namespace zun
