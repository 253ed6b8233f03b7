#include <gtest/gtest.h>

#include "tools/thresholdseg.h"
#include "valuetoolsfixture.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

TEST(Threshold, RawBoundsFollowTheSinglePrecisionQuotient) {
    // Two rows split at 0.5: 8191/16383 < 0.5 <= 8192/16383; 16383 only in the last row.
    auto b = ThresholdRawBounds({0.0, 0.5}, {0.5, 1.0});
    EXPECT_EQ(b[0], (std::array<int, 2>{0, 8191}));
    EXPECT_EQ(b[1], (std::array<int, 2>{8192, 16383}));
    b = ThresholdRawBounds({0.0, 0.5}, {0.5, 0.5});  // an empty-width last row still holds 0.5
    EXPECT_EQ(b[1], (std::array<int, 2>{1, 0}));
    b = ThresholdRawBounds({0.0}, {1.0});
    EXPECT_EQ(b[0], (std::array<int, 2>{0, 16383}));
}

TEST(Threshold, OnePassKeepsFlagsAndMayReadAnOutput) {
    const std::vector<imtype> in{0, 8191, 8192, 16383, 0x4000 | 8191, 0x8000 | 16383};
    std::vector<imtype> a(in.size(), 0xC000 | 77), b(in.size(), 5);
    ThresholdSegment(in.data(), 6, {{a.data(), 0, 8191}, {b.data(), 8192, 16383}}, 2);
    EXPECT_EQ(a, (std::vector<imtype>{0xFFFF, 0xFFFF, 0xC000, 0xC000, 0xFFFF, 0xC000}));
    EXPECT_EQ(b, (std::vector<imtype>{0, 0, 16383, 16383, 0, 16383}));
    // The input is also the first output: every row still sees the old value.
    std::vector<imtype> self{100, 9000}, other(2, 0);
    ThresholdSegment(self.data(), 2, {{self.data(), 0, 8191}, {other.data(), 0, 200}}, 1);
    EXPECT_EQ(self, (std::vector<imtype>{16383, 0}));
    EXPECT_EQ(other, (std::vector<imtype>{16383, 0}));
}

struct ThresholdFixture : ValueToolsFixture {
    CThresholdSegmentation seg;
    ThresholdFixture() {
        const std::vector<imtype> v{0, 8191, 8192, 16383, 0x4000 | 8191, 0x8000 | 16383, 3000, 12000};
        imtype* ct = Words("ct");
        for (std::int64_t i = 0; i < Count(); ++i) ct[i] = v[static_cast<std::size_t>(i) % v.size()];
        Words("A")[4] = 0x4000;  // a read-only voxel of A
    }
};

TEST(Threshold, PrepareBuildsEvenRowsAndRereadsTheRange) {
    ThresholdFixture f;
    EXPECT_EQ(f.seg.Prepare(f.doc, "ct", f.Index("ct")), 0);
    ASSERT_EQ(f.seg.LastRow(), 2);
    EXPECT_EQ(f.seg.RowName(1), "A");
    EXPECT_EQ(f.seg.Caption(), "Threshold segmentation for channel: ct");
    EXPECT_EQ(f.seg.Text(0, true), "0.33333");
    EXPECT_TRUE(f.seg.Modified());
    EXPECT_TRUE(f.seg.PhysicalUnitClicked(false) == false);
    f.seg.PhysicalUnitClicked(true);
    EXPECT_EQ(f.seg.Text(2, false), "1.3333");  // 0 + 2 * 2/3

    // Another input with the same row count: the rows stay, the range is the new channel's.
    f.Chan("B").range = {5.0f, 5.0f};
    f.seg.EditChanged(0, true, "1.0");  // physical 1.0 = normalised 0.5
    EXPECT_EQ(f.seg.Prepare(f.doc, "B", f.Index("B")), CThresholdSegmentation::kRangeTooSmall);
    EXPECT_EQ(f.Messages(), (Lines{"Input channel value range (5, 5) too small"}));
    EXPECT_DOUBLE_EQ(f.seg.Upper(0), 0.5);
    EXPECT_EQ(f.seg.GetUnit(), CThresholdSegmentation::kImageUnit);
    EXPECT_TRUE(f.seg.PhysicalUnitClicked(true));
    EXPECT_EQ(f.Messages(), (Lines{"Unable to use physical unit for this input channel"}));
    EXPECT_EQ(f.seg.GetUnit(), CThresholdSegmentation::kImageUnit);
    // An index that names no channel opens nothing.
    EXPECT_EQ(f.seg.Prepare(f.doc, "gone", 99), CThresholdSegmentation::kOutOfMemory);
}

TEST(Threshold, EditsDragNeighboursAndClamp) {
    ThresholdFixture f;
    f.seg.Prepare(f.doc, "ct", f.Index("ct"));
    using Cell = CThresholdSegmentation::Cell;
    // Row 1's lower above its upper drags the upper along and, sorted, row 0's upper down to it.
    EXPECT_EQ(f.seg.EditChanged(1, false, "0.8"), (std::vector<Cell>{{1, true}}));
    EXPECT_DOUBLE_EQ(f.seg.Upper(1), 0.8);
    EXPECT_EQ(f.seg.EditChanged(1, false, "0.2"), (std::vector<Cell>{{0, true}}));
    EXPECT_DOUBLE_EQ(f.seg.Upper(0), 0.2);
    EXPECT_EQ(f.seg.EditChanged(1, true, "0.9"), (std::vector<Cell>{{2, false}}));
    EXPECT_DOUBLE_EQ(f.seg.Lower(2), 0.9);
    // Unsorted: the neighbours stay.
    f.seg.sortedByValue = false;
    EXPECT_TRUE(f.seg.EditChanged(1, true, "0.95").empty());
    // Outside 0..1 (also through the physical unit) is clamped; text that is no number reads 0.
    f.seg.EditChanged(2, true, "7");
    EXPECT_DOUBLE_EQ(f.seg.Upper(2), 1.0);
    f.seg.PhysicalUnitClicked(true);
    f.seg.EditChanged(2, false, "-3");
    EXPECT_DOUBLE_EQ(f.seg.Lower(2), 0.0);
    f.seg.EditChanged(2, false, "abc");
    EXPECT_DOUBLE_EQ(f.seg.Lower(2), 0.0);
    // Spin steps are 0.01 normalised in either unit and stop at the bounds.
    f.seg.EditChanged(2, false, "1.0");  // physical 1.0 = 0.5
    EXPECT_EQ(f.seg.Spin(2, false, -1), "1.02");
    EXPECT_NEAR(f.seg.Lower(2), 0.51, 1e-12);
    f.seg.ImageUnitClicked(true);
    EXPECT_EQ(f.seg.Spin(2, true, -1), "1");
    EXPECT_EQ(f.seg.Spin(0, false, 3), "0");
    // Edits while the rows are built are ignored.
    f.seg.initialising = true;
    f.seg.EditChanged(0, false, "0.7");
    EXPECT_DOUBLE_EQ(f.seg.Lower(0), 0.0);
}

TEST(Threshold, ApplyWritesRowsNotesAndHints) {
    ThresholdFixture f;
    f.seg.Prepare(f.doc, "ct", f.Index("ct"));
    f.seg.EditChanged(0, true, "0.5");
    f.seg.EditChanged(1, true, "0.5");  // row 1 is empty
    f.seg.EditChanged(2, false, "0.5");
    std::vector<int> progress;
    ASSERT_TRUE(f.seg.Apply([&](int p) { progress.push_back(p); }));
    EXPECT_EQ(progress.back(), 100);
    const imtype* ct = f.Words("ct");
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const bool low = (ct[i] & 0x3FFF) < 8192;
        EXPECT_EQ(f.Words("Void")[i] & 0x3FFF, low ? 16383 : 0) << i;
        EXPECT_EQ(f.Words("A")[i] & 0x3FFF, 0) << i;
        EXPECT_EQ(f.Words("B")[i], low ? 0 : 16383) << i;
    }
    EXPECT_EQ(f.Words("A")[4], 0x4000);  // the flag stays, the value is written regardless
    EXPECT_EQ(f.hints.Take(), (Lines{"2 Stats 0 all"}));
    EXPECT_TRUE(f.doc.IsModified());
    const std::string& note = f.Chan("B").note;
    EXPECT_NE(note.find("Threshold segmented from channel ct with image unit threshold (0.500, 1.000) or "
                        "physical unit threshold (1, 2)<#@#>"),
              std::string::npos)
        << note;
    EXPECT_EQ(note[3], ' ');  // "Wed Jan  2 ..." then a line end before the text
    EXPECT_EQ(note.find('\n'), 24u);
    EXPECT_FALSE(f.seg.Modified());

    // A second run replaces the notes instead of adding to them.
    f.seg.sortedByValue = false;
    f.seg.EditChanged(1, false, "0.25");
    f.seg.EditChanged(1, true, "0.75");  // overlaps rows 0 and 2
    ASSERT_TRUE(f.seg.Apply());
    EXPECT_EQ(f.Chan("B").note.find("Threshold"), 25u);
    EXPECT_EQ(f.Chan("B").note.find("Threshold", 26), std::string::npos);
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const int v = ct[i] & 0x3FFF;
        const float x = v / 16383.0f;
        EXPECT_EQ(f.Words("A")[i] & 0x3FFF, x >= 0.25 && x < 0.75 ? 16383 : 0) << i;
    }
}

TEST(Threshold, ApplyRefusesWhenACompositionChannelIsMissing) {
    ThresholdFixture f;
    f.seg.Prepare(f.doc, "ct", f.Index("ct"));
    f.doc.GetModel().GetParams().compositionNames[2] = "renamed";
    const std::vector<imtype> before(f.Words("ct"), f.Words("ct") + f.Count());
    EXPECT_FALSE(f.seg.Apply());
    EXPECT_EQ(f.Messages(),
              (Lines{"Composition channel 'renamed' not found. Threshold segmentation not performed."}));
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_FALSE(f.doc.IsModified());
}

TEST(Threshold, OneCompositionCoversEverything) {
    ValueToolsFixture f;
    f.doc.DeleteChannels({"A", "B"}, true);
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("ct")[i] = static_cast<imtype>(i * 700);
    CThresholdSegmentation seg;
    ASSERT_EQ(seg.Prepare(f.doc, "ct", f.Index("ct")), 0);
    EXPECT_EQ(seg.LastRow(), 0);
    ASSERT_TRUE(seg.Apply());
    for (std::int64_t i = 0; i < f.Count(); ++i) EXPECT_EQ(f.Words("Void")[i] & 0x3FFF, 16383);
}

}  // namespace
}  // namespace zun
