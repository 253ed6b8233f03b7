#include "tree/displaytree.h"

#include <gtest/gtest.h>

#include "tree/displaystate.h"
#include "tree/treefixture.h"

namespace zun {
namespace {

TEST(DisplayTree, NamesLabelsAndImages) {
    EXPECT_EQ(ItemNameOfLabel("Iron {ave=0.25,max=1}"), "Iron");
    EXPECT_EQ(ItemNameOfLabel("a{b} {ave=1}"), "a");
    EXPECT_EQ(ItemNameOfLabel("  spaced   "), "  spaced");
    DispSpec s(0, DispSpec::kColAve | DispSpec::kColMax, DispSpec::kChannel);
    s.statAve = 0.25f;
    s.statMax = 1.0f;
    EXPECT_EQ(BuildItemLabel("Iron", s), "Iron {ave=0.25,max=1}");
    s.statColumns = 31;
    s.statCount = 12345678901ull;
    s.statMin = -2.5e-7f;
    s.statStdev = 1234.5f;
    EXPECT_EQ(BuildItemLabel("x", s), "x {ave=0.25,stdev=1.23e+03,min=-2.5e-07,max=1,n=12345678901}");
    s.kind = DispSpec::kRoot;
    EXPECT_EQ(BuildItemLabel("doc", s), "doc");

    // Images by kind and type; overlays by display items, active and imported flags.
    DispSpec slice(0, 0, DispSpec::kSlice, nullptr, nullptr, 2);
    EXPECT_EQ(ItemImageIndex(slice), 29);
    EXPECT_EQ(ItemImageIndex(DispSpec()), 15);
    const struct {
        int items, active, imported, overlay;
    } cases[] = {{0, 0, 0, 0}, {1, 0, 0, 1}, {2, 0, 0, 2},  {4, 0, 0, 2}, {5, 0, 0, 3},
                 {0, 1, 0, 4}, {1, 1, 0, 5}, {6, 1, 1, 13}, {3, 0, 1, 11}};
    for (const auto& c : cases) {
        slice.shown.displayItems = c.items;
        slice.active = static_cast<std::uint8_t>(c.active);
        slice.imported = static_cast<std::uint8_t>(c.imported);
        EXPECT_EQ(ItemOverlayIndex(slice), c.overlay) << c.items << " " << c.active << " " << c.imported;
    }
}

TEST(DisplayTree, LookupsAndSelectionWalkers) {
    SampleSpec spec;
    spec.nz = 12;
    spec.channels = {{0, "Iron{old}"}, {3, "b1"}, {1, "ct_1"}, {3, "b2"}};
    auto sample = MakeSample(spec);
    DisplayTree tree;
    tree.Build(*sample, "doc");
    // A name with "{" is found by its part before it only.
    EXPECT_EQ(tree.FindChannel("Iron{old}"), nullptr);
    TreeNode* iron = tree.FindChannel("Iron");
    ASSERT_NE(iron, nullptr);
    EXPECT_EQ(DisplayTree::GetItemName(iron->Child(10)), "10");
    EXPECT_EQ(tree.FindSlice(iron, 10), iron->Child(10));
    EXPECT_EQ(tree.FindSlice(iron, 12), nullptr);
    // After a foreign relabelling the search still finds the number.
    tree.SetLabel(iron->Child(3), "99");
    EXPECT_EQ(tree.FindSlice(iron, 99), iron->Child(3));

    TreeNode* b1 = tree.FindChannel("b1");
    TreeNode* b2 = tree.FindChannel("b2");
    TreeNode* ct = tree.FindChannel("ct_1");
    for (TreeNode* n : {b1, ct, b2}) tree.SetItemSelected(n, true);
    tree.SetItemSelected(iron->Child(11), true);
    tree.SetItemSelected(ct->Child(0), true);
    // Boundaries come after the other kinds in the sample, and so in the tree.
    EXPECT_EQ(ChannelLabels(tree), "Void {ave=0},Iron {ave=0},ct_1,b1,b2");
    EXPECT_EQ(tree.FirstSelectedChannel(), ct);
    EXPECT_EQ(tree.NextSelectedChannel(ct), b1);
    EXPECT_EQ(tree.FirstSelectedBoundary(), b1);
    EXPECT_EQ(tree.NextSelectedBoundary(b1), b2);
    EXPECT_EQ(tree.NextSelectedBoundary(b2), nullptr);
    EXPECT_EQ(tree.FirstSelectedSlice(), iron->Child(11));
    EXPECT_EQ(tree.NextSelectedSlice(iron->Child(11)), ct->Child(0));
    EXPECT_EQ(tree.NextSelectedSlice(ct->Child(0)), nullptr);
    EXPECT_TRUE(tree.HasBoundaryChannel());
    EXPECT_TRUE(b1->IsBoundaryChannel());
    EXPECT_TRUE(b1->Child(0)->IsBoundarySlice());
    EXPECT_FALSE(ct->Child(0)->IsBoundarySlice());

    // A copy takes over everything but the selection's widget state.
    DisplayItemsFamily::SetOfSubtree(tree, ct, 7);
    tree.viewOption = 1;
    DisplayTree copy;
    copy.BuildCopy(*sample, tree);
    EXPECT_EQ(copy.ItemCount(), tree.ItemCount());
    EXPECT_EQ(copy.viewOption, 1);
    EXPECT_EQ(copy.FindChannel("ct_1")->Child(5)->spec.shown.displayItems, 7);
    EXPECT_EQ(copy.FindChannel("Iron")->Child(3)->label, "99");
    EXPECT_EQ(copy.FindChannel("ct_1")->Child(2)->row, 2);
    // Building twice does nothing.
    copy.Build(*sample, "again");
    EXPECT_EQ(copy.Root()->label, "doc");
}

}  // namespace
}  // namespace zun
