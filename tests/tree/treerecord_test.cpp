#include "tree/treerecord.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "tree/displaystate.h"
#include "tree/treefixture.h"
#include "tree/treestats.h"

namespace zun {
namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("zun_tree_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

// Every item of two trees alike, labels and display state.
void ExpectSameTrees(const DisplayTree& a, const DisplayTree& b) {
    const TreeNode* x = a.Root();
    const TreeNode* y = b.Root();
    for (; x && y; x = DisplayTree::NextInPreOrder(x), y = DisplayTree::NextInPreOrder(y)) {
        EXPECT_EQ(x->label, y->label);
        EXPECT_TRUE(x->spec.SameContent(y->spec)) << x->label;
        EXPECT_EQ(ItemOverlayIndex(x->spec), ItemOverlayIndex(y->spec));
    }
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(y, nullptr);
    EXPECT_EQ(a.viewOption, b.viewOption);
}

TEST(TreeRecord, DocumentFileRestoresTheDisplayStateExactly) {
    RegisterDocumentClasses();
    CZunDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    ZunImage& s = doc.GetSample();
    s.Resize(Dims{3, 2, 4});
    s.InsertChan(ZunChan::kComposition, 1, "Iron", 0x00FF00);
    s.InsertChan(ZunChan::kXrayCt, 2, "ct_1", 0xFF0000);
    s.InsertChan(ZunChan::kBoundary, 3, "bound_1", 0x00FFFF);
    s.FindChan("Iron")->Data()[7] = 9000;

    DisplayTree tree;
    tree.Build(s, "round");
    TreeNode* ct = tree.FindChannel("ct_1");
    DisplayItemsFamily::SetOfSubtree(tree, ct, 7);
    ColourKindFamily::SetOfSubtree(tree, ct->Child(1), 2);
    OpacityFamily::SetOfSubtree(tree, ct->Child(3), {0.2f, 0.8f, 0.1f, 0.9f});
    BoundaryMaskFamily::SetOfSubtree(tree, ct, {1, "bound_1"});
    IncludeFlagsFamily::SetOfSubtree(tree, ct->Child(0), 18);
    StatsItemsFamily::SetOfSubtree(tree, tree.FindChannel("Iron"), 31);
    UpdateMergedStates(tree, ct->Child(3));
    ResetStatisticsOfSubtree(tree.Root());
    RefreshItemLabelsOfSubtree(tree, tree.Root());
    tree.viewOption = 2;
    doc.WindowRecords().resize(1);
    StoreTreeRecord(tree, doc.WindowRecords()[0].tree);

    const std::string path = TempPath("round.zun");
    ASSERT_TRUE(doc.OnSaveDocument(path));
    CZunDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path));
    std::filesystem::remove(path);
    ASSERT_EQ(back.WindowRecords().size(), 1u);
    DisplayTree reopened;
    reopened.Build(back.GetSample(), "round");
    ASSERT_TRUE(LoadTreeRecord(reopened, back.WindowRecords()[0].tree));
    EXPECT_EQ(reopened.FindChannel("Iron")->Child(1)->label,
              "1 {ave=0.0916,stdev=0.205,min=0,max=0.549,n=6}");
    ExpectSameTrees(tree, reopened);
}

TEST(TreeRecord, MismatchedRecordIsRefusedWhole) {
    auto sample = MakeSample();
    DisplayTree tree;
    tree.Build(*sample, "doc");
    TreeRecord rec;
    StoreTreeRecord(tree, rec);
    EXPECT_EQ(rec.items.size(), tree.ItemCount());
    rec.items[3].shown.colourKind = 3;
    TreeRecord shorter = rec;
    shorter.items.pop_back();
    EXPECT_FALSE(LoadTreeRecord(tree, shorter));
    TreeRecord wrongKind = rec;
    wrongKind.items[1].kind = DispSpec::kSlice;
    EXPECT_FALSE(LoadTreeRecord(tree, wrongKind));
    EXPECT_EQ(ColourKindFamily::GetOfItems({tree.FindChannel("Void")}), 0);
    EXPECT_TRUE(LoadTreeRecord(tree, rec));
    EXPECT_EQ(tree.Root()->Child(0)->Child(1)->spec.shown.colourKind, 3);

    // A root without channels stores one specification.
    ZunImage none(true);
    DisplayTree lone;
    lone.Build(none, "x");
    StoreTreeRecord(lone, rec);
    EXPECT_EQ(rec.items.size(), 1u);
}

}  // namespace
}  // namespace zun
