#include "tree/displaystate.h"

#include <gtest/gtest.h>

#include "tree/treefixture.h"

namespace zun {
namespace {

class DisplayStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        sample = MakeSample();
        tree.Build(*sample, "doc");
        voidCh = tree.FindChannel("Void");
        iron = tree.FindChannel("Iron");
        ct = tree.FindChannel("ct_1");
        bound = tree.FindChannel("bound_1");
    }
    std::unique_ptr<ZunImage> sample;
    DisplayTree tree;
    TreeNode *voidCh = nullptr, *iron = nullptr, *ct = nullptr, *bound = nullptr;
};

TEST_F(DisplayStateTest, BuildGivesDefaultsPerChannelKind) {
    ASSERT_TRUE(voidCh && iron && ct && bound);
    EXPECT_EQ(tree.ItemCount(), 1u + 4u * 6u);
    // The first channel is hidden, other compositions shown; only compositions show "ave".
    EXPECT_EQ(voidCh->spec.shown.displayItems, 0);
    EXPECT_EQ(iron->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(ct->spec.shown.displayItems, 0);
    EXPECT_EQ(voidCh->spec.statColumns, DispSpec::kColAve);
    EXPECT_EQ(iron->spec.statColumns, DispSpec::kColAve);
    EXPECT_EQ(ct->spec.statColumns, 0);
    EXPECT_EQ(iron->Child(3)->spec.statColumns, DispSpec::kColAve);
    EXPECT_EQ(ct->Child(3)->spec.statColumns, 0);
    EXPECT_EQ(SliceLabels(iron), "0 {ave=0},1 {ave=0},2 {ave=0},3 {ave=0},4 {ave=0}");
    EXPECT_EQ(SliceLabels(ct), "0,1,2,3,4");
    // Opacity defaults by type; slices carry their channel's type.
    EXPECT_EQ(OpacityFamily::GetOfSubtree(iron), (std::array<float, 4>{0.05f, 1, 0, 1}));
    EXPECT_EQ(OpacityFamily::GetOfSubtree(bound), (std::array<float, 4>{0, 1, 0, 1}));
    EXPECT_EQ(bound->Child(0)->spec.channelType, 3);
    // The root merges the shown channels; a fresh tree is at its defaults.
    EXPECT_EQ(tree.Root()->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_TRUE(DataColourFamily::IsDefault(tree, tree.Root()));
    // The root holds the merge of differing channel defaults, which is no default of its own.
    EXPECT_TRUE(OpacityFamily::IsDefaultOfItems(tree, {voidCh, iron, ct, bound}));
    EXPECT_FALSE(OpacityFamily::IsDefault(tree, tree.Root()));
    EXPECT_TRUE(BitColoursFamily::IsDefault(tree, tree.Root()));
    EXPECT_EQ(ItemOverlayIndex(iron->spec), 1);
    EXPECT_EQ(ItemImageIndex(bound->Child(0)->spec), 31);
}

TEST_F(DisplayStateTest, ColourKindMergeAndMixedWriteKeepsEach) {
    ColourKindFamily::SetOfSubtree(tree, iron, 3);
    ColourKindFamily::UpdateAncestor(tree, iron);
    EXPECT_EQ(ColourKindFamily::GetOfItems({voidCh, iron}), kKindMixed);
    EXPECT_EQ(tree.Root()->spec.shown.colourKind, kKindMixed);
    ColourKindFamily::SetOfItems(tree, {voidCh, iron}, kKindMixed);
    EXPECT_EQ(ColourKindFamily::GetOfSubtree(voidCh), 0);
    EXPECT_EQ(ColourKindFamily::GetOfSubtree(iron), 3);
    EXPECT_EQ(ColourKindFamily::GetOfItems({}), kKindUnset);
}

TEST_F(DisplayStateTest, OpacityMixedEntryLeavesOwnValues) {
    TreeNode* s2 = iron->Child(2);
    OpacityFamily::SetOfSubtree(tree, s2, {0.2f, 1, 0, 1});
    OpacityFamily::UpdateAncestor(tree, s2);
    auto merged = OpacityFamily::GetOfSubtree(iron);
    EXPECT_FLOAT_EQ(merged[0], kMixedOpacity);
    EXPECT_EQ(iron->spec.shown.opacity[0], kMixedOpacity);  // the ancestor stores the marker
    merged[1] = 0.9f;
    OpacityFamily::SetOfSubtree(tree, iron, merged);
    EXPECT_FLOAT_EQ(iron->Child(0)->spec.shown.opacity[0], 0.05f);
    EXPECT_FLOAT_EQ(s2->spec.shown.opacity[0], 0.2f);
    EXPECT_FLOAT_EQ(s2->spec.shown.opacity[1], 0.9f);
    // Equal within the tolerance counts as the same value.
    OpacityFamily::SetOfSubtree(tree, s2, {0.05f + 5e-6f, 0.9f, 0, 1});
    EXPECT_FLOAT_EQ(OpacityFamily::GetOfSubtree(iron)[0], 0.05f);
}

TEST_F(DisplayStateTest, BoundaryKeepsOnlyItsDataColourAndDataItem) {
    const auto before = DataColourFamily::GetOfSubtree(bound);
    DataColourFamily::SetOfSubtree(tree, bound, {0x111111, 0x222222, 0x333333});
    const auto after = DataColourFamily::GetOfSubtree(bound);
    EXPECT_EQ(after[0], 0x111111u);
    EXPECT_EQ(after[1], before[1]);
    EXPECT_EQ(after[2], before[2]);
    DataColourFamily::SetOfSubtree(tree, iron, {kMixedColour, 0x222222, kMixedColour});
    EXPECT_EQ(iron->Child(0)->spec.shown.displayColours[0], 0x00FF01u);
    EXPECT_EQ(iron->Child(0)->spec.shown.displayColours[1], 0x222222u);

    DisplayItemsFamily::SetOfSubtree(tree, bound, 7);
    EXPECT_EQ(bound->Child(4)->spec.shown.displayItems, DispSpec::kItemData);
    DisplayItemsFamily::SetOfSubtree(tree, iron, 6);
    EXPECT_EQ(iron->spec.shown.displayItems, 6);
    EXPECT_EQ(ItemOverlayIndex(iron->spec), 2);
}

TEST_F(DisplayStateTest, IncludeFlagsMergeOrderAndLeafOnlyWrites) {
    IncludeFlagsFamily::SetOfSubtree(tree, iron->Child(1), 18);
    EXPECT_EQ(IncludeFlagsFamily::GetOfItems({iron->Child(0), iron->Child(1)}), 20);
    EXPECT_EQ(IncludeFlagsFamily::GetOfItems({iron->Child(1), iron->Child(0)}), 22);
    // Writing to a channel changes its slices only.
    iron->spec.shown.includeFlags = 16;
    IncludeFlagsFamily::SetOfSubtree(tree, iron, 2);
    EXPECT_EQ(iron->spec.shown.includeFlags, 16);
    EXPECT_EQ(iron->Child(3)->spec.shown.includeFlags, 2);
    // Mixed bits leave that half of every leaf alone.
    IncludeFlagsFamily::SetOfSubtree(tree, iron, kIncUpper | kIncLowerMixed);
    EXPECT_EQ(iron->Child(3)->spec.shown.includeFlags, 18);
    IncludeFlagsFamily::UpdateAncestor(tree, iron->Child(3));
    EXPECT_EQ(iron->spec.shown.includeFlags, 18);
}

TEST_F(DisplayStateTest, BitValueAndSpectrumEntriesMergePerEntry) {
    DatcolBitSpec b = BitColoursFamily::GetOfSubtree(iron);
    b.colours[2] = 0x123456;
    b.opacities[3] = 0.5f;
    b.enables[4] = 0;
    BitColoursFamily::SetOfSubtree(tree, iron->Child(0), b);
    BitColoursFamily::UpdateAncestor(tree, iron->Child(0));
    const DatcolBitSpec m = BitColoursFamily::GetOfSubtree(iron);
    EXPECT_EQ(m.colours[2], kMixedColour);
    EXPECT_FLOAT_EQ(m.opacities[3], kMixedOpacity);
    EXPECT_EQ(m.colours[1], DatcolPaletteColour(1));
    EXPECT_EQ(m.enables[4], 1);  // enabled anywhere
    // The slice's derived lists follow its entries.
    EXPECT_EQ(iron->Child(0)->spec.shown.bitSpec.enabledColours.size(), 13u);
    // Writing the mixed merge back changes nothing.
    BitColoursFamily::SetOfSubtree(tree, iron, m);
    EXPECT_EQ(iron->Child(0)->spec.shown.bitSpec.colours[2], 0x123456u);
    EXPECT_EQ(iron->Child(1)->spec.shown.bitSpec.colours[2], DatcolPaletteColour(2));

    DatcolValueSpec v = ValueColoursFamily::GetOfSubtree(iron);
    v.fromValue = 10;
    v.toValue = 100;
    v.fromEnabled = 1;
    ValueColoursFamily::SetOfSubtree(tree, iron->Child(1), v);
    const DatcolValueSpec vm = ValueColoursFamily::GetOfItems({iron->Child(0), iron->Child(1)});
    EXPECT_EQ(vm.fromValue, 10);  // the larger
    EXPECT_EQ(vm.toValue, 100);   // the smaller
    EXPECT_EQ(vm.fromEnabled, 1);

    DatcolMultiSpec s = ColourSpectrumFamily::GetOfSubtree(ct);
    s.colours[5] = 0xABCDEF;
    ColourSpectrumFamily::SetOfSubtree(tree, ct->Child(4), s);
    EXPECT_EQ(ColourSpectrumFamily::GetOfSubtree(ct).colours[5], kMixedColour);
    EXPECT_FALSE(ColourSpectrumFamily::IsDefault(tree, ct));
    ColourSpectrumFamily::SetDefaultOfSubtree(tree, ct);
    EXPECT_TRUE(ColourSpectrumFamily::IsDefault(tree, ct));
}

TEST_F(DisplayStateTest, BoundaryMaskAndStatsItemsMerge) {
    BoundaryMaskFamily::SetOfSubtree(tree, iron->Child(0), {1, "bound_1"});
    BoundaryMaskValue m = BoundaryMaskFamily::GetOfSubtree(iron);
    EXPECT_EQ(m.state, kMaskMixed);
    EXPECT_EQ(m.name, kMaskNameMixed);
    EXPECT_EQ(BoundaryMaskFamily::GetOfItems({}), BoundaryMaskValue{});
    BoundaryMaskFamily::SetOfSubtree(tree, iron, m);  // markers write nothing
    EXPECT_EQ(iron->Child(0)->spec.shown.maskName, "bound_1");
    EXPECT_EQ(iron->Child(1)->spec.shown.maskName, "");

    sample->RemoveChan("bound_1");
    ClearBoundaryMaskIfMissing(tree.Root(), *sample);
    EXPECT_EQ(iron->Child(0)->spec.shown.maskName, "");
    EXPECT_EQ(iron->Child(0)->spec.shown.maskState, 0);

    StatsItemsFamily::SetOfSubtree(tree, iron->Child(2), DispSpec::kColN);
    EXPECT_EQ(StatsItemsFamily::GetOfSubtree(iron), DispSpec::kColN | DispSpec::kColAve);
    EXPECT_EQ(StatsItemsFamily::GetOfItems({ct, iron->Child(2)}), DispSpec::kColN);
}

TEST_F(DisplayStateTest, SaveRestoreAndUnchanged) {
    const TreeItems items{iron, ct};
    SaveDisplayState(items);
    EXPECT_TRUE(OpacityFamily::IsUnchangedOfItems(items));
    OpacityFamily::SetOfItems(tree, items, {0.3f, 0.7f, 0.1f, 0.9f});
    OpacityFamily::UpdateAncestorOfItems(tree, items);
    ColourKindFamily::SetOfItems(tree, items, 2);
    DisplayItemsFamily::SetOfItems(tree, items, 7);
    EXPECT_FALSE(OpacityFamily::IsUnchangedOfItems(items));
    EXPECT_FALSE(OpacityFamily::IsDefaultOfItems(tree, items));
    EXPECT_TRUE(DataColourFamily::IsUnchangedOfItems(items));
    RestoreDisplayState(tree, items);
    EXPECT_TRUE(OpacityFamily::IsUnchangedOfItems(items));
    EXPECT_TRUE(OpacityFamily::IsDefaultOfItems(tree, items));
    EXPECT_EQ(ColourKindFamily::GetOfItems(items), 0);
    EXPECT_EQ(ct->Child(1)->spec.shown.displayItems, 0);
    EXPECT_EQ(tree.Root()->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_TRUE(OpacityFamily::IsUnchangedOfItems({}));
}

TEST_F(DisplayStateTest, DefaultColoursComeFromTheSample) {
    const auto d = GetDefaultDataColour(tree, iron->Child(2));
    EXPECT_EQ(d[0], 0x00FF01u);
    EXPECT_EQ(d[1], 0x0080FFu);
    DataColourFamily::SetOfSubtree(tree, tree.Root(), {0x1, 0x2, 0x3});
    EXPECT_FALSE(DataColourFamily::IsDefault(tree, iron));
    DataColourFamily::SetDefaultOfItems(tree, {tree.Root()});
    EXPECT_TRUE(DataColourFamily::IsDefaultOfItems(tree, {voidCh, iron, ct, bound}));
    DataColourFamily::UpdateAncestor(tree, iron);
    EXPECT_TRUE(DataColourFamily::IsDefault(tree, tree.Root()));
    // The root's default merges its channels' differing data colours.
    EXPECT_EQ(GetDefaultDataColour(tree, tree.Root())[0], kMixedColour);
    DisplayTree empty;
    ZunImage none(true);
    empty.Build(none, "empty");
    EXPECT_EQ(GetDefaultDataColour(empty, empty.Root())[0], kDefaultDataColour);
    EXPECT_EQ(empty.ItemCount(), 1u);
}

}  // namespace
}  // namespace zun
