// The tree's selection by mouse and its context menus, on a real widget.

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tree/treecommandids.h"
#include "tree/ui/displaypropsdialog.h"
#include "tree/ui/treeitemmodel.h"
#include "tree/ui/treeview.h"
#include "uitest.h"

namespace zun {
namespace {

QApplication& App() {
    return test::UiApp();
}

struct MenuFixture : ::testing::Test {
    HeadlessPrompt prompt;
    std::unique_ptr<CZunDoc> doc;
    std::unique_ptr<ZunTreeView> view;

    void SetUp() override {
        App();
        RegisterDocumentClasses();
        doc = std::make_unique<CZunDoc>(DocServices{&prompt});
        doc->OnNewDocument();
        doc->SetTitle("rock");
        doc->ResizeVolume({8, 8, 4}, {0, 0, 0});
        doc->InsertChannel(0, 1, "Iron");
        doc->InsertChannel(1, 2, "ct_1");
        doc->InsertChannel(3, 3, "bound_1");
        view = std::make_unique<ZunTreeView>(*doc);
        view->resize(260, 420);
        view->show();
        view->expandAll();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    void TearDown() override {
        view.reset();
        doc.reset();
    }

    TreeNode* Chan(const char* name) const { return view->Tree().FindChannel(name); }
    QModelIndex Index(const TreeNode* n) const { return view->ItemModel()->IndexOf(n); }
    // A point on the item's text, clear of its picture.
    QPoint OnText(const TreeNode* n) const {
        const QRect r = view->visualRect(Index(n));
        return QPoint(r.left() + view->iconSize().width() + 12, r.center().y());
    }
    // A right click as the platform delivers it: the press, then the context-menu request.
    void RightClick(const TreeNode* n) {
        const QPoint at = OnText(n);
        QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
    }
    void Click(const TreeNode* n, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, mods, OnText(n));
    }
    std::string Selected() const {
        std::string out;
        for (TreeNode* n = view->Tree().Root(); n; n = DisplayTree::NextInPreOrder(n))
            if (n->selected)
                out += (out.empty() ? "" : ",") +
                       (n->IsSlice() ? DisplayTree::GetItemName(n->parent) + "/" : std::string()) +
                       DisplayTree::GetItemName(n);
        return out;
    }
};

TEST_F(MenuFixture, CtrlClickShiftRangeAndRightClick) {
    TreeNode* iron = Chan("Iron");
    TreeNode* ct = Chan("ct_1");
    Click(iron->Child(1));
    Click(iron->Child(3), Qt::ControlModifier);
    EXPECT_EQ(Selected(), "Iron/1,Iron/3");
    // Ctrl on a selected item deselects it alone; the previous caret stays selected.
    Click(iron->Child(2), Qt::ControlModifier);
    Click(iron->Child(3), Qt::ControlModifier);
    EXPECT_EQ(Selected(), "Iron/1,Iron/2");

    // Shift from a slice of one channel to a slice of another takes every item between, the
    // channel item included.
    Click(iron->Child(2));
    Click(ct->Child(1), Qt::ShiftModifier);
    EXPECT_EQ(Selected(), "Iron/2,Iron/3,ct_1,ct_1/0,ct_1/1");

    // A right click on a selected item keeps the selection; on another item it replaces it.
    int menus = 0;
    QString firstEntry;
    auto closeMenu = [&] {
        QTimer::singleShot(50, [&] {
            if (QWidget* w = QApplication::activePopupWidget()) {
                ++menus;
                if (auto* m = qobject_cast<QMenu*>(w)) firstEntry = m->actions().value(0)->text();
                w->close();
            }
        });
    };
    closeMenu();
    RightClick(ct);
    EXPECT_EQ(Selected(), "Iron/2,Iron/3,ct_1,ct_1/0,ct_1/1");
    closeMenu();
    RightClick(Chan("bound_1"));
    EXPECT_EQ(Selected(), "bound_1");
    EXPECT_EQ(menus, 2);
    EXPECT_EQ(firstEntry, "Insert Composition Channel");

    // Shift+F10 opens the current item's menu from the keyboard.
    closeMenu();
    QTest::keyClick(view.get(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(menus, 3);
    EXPECT_EQ(Selected(), "bound_1");
}

TEST_F(MenuFixture, ClickOnAPictureTogglesTheDisplay) {
    TreeNode* ct = Chan("ct_1");
    int redraws = 0;
    QObject::connect(view.get(), &ZunTreeView::displayChanged, [&](unsigned hint) {
        EXPECT_EQ(hint, 8u);
        ++redraws;
    });
    ASSERT_EQ(ct->spec.shown.displayItems, 0);
    const QRect r = view->visualRect(Index(ct));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(r.left() + view->iconSize().width() / 2 + 2, r.center().y()));
    EXPECT_EQ(ct->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(ct->Child(3)->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(redraws, 1);
}

TEST_F(MenuFixture, ContextMenusOfTheFourKinds) {
    struct Shot {
        TreeNode* item;
        const char* name;
        const char* entry;
    } shots[] = {
        {view->Tree().Root(), "tree-menu-root", "Setup Sample Grid..."},
        {Chan("ct_1"), "tree-menu-channel", "Aligns with"},
        {Chan("Iron")->Child(2), "tree-menu-slice", "Clear Data..."},
        {Chan("bound_1"), "tree-menu-boundary", "Active for Computation"},
    };
    const char* env = std::getenv("ZUN_SCREENS_DIR");
    const std::filesystem::path dir = env && *env ? env : "screens";
    std::filesystem::create_directories(dir);
    for (const Shot& s : shots) {
        view->selectionModel()->setCurrentIndex(Index(s.item), QItemSelectionModel::ClearAndSelect);
        QMenu* menu = view->CreateContextMenu(s.item);
        bool found = false;
        for (QAction* a : menu->actions()) found = found || a->text() == s.entry;
        EXPECT_TRUE(found) << s.name;
        menu->popup(view->mapToGlobal(QPoint(40, 40)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        EXPECT_TRUE(
            menu->grab().save(QString::fromStdString((dir / (std::string(s.name) + ".png")).string())));
        menu->close();
        delete menu;
    }
    // Enabled states come from the command table: with the computation idle, the channel's own
    // commands are available and the ones of later windows greyed.
    view->selectionModel()->setCurrentIndex(Index(Chan("ct_1")), QItemSelectionModel::ClearAndSelect);
    std::unique_ptr<QMenu> menu(view->CreateContextMenu(Chan("ct_1")));
    QAction* rename = nullptr;
    QAction* info = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text() == "Rename...") rename = a;
        if (a->text() == "Information...") info = a;
    }
    ASSERT_TRUE(rename && info);
    EXPECT_TRUE(rename->isEnabled());
    EXPECT_FALSE(info->isEnabled());
    // Another window serves Information from now on: one registration enables it.
    int shown = 0;
    view->Commands().Register(treecmd::kChannelInformation, [&](int) { ++shown; });
    menu.reset(view->CreateContextMenu(Chan("ct_1")));
    for (QAction* a : menu->actions())
        if (a->text() == "Information...") {
            EXPECT_TRUE(a->isEnabled());
            a->trigger();
        }
    EXPECT_EQ(shown, 1);
}

TEST_F(MenuFixture, AnOpenDisplayDialogHoldsTheItemCommands) {
    TreeNode* slice = Chan("Iron")->Child(1);
    view->selectionModel()->setCurrentIndex(Index(slice), QItemSelectionModel::ClearAndSelect);
    TreeCommands& c = view->Commands();
    EXPECT_TRUE(c.IsEnabled(treecmd::kDeleteSlices));
    EXPECT_TRUE(c.IsEnabled(treecmd::kDisplaySlice));
    // Opened from the slice's menu.
    EXPECT_TRUE(c.Execute(treecmd::kDisplayPropertiesSlice));
    DisplayPropertiesDialog* dlg = OpenDisplayProperties(*view);
    ASSERT_NE(dlg, nullptr);
    EXPECT_FALSE(c.IsEnabled(treecmd::kDisplayPropertiesSlice));
    EXPECT_FALSE(c.IsEnabled(treecmd::kDeleteSlices));
    EXPECT_FALSE(c.IsEnabled(treecmd::kDisplaySlice));
    EXPECT_FALSE(c.IsEnabled(treecmd::kInsertSliceAfter));
    dlg->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return OpenDisplayProperties(*view) == nullptr; }));
    EXPECT_TRUE(c.IsEnabled(treecmd::kDeleteSlices));
}

// Data > Text File... names the file as the chosen filter says: "Text files" adds ".txt" to a
// name typed without an extension, "All files" leaves the name as typed.
TEST_F(MenuFixture, TheTextExportNamesTheFileAsTheChosenFilterSays) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("zun_textexport_" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(folder);
    auto save = [&](const QString& name, const QString& filter) {
        QTimer::singleShot(50, [&] {
            QFileDialog* d = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* f = qobject_cast<QFileDialog*>(w); f && f->isVisible()) d = f;
            ASSERT_NE(d, nullptr);
            d->setDirectory(QString::fromStdString(folder.string()));
            if (!filter.isEmpty()) {
                d->selectNameFilter(filter);
                Q_EMIT d->filterSelected(filter);
            }
            auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(edit, nullptr);
            edit->setText(name);
            QMetaObject::invokeMethod(d, "accept");
        });
        // Never hangs: a dialog the step above missed is cancelled.
        QTimer::singleShot(10000, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* f = qobject_cast<QFileDialog*>(w); f && f->isVisible()) f->reject();
        });
        EXPECT_TRUE(view->Commands().Execute(treecmd::kExportTextAll));
    };
    save("rockdata", {});
    EXPECT_TRUE(std::filesystem::exists(folder / "rockdata.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "rockdata"));
    save("plain", "All files (*)");
    EXPECT_TRUE(std::filesystem::exists(folder / "plain"));
    EXPECT_FALSE(std::filesystem::exists(folder / "plain.txt"));
    save("kept.dat", {});
    EXPECT_TRUE(std::filesystem::exists(folder / "kept.dat"));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zun
