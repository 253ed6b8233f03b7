// The toolbar's buttons show what the menus would, as soon as a document changes and without a
// menu having been opened: after data are imported into a new document, after a channel goes or
// comes, and across a computation's start and end that come from outside the menus.

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "app/ui/childframe.h"
#include "compute/model.h"
#include "guitest.h"
#include "model/zunchan.h"

using namespace zun;
using test::WaitFor;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

struct ToolbarFixture : test::AppFixture {
    CMainFrame* frame = nullptr;
    QWidget* start = nullptr;
    QWidget* stop = nullptr;
    int menusOpened = 0;
    std::atomic<bool> inStep{false}, finish{false};  // of a run's steps (test::RunStepsUntil)

    void SetUp() override {
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        frame = app->MainFrame();
        start = frame->ToolBar()->widgetForAction(frame->Action("computationStart"));
        stop = frame->ToolBar()->widgetForAction(frame->Action("computationStop"));
        ASSERT_NE(start, nullptr);
        ASSERT_NE(stop, nullptr);
        // A menu opening would update every command and hide the fault.
        for (QMenu* m : frame->menuBar()->findChildren<QMenu*>())
            QObject::connect(m, &QMenu::aboutToShow, [this] { ++menusOpened; });
    }
    void TearDown() override {
        finish = true;
        EXPECT_EQ(menusOpened, 0);
        AppFixture::TearDown();
    }
    // The buttons as they should be, waited for: the toolbar may follow a change a moment later.
    bool Shows(bool startOn, bool stopOn) {
        return WaitFor([&] { return start->isEnabled() == startOn && stop->isEnabled() == stopOn; });
    }
};

}  // namespace

TEST_F(ToolbarFixture, FollowsImportsAndChannelsWithoutAMenuOpened) {
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    ASSERT_FALSE(start->isEnabled()) << "an empty document has nothing to compute";

    // The example's compositions and CT channels into the new document's open window.
    ASSERT_TRUE(doc->ImportTextDocument(kExample));
    ASSERT_TRUE(doc->CanStartComputation());
    const bool startAfterImport = Shows(true, false);
    std::cout << "[ measured ] Start Computation on the toolbar after the import: "
              << (start->isEnabled() ? "enabled" : "disabled") << "\n";
    EXPECT_TRUE(startAfterImport);

    // Without CT channels there is nothing to compute; one inserted, there is again.
    ASSERT_EQ(doc->DeleteChannels({"CT 40 keV", "CT 80 keV"}, true).size(), 2u);
    ASSERT_FALSE(doc->CanStartComputation());
    EXPECT_TRUE(Shows(false, false)) << "after the CT channels were deleted";
    ASSERT_EQ(doc->InsertChannel(ZunChan::kXrayCt, doc->InsertPositionLast(ZunChan::kXrayCt), "CT 60 keV"),
              0);
    ASSERT_TRUE(doc->CanStartComputation());
    EXPECT_TRUE(Shows(true, false)) << "after a CT channel was inserted";
    test::SaveScreenshot(frame, "toolbar-after-insert");
}

TEST_F(ToolbarFixture, FollowsARunStartedAndEndedOutsideTheMenus) {
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(Shows(true, false));
    Model& m = doc->GetModel();
    test::RunStepsUntil(*doc, inStep, finish);
    // As a remote "start" does: the document's own command.
    ASSERT_EQ(doc->OnStartComputation(), 0);
    ASSERT_TRUE(WaitFor([&] { return inStep.load(); }));
    EXPECT_TRUE(Shows(false, true)) << "while the run goes on";
    finish = true;
    ASSERT_TRUE(WaitFor([&] { return !m.IsBusy() && m.GetState() == kCompleted; }));
    EXPECT_TRUE(Shows(true, false)) << "after the run";

    // The active window decides: the empty document's window has nothing to compute.
    CZunDoc* empty = app->Documents().front();
    ASSERT_NE(empty, doc);
    auto activate = [&](CZunDoc* d) {
        frame->MdiArea()->setActiveSubWindow(
            qobject_cast<QMdiSubWindow*>(app->FramesOf(d).front()->parentWidget()));
    };
    activate(empty);
    EXPECT_TRUE(Shows(false, false));
    activate(doc);
    EXPECT_TRUE(Shows(true, false));
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
