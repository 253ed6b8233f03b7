#include "tree/treehints.h"

#include <gtest/gtest.h>

#include "tree/displaystate.h"
#include "tree/treefixture.h"

namespace zun {
namespace {

class TreeHintsTest : public ::testing::Test {
protected:
    void Make(int nz, SampleSpec spec = {}) {
        spec.nz = nz;
        sample = MakeSample(spec);
        tree.Build(*sample, "doc");
        tree.SetListener(&log);
    }
    TreeNode* Ch(const std::string& name) { return tree.FindChannel(name); }
    std::unique_ptr<ZunImage> sample;
    DisplayTree tree;
    EditLog log;
};

TEST_F(TreeHintsTest, InsertSlicesBeforeTheFirstCopiesTheChannelState) {
    Make(3);
    DataColourFamily::SetOfSubtree(tree, Ch("ct_1"), {0x0A0B0C, 0x1, 0x2});
    DataColourFamily::UpdateAncestor(tree, Ch("ct_1"));
    // One slice differs, so the channel's merged opacity carries a mixed entry.
    OpacityFamily::SetOfSubtree(tree, Ch("ct_1")->Child(2), {0.3f, 1, 0, 1});
    OpacityFamily::UpdateAncestor(tree, Ch("ct_1")->Child(2));
    const TreeNode* oldFirst = Ch("Iron")->Child(0);
    ASSERT_EQ(sample->InsertSlices(0, 2), 5);
    ApplyChangeHint(tree, kHintStructure, std::make_unique<InsertSliceMod>(0, 2).get());
    for (const auto& c : tree.Root()->children) {
        ASSERT_EQ(c->ChildCount(), 5) << c->label;
        for (int z = 0; z < 5; ++z) EXPECT_EQ(DisplayTree::GetItemName(c->Child(z)), std::to_string(z));
    }
    EXPECT_EQ(Ch("Iron")->Child(2), oldFirst);
    EXPECT_EQ(log.lines.front(), "insert Void {ave=0} 0+2");
    const TreeNode* fresh = Ch("ct_1")->Child(1);
    EXPECT_EQ(fresh->spec.shown.displayColours[0], 0x0A0B0Cu);
    EXPECT_EQ(fresh->spec.channelType, 1);
    // The mixed low threshold became the neighbour's definite value.
    EXPECT_FLOAT_EQ(fresh->spec.shown.opacity[0], 0.05f);
    EXPECT_FALSE(fresh->spec.statStale);
    EXPECT_EQ(Ch("Iron")->Child(0)->label, "0 {ave=0}");  // real statistics, not reset values

    // Past the end appends.
    ASSERT_EQ(sample->InsertSlices(5, 1), 6);
    ApplyChangeHint(tree, kHintStructure, std::make_unique<InsertSliceMod>(5, 1).get());
    EXPECT_EQ(SliceLabels(Ch("ct_1")), "0,1,2,3,4,5");
}

TEST_F(TreeHintsTest, DeleteNonAdjacentAndRangeSlices) {
    Make(6);
    TreeNode* iron = Ch("Iron");
    const TreeNode* keep[] = {iron->Child(0), iron->Child(2), iron->Child(5)};
    ASSERT_EQ(sample->DeleteSlices({4, 3, 1}), 3);
    ApplyChangeHint(tree, kHintStructure,
                    std::make_unique<DeleteSliceMod>(std::vector<std::uint32_t>{4, 3, 1}).get());
    EXPECT_EQ(SliceLabels(Ch("ct_1")), "0,1,2");
    EXPECT_EQ(iron->Child(0), keep[0]);
    EXPECT_EQ(iron->Child(1), keep[1]);
    EXPECT_EQ(iron->Child(2), keep[2]);
    // Adjacent numbers go in one removal per channel.
    EXPECT_EQ(log.lines[0], "remove Void {ave=0} 3+2");
    EXPECT_EQ(log.lines[1], "remove Void {ave=0} 1+1");

    ApplyChangeHint(tree, kHintStructure, std::make_unique<DeleteSliceMod>(1, 1).get());
    EXPECT_EQ(SliceLabels(Ch("ct_1")), "0,1");
    EXPECT_EQ(iron->Child(1), keep[2]);
    // Numbers no item carries are skipped.
    ApplyChangeHint(tree, kHintStructure,
                    std::make_unique<DeleteSliceMod>(std::vector<std::uint32_t>{9}).get());
    EXPECT_EQ(SliceLabels(Ch("ct_1")), "0,1");
}

TEST_F(TreeHintsTest, ReverseSwapsDisplayStateButNotNumbers) {
    Make(5);
    TreeNode* ct = Ch("ct_1");
    for (int z = 0; z < 5; ++z)
        OpacityFamily::SetOfSubtree(tree, ct->Child(z), {0.1f * static_cast<float>(z), 1, 0, 1});
    ApplyChangeHint(tree, kHintData, std::make_unique<ReverseSliceMod>("ct_1", 5).get());
    EXPECT_FLOAT_EQ(ct->Child(0)->spec.shown.opacity[0], 0.4f);
    EXPECT_FLOAT_EQ(ct->Child(1)->spec.shown.opacity[0], 0.3f);
    EXPECT_FLOAT_EQ(ct->Child(2)->spec.shown.opacity[0], 0.2f);
    EXPECT_FLOAT_EQ(ct->Child(4)->spec.shown.opacity[0], 0.0f);
    EXPECT_EQ(SliceLabels(ct), "0,1,2,3,4");
}

TEST_F(TreeHintsTest, ActiveBoundaryMovesAndRenamesFollow) {
    SampleSpec spec;
    spec.channels.push_back({3, "bound_2"});
    Make(2, spec);
    ApplyChangeHint(tree, kHintRename, std::make_unique<ActiveBoundMod>("bound_1", true).get());
    EXPECT_EQ(ItemOverlayIndex(Ch("bound_1")->spec), 4);
    EXPECT_EQ(ItemOverlayIndex(Ch("bound_1")->Child(1)->spec), 4);
    ApplyChangeHint(tree, kHintRename, std::make_unique<ActiveBoundMod>("bound_2", true).get());
    EXPECT_EQ(ItemOverlayIndex(Ch("bound_1")->spec), 0);
    EXPECT_EQ(ItemOverlayIndex(Ch("bound_2")->Child(0)->spec), 4);
    DisplayItemsFamily::SetOfSubtree(tree, Ch("bound_2"), 1);
    EXPECT_EQ(ItemOverlayIndex(Ch("bound_2")->spec), 5);
    ApplyChangeHint(tree, kHintRename, std::make_unique<ActiveBoundMod>("", false).get());
    for (const auto& c : tree.Root()->children) EXPECT_FALSE(c->spec.active) << c->label;

    TreeHintResult r =
        ApplyChangeHint(tree, kHintRename, std::make_unique<RenameChanMod>("Iron", "Steel").get());
    EXPECT_TRUE(r.renamed);
    EXPECT_EQ(Ch("Steel")->label, "Steel {ave=0}");
    EXPECT_EQ(Ch("Iron"), nullptr);
    EXPECT_EQ(ReplaceQuotedName("Channels 'Iron', 'Ironic' and 'Iron'", "Iron", "Steel"),
              "Channels 'Steel', 'Ironic' and 'Steel'");
    ApplyChangeHint(tree, kHintRename, std::make_unique<RenameDocMod>("other.zun").get());
    EXPECT_EQ(tree.Root()->label, "other.zun");
}

TEST_F(TreeHintsTest, StatusBitsAloneChangeNothing) {
    Make(2);
    TreeHintResult r = ApplyChangeHint(tree, 1, nullptr);
    EXPECT_EQ(r.statusBits, 1u);
    EXPECT_EQ(ApplyChangeHint(tree, 7, nullptr).statusBits, 5u);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(log.changed, 0);
    // Items that are not this tree's are left alone.
    std::set<TreeItemId> foreign{reinterpret_cast<TreeItemId>(&r)};
    ApplyChangeHint(tree, kHintData, std::make_unique<StatsMod>(0, &foreign).get());
    EXPECT_EQ(log.changed, 0);
}

TEST_F(TreeHintsTest, ChannelsInsertedAndDeleted) {
    Make(3);
    ASSERT_GT(sample->InsertChan(ZunChan::kComposition, 2, "Copper", 0x123456), 0);
    ApplyChangeHint(tree, kHintStructure, std::make_unique<InsertChanMod>("Copper", "Iron").get());
    TreeNode* cu = Ch("Copper");
    ASSERT_NE(cu, nullptr);
    EXPECT_EQ(cu->row, 2);
    EXPECT_EQ(cu->ChildCount(), 3);
    EXPECT_EQ(cu->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(cu->Child(1)->spec.statColumns, DispSpec::kColAve);
    EXPECT_EQ(cu->spec.shown.displayColours[0], 0x123456u);
    EXPECT_EQ(log.lines.back(), "insert doc 2+1");
    // A composition inserted at index 1 starts hidden.
    ASSERT_GT(sample->InsertChan(ZunChan::kComposition, 1, "Air", 0x654321), 0);
    ApplyChangeHint(tree, kHintStructure, std::make_unique<InsertChanMod>("Air", "Void").get());
    EXPECT_EQ(Ch("Air")->spec.shown.displayItems, 0);
    EXPECT_EQ(ChannelLabels(tree), "Void {ave=0},Air {ave=0},Iron {ave=0},Copper {ave=0},ct_1,bound_1");

    sample->RemoveChan("Iron");
    sample->RemoveChan("Copper");
    ApplyChangeHint(
        tree, kHintStructure,
        std::make_unique<DeleteChanMod>(std::vector<std::string>{"Iron", "Copper", "nope"}).get());
    EXPECT_EQ(ChannelLabels(tree), "Void {ave=0},Air {ave=0},ct_1,bound_1");
    // No composition shown any more: the root's merged display items follow.
    EXPECT_EQ(tree.Root()->spec.shown.displayItems, 0);
}

TEST_F(TreeHintsTest, ImportAndClearMarkImportedSlices) {
    Make(3);
    ApplyChangeHint(
        tree, kHintRename,
        std::make_unique<ImportSliceMod>(std::vector<ChanSliceRecord>{{"ct_1", 1}, {"bound_1", 0}}, true)
            .get());
    EXPECT_EQ(ItemOverlayIndex(Ch("ct_1")->Child(1)->spec), 8);
    EXPECT_TRUE(Ch("ct_1")->spec.imported);
    EXPECT_TRUE(tree.Root()->spec.imported);
    EXPECT_FALSE(Ch("bound_1")->Child(0)->spec.imported);  // boundaries never show imported images
    ApplyChangeHint(tree, kHintData, std::make_unique<ClearSliceMod>("ct_1", 0, 3).get());
    EXPECT_FALSE(Ch("ct_1")->Child(1)->spec.imported);
    EXPECT_FALSE(tree.Root()->spec.imported);
}

}  // namespace
}  // namespace zun
