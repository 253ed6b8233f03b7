#include "tree/ui/treeview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "tree/displaystate.h"
#include "tree/treestats.h"
#include "tree/ui/treeitemmodel.h"

namespace zun {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "tree_ui_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own statics may go first at exit.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A document of three channels (Void, Iron, ct_1) of 20 slices, Iron rising with the slice.
std::unique_ptr<CZunDoc> MakeDocument() {
    RegisterDocumentClasses();
    auto doc = std::make_unique<CZunDoc>();
    doc->OnNewDocument();
    ZunImage& s = doc->GetSample();
    s.Resize(Dims{16, 16, 20});
    s.InsertChan(ZunChan::kComposition, 1, "Iron", 0x3050E0);
    s.InsertChan(ZunChan::kXrayCt, 2, "ct_1", 0xE08030);
    ZunChan* iron = s.FindChan("Iron");
    for (int z = 0; z < 20; ++z)
        for (int i = 0; i < 256; ++i)
            iron->Data()[z * 256 + i] = static_cast<std::uint16_t>((z * 800 + i * 3) % 16384);
    return doc;
}

TEST(TreeView, FollowsHintsAndSelection) {
    App();
    auto doc = MakeDocument();
    ZunTreeView view(*doc);
    TreeItemModel* m = view.ItemModel();
    const QModelIndex root = m->index(0, 0);
    ASSERT_EQ(m->rowCount(root), 3);
    const QModelIndex iron = m->index(1, 0, root);
    EXPECT_EQ(m->rowCount(iron), 20);
    EXPECT_TRUE(m->data(m->index(3, 0, iron)).toString().startsWith("3 {ave="));

    // The document's own operations reach the widget through its views.
    ASSERT_EQ(doc->GetSample().InsertSlices(0, 2), 22);
    InsertSliceMod hint(0, 2);
    doc->UpdateAllViews(nullptr, kHintStructure, &hint);
    EXPECT_EQ(m->rowCount(iron), 22);
    EXPECT_EQ(m->data(m->index(21, 0, iron)).toString().section(' ', 0, 0), "21");

    view.selectionModel()->select(m->index(4, 0, iron), QItemSelectionModel::Select);
    view.selectionModel()->select(m->index(2, 0, root), QItemSelectionModel::Select);
    EXPECT_EQ(view.Tree().FirstSelectedSlice(), view.Tree().FindChannel("Iron")->Child(4));
    EXPECT_EQ(view.Tree().FirstSelectedChannel(), view.Tree().FindChannel("ct_1"));
    view.selectionModel()->clearSelection();
    EXPECT_EQ(view.Tree().FirstSelectedSlice(), nullptr);

    // A second window takes over the display state of the first.
    DisplayItemsFamily::SetOfSubtree(view.Tree(), view.Tree().FindChannel("ct_1"), 1);
    ZunTreeView second(*doc, nullptr, &view);
    EXPECT_EQ(second.Tree().FindChannel("ct_1")->Child(5)->spec.shown.displayItems, 1);
    EXPECT_EQ(doc->Views().Size(), 2u);
}

TEST(TreeView, ReopenedDocumentShowsTheStoredState) {
    App();
    auto doc = MakeDocument();
    const std::string path =
        (std::filesystem::temp_directory_path() / ("zun_treeview_" + std::to_string(::getpid()) + ".zun"))
            .string();
    {
        ZunTreeView view(*doc);
        DisplayTree& t = view.Tree();
        ColourKindFamily::SetOfSubtree(t, t.FindChannel("Iron"), 2);
        StatsItemsFamily::SetOfSubtree(t, t.FindChannel("Iron"), DispSpec::kColAve | DispSpec::kColMax);
        ResetStatisticsOfSubtree(t.Root());
        RefreshItemLabelsOfSubtree(t, t.Root());
        doc->WindowRecords().resize(1);
        view.StoreRecord(doc->WindowRecords()[0].tree);
        ASSERT_TRUE(doc->OnSaveDocument(path));
    }
    CZunDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path));
    std::filesystem::remove(path);
    ZunTreeView view(back);
    const TreeNode* iron = view.Tree().FindChannel("Iron");
    ASSERT_NE(iron, nullptr);
    EXPECT_EQ(iron->Child(7)->spec.shown.colourKind, 2);
    EXPECT_EQ(iron->Child(7)->label.find("7 {ave="), 0u);
    EXPECT_NE(iron->Child(7)->label.find(",max="), std::string::npos);
}

TEST(TreeView, Screenshot) {
    App();
    auto doc = MakeDocument();
    ZunTreeView view(*doc);
    view.resize(360, 620);
    DisplayTree& t = view.Tree();
    TreeNode* iron = t.FindChannel("Iron");
    TreeNode* ct = t.FindChannel("ct_1");
    StatsItemsFamily::SetOfSubtree(t, iron, DispSpec::kColAve | DispSpec::kColMax);
    DisplayItemsFamily::SetOfSubtree(t, ct, DispSpec::kItemData);
    for (int z : {3, 4}) DisplayItemsFamily::SetOfSubtree(t, iron->Child(z), 7);
    DisplayItemsFamily::SetOfSubtree(t, ct->Child(1), DispSpec::kItemRo);
    DisplayItemsFamily::UpdateAncestorOfItems(t, {iron->Child(3), ct->Child(1)});
    ImportSliceMod imported("ct_1", 0, 5, true);
    doc->UpdateAllViews(nullptr, kHintRename, &imported);
    ResetStatisticsOfSubtree(t.Root());
    RefreshItemLabelsOfSubtree(t, t.Root());
    view.expand(view.ItemModel()->IndexOf(iron));
    view.expand(view.ItemModel()->IndexOf(ct));
    view.scrollTo(view.ItemModel()->IndexOf(ct->Child(2)), QAbstractItemView::PositionAtBottom);
    view.show();
    App().processEvents();
    const QString dir = qEnvironmentVariable("ZUN_SCREENS_DIR", ZUN_SCREENS_DIR);
    QDir().mkpath(dir);
    EXPECT_TRUE(view.grab().save(dir + "/tree.png"));
}

}  // namespace
}  // namespace zun
