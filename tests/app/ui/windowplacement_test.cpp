// Where document windows open and how they are arranged, captioned and listed: a second document
// beside a first, one opened over a maximised one, Cascade, the Window menu, the main window's
// caption and the tree column's width.

#include <gtest/gtest.h>

#include <thread>

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>

#include "app/ui/childframe.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "compute/log.h"
#include "compute/model.h"
#include "document/changehints.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"
#include "tree/ui/treeview.h"

using namespace zun;
using zun::test::WaitFor;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

struct PlacementFixture : test::AppFixture {
    void SetUp() override {
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->resize(1280, 800);
        QApplication::processEvents();
        // On a desktop the window manager frames the main window and the program then fits it to
        // the screen (its frame watch ends): the document windows' area stands only after that.
        if (QGuiApplication::platformName() != "offscreen")
            WaitFor(
                [this] { return !Frame()->findChild<QObject*>("zunFrameWatch", Qt::FindDirectChildrenOnly); },
                3000);
    }
    CMainFrame* Frame() { return app->MainFrame(); }
    QMdiSubWindow* WindowOf(CChildFrame* c) { return qobject_cast<QMdiSubWindow*>(c->parentWidget()); }
    QRect Area() { return QRect(QPoint(0, 0), Frame()->MdiArea()->viewport()->size()); }
    ZunTreeView* TreeOf(CChildFrame* c) { return qobject_cast<ZunTreeView*>(c->TreePane()); }
};

}  // namespace

TEST_F(PlacementFixture, NewWindowsOpenWholeAndUsefulAndFollowAMaximisedOne) {
    CZunDoc* first = app->OpenDocumentFile(kExample);
    ASSERT_NE(first, nullptr);
    app->OnFileNew();
    app->OnFileNew();
    for (CChildFrame* c : Frame()->Children()) {
        const QRect g = WindowOf(c)->geometry();
        EXPECT_TRUE(Area().contains(g)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
        EXPECT_GT(g.width(), Area().width() / 2);
        EXPECT_GT(g.height(), Area().height() / 2);
    }
    test::SaveScreenshot(Frame(), "main-window-three-documents");

    // A document opened while the active one is maximised opens maximised: no grey band.
    WindowOf(Frame()->ActiveChild())->showMaximized();
    app->OnFileNew();
    QMdiSubWindow* fresh = WindowOf(Frame()->ActiveChild());
    EXPECT_TRUE(fresh->isMaximized());
    EXPECT_EQ(fresh->size(), Frame()->MdiArea()->viewport()->size());

    // Cascade restores every window to one usable size, a title bar apart.
    Frame()->Action("windowCascade")->trigger();
    QApplication::processEvents();
    std::vector<QPoint> corners;
    for (QMdiSubWindow* w : Frame()->MdiArea()->subWindowList()) {
        EXPECT_FALSE(w->isMaximized());
        EXPECT_GE(w->width(), Area().width() * 3 / 5);
        EXPECT_GE(w->height(), Area().height() * 3 / 5);
        EXPECT_TRUE(Area().contains(w->geometry()));
        corners.push_back(w->pos());
    }
    std::sort(corners.begin(), corners.end(), [](QPoint a, QPoint b) { return a.x() < b.x(); });
    EXPECT_GT(corners.back().x(), corners.front().x());
    test::SaveScreenshot(Frame(), "main-window-cascade");
}

TEST_F(PlacementFixture, CaptionsFollowTheActiveWindowAndRenamesAndTheWindowMenuListsThem) {
    CZunDoc* untitled = app->ActiveDocument();
    ASSERT_NE(untitled, nullptr);
    EXPECT_EQ(Frame()->windowTitle(), "Zun - Zun1");
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(Frame()->windowTitle(), "Zun - phantom");

    // A rename (a remote "settitle", a save under a new name) reaches both captions.
    doc->SetTitle("A");
    RenameDocMod hint("A");
    doc->UpdateAllViews(nullptr, kHintRename, &hint);
    EXPECT_EQ(WindowOf(app->FramesOf(doc).front())->windowTitle(), "A");
    EXPECT_EQ(Frame()->windowTitle(), "Zun - A");
    // Maximised, the caption keeps its form.
    WindowOf(app->FramesOf(doc).front())->showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(Frame()->windowTitle(), "Zun - A");

    // The Window menu lists the open windows and switches between them.
    QMenu* menu = nullptr;
    for (QAction* a : Frame()->menuBar()->actions())
        if (a->text() == "&Window") menu = a->menu();
    ASSERT_NE(menu, nullptr);
    Q_EMIT menu->aboutToShow();
    QAction* one = Frame()->findChild<QAction*>("windowList1");
    QAction* two = Frame()->findChild<QAction*>("windowList2");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(one->text(), "&1 Zun1");
    EXPECT_EQ(two->text(), "&2 A");
    EXPECT_TRUE(two->isChecked());
    one->trigger();
    EXPECT_EQ(app->ActiveDocument(), untitled);
    EXPECT_EQ(Frame()->windowTitle(), "Zun - Zun1");
    app->CloseDocument(untitled);
    QApplication::processEvents();
    Q_EMIT menu->aboutToShow();
    EXPECT_EQ(Frame()->findChild<QAction*>("windowList2"), nullptr);
    EXPECT_EQ(Frame()->windowTitle(), "Zun - A");
}

TEST_F(PlacementFixture, NewWindowStartsFromTheActiveViewWithTheDurationsShown) {
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    // A document that has been computed carries its durations.
    doc->GetModel().StartStepTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    doc->GetModel().UpdateDurations(50);
    std::vector<CDuration> d = doc->GetModel().Durations();
    ASSERT_GE(d.size(), 2u);
    app->OnWindowNew();
    CChildFrame* second = Frame()->ActiveChild();
    TreeNode* iron = TreeOf(second)->Tree().Root()->children.front().get();
    iron->spec.shown.opacity[3] = 0.42f;
    app->OnWindowNew();
    CChildFrame* third = Frame()->ActiveChild();
    ASSERT_NE(third, second);
    EXPECT_FLOAT_EQ(TreeOf(third)->Tree().Root()->children.front()->spec.shown.opacity[3], 0.42f);
    EXPECT_NE(TreeOf(app->FramesOf(doc).front())->Tree().Root()->children.front()->spec.shown.opacity[3],
              0.42f);
    EXPECT_NE(third->StatusPane(1)->text(), "CM");
    EXPECT_NE(third->StatusPane(2)->text(), "TOT");
    EXPECT_TRUE(third->StatusPane(1)->text().startsWith(QString::fromStdString(d[0].label)));
}

// The status panes never cover one another: not while a wider text waits for the bar's layout
// (the end of a run keeps the window busy for a second), nor in a window too narrow for them.
TEST_F(PlacementFixture, StatusPanesNeverOverlap) {
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    CChildFrame* child = app->FramesOf(doc).front();
    auto disjoint = [child] {
        for (int i = 0; i < 4; ++i) {
            const QRect a = child->StatusPane(i)->geometry();
            if (!child->StatusBar()->rect().contains(a)) return false;
            for (int j = i + 1; j < 4; ++j)
                if (a.intersects(child->StatusPane(j)->geometry())) return false;
        }
        return true;
    };
    CDuration elapsed("Elapsed"), total("Total");
    elapsed.seconds = total.seconds = 0.4f;
    elapsed.percent = 99;
    child->SetStatusText("Computation Running");
    child->SetStatusValues({elapsed, total});
    QApplication::processEvents();
    ASSERT_TRUE(disjoint());
    // The last progress of a run: every pane's text grows at once.
    elapsed.percent = 100;
    elapsed.minutes = total.minutes = 12;
    child->SetStatusText("Computing the nonlinear solution of every channel, step 12 of 12");
    child->SetStatusValues({elapsed, total});
    EXPECT_TRUE(disjoint());
    QApplication::processEvents();
    EXPECT_TRUE(disjoint());
    EXPECT_EQ(child->StatusPane(1)->text(), "Elapsed: 12:00 (100%)");
    // A narrow window squeezes the panes instead of piling them up.
    WindowOf(child)->resize(260, WindowOf(child)->height());
    QApplication::processEvents();
    EXPECT_TRUE(disjoint());
    WindowOf(child)->resize(900, WindowOf(child)->height());
    QApplication::processEvents();
    EXPECT_TRUE(disjoint());
    EXPECT_GE(child->StatusPane(1)->width(),
              child->StatusPane(1)->fontMetrics().horizontalAdvance(child->StatusPane(1)->text()));
    test::SaveScreenshot(child->StatusBar(), "status-bar");
}

TEST_F(PlacementFixture, TheTreeColumnShowsWholeNamesAndKeepsTheUsersWidth) {
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    CChildFrame* child = app->FramesOf(doc).front();
    const int content = child->TreeContentWidth();
    EXPECT_GE(child->Splitter()->sizes().value(0), content);
    test::SaveScreenshot(WindowOf(child), "document-window");

    // The user's column width is kept for the next window.
    child->Splitter()->setSizes({content + 60, 400});
    Q_EMIT child->Splitter()->splitterMoved(content + 60, 1);
    app->OnFileNew();
    EXPECT_EQ(Frame()->ActiveChild()->Splitter()->sizes().value(0), content + 60);
}

// A computation adds statistics to the names: the column grows with them as on opening, the
// window widening beside it and the 3-D pane keeping its size.
TEST_F(PlacementFixture, TheTreeColumnFollowsNamesThatGrow) {
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    CChildFrame* child = app->FramesOf(doc).front();
    QMdiSubWindow* window = WindowOf(child);
    window->move(40, window->y());
    QApplication::processEvents();
    const QList<int> before = child->Splitter()->sizes();
    const int frameWidth = window->width();
    TreeNode* channel = TreeOf(child)->Tree().Root()->children.front().get();
    channel->label += " {ave=0.0271,stdev=0.00412,min=0.00113,max=0.0514}";
    doc->UpdateAllViews(nullptr, kHintStateChanged, nullptr);
    QApplication::processEvents();
    const QList<int> after = child->Splitter()->sizes();
    EXPECT_GE(after.value(0), child->TreeContentWidth());
    EXPECT_GT(after.value(0), before.value(0));
    EXPECT_EQ(after.value(1), before.value(1));
    EXPECT_EQ(window->width(), frameWidth + after.value(0) - before.value(0));
    const QRect g = window->geometry();
    EXPECT_TRUE(Area().contains(g)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height()
                                    << " in " << Area().width() << "x" << Area().height() << " before "
                                    << frameWidth;
    test::SaveScreenshot(window, "document-window-long-names");
    // Names that shrink leave the column as it is.
    channel->label = "Fe";
    doc->UpdateAllViews(nullptr, kHintStateChanged, nullptr);
    QApplication::processEvents();
    EXPECT_EQ(child->Splitter()->sizes(), after);
}

TEST_F(PlacementFixture, TheExampleOpensShowingItsCtChannels) {
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    const TreeNode* root = TreeOf(app->FramesOf(doc).front())->Tree().Root();
    ASSERT_NE(root, nullptr);
    int shown = 0;
    for (const auto& c : root->children) {
        EXPECT_EQ(c->spec.shown.displayItems != 0, c->spec.channelType == 1) << c->label;
        shown += c->spec.shown.displayItems != 0;
        EXPECT_FALSE(c->selected);
    }
    EXPECT_EQ(shown, 2);
    EXPECT_FALSE(doc->IsModified());
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
