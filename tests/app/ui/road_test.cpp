// The whole road a user takes, through the menus of the main window: new document, open the
// example, run the computation, stop it, save, close and open again.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSplitter>

#include "app/ui/childframe.h"
#include "app/ui/logwindow.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "compute/exitrequested.h"
#include "compute/model.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"

using namespace zun;
using zun::test::WaitFor;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

struct RoadFixture : test::AppFixture {
    std::string nextSave;

    void SetUp() override {
        MakeApp();
        app->SetFileChooser(
            [this](const std::string&, const std::string&, bool, const std::string&) { return nextSave; });
    }
};

std::vector<std::uint16_t> Voxels(CZunDoc& d) {
    std::vector<std::uint16_t> all;
    const ZunImage& s = d.GetSample();
    for (int c = 0; c < s.GetChanCount(); ++c) {
        const auto* p = s.GetChan(c)->Data();
        all.insert(all.end(), p, p + s.GetNumVoxels());
    }
    return all;
}

// A step that reports progress until it is asked to stop.
void RunUntilStopped(Model& model, std::atomic<bool>& inStep) {
    model.SetStepRunner([&model, &inStep](int, const ComputeLibParams&) {
        inStep = true;
        try {
            for (int i = 0;; ++i) {
                model.SetProgress(static_cast<float>(i % 100), false);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        } catch (const ExitRequested&) {
            return kUserInterrupt;
        }
    });
}

}  // namespace

TEST_F(RoadFixture, NewOpenComputeStopSaveCloseReopen) {
    ASSERT_TRUE(app->InitInstance(StartupOptions{}));
    CMainFrame* frame = app->MainFrame();
    ASSERT_EQ(app->Documents().size(), 1u);  // the start-up's new document
    Trigger("fileNew");
    ASSERT_EQ(app->Documents().size(), 2u);
    EXPECT_NE(app->Documents()[0]->GetTitle(), app->Documents()[1]->GetTitle());

    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr) << (prompt.Requests().empty() ? "" : prompt.Requests().back().text);
    EXPECT_EQ(app->ActiveDocument(), doc);
    EXPECT_EQ(doc->GetTitle(), "phantom");
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetSample().GetChanCount(), 5);
    EXPECT_EQ(app->Recent().Size(), 1);
    // Its window has a record from the start, which the 3-D view keeps its camera in: a document
    // first saved without one would lose the view.
    EXPECT_EQ(doc->WindowRecords().size(), 1u);
    // A second open of the same file activates its window instead of reading it again.
    Trigger("fileNew");
    EXPECT_EQ(app->OpenDocumentFile(kExample), doc);
    EXPECT_EQ(app->ActiveDocument(), doc);
    EXPECT_EQ(app->Documents().size(), 4u);

    // A slow run, so that the stop lands while the worker is busy.
    std::atomic<bool> inStep{false};
    Model& model = doc->GetModel();
    RunUntilStopped(model, inStep);
    CChildFrame* child = frame->ActiveChild();
    ASSERT_NE(child, nullptr);
    Trigger("computationStart");
    // The worker's state and its progress reports reach the window's status panes.
    EXPECT_TRUE(WaitFor([&] { return inStep.load() && model.GetState() == kRunning; }));
    EXPECT_TRUE(WaitFor([&] {
        return child->StatusPane(0)->text() != "Computation Ready" &&
               child->StatusPane(0)->text() != "Computation Inactive";
    })) << child->StatusPane(0)->text().toStdString();
    EXPECT_TRUE(WaitFor([&] { return child->StatusPane(1)->text().startsWith("Elapsed: "); }))
        << child->StatusPane(1)->text().toStdString();
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->Action("computationStart")->isEnabled());
    EXPECT_TRUE(frame->Action("computationStop")->isEnabled());
    test::SaveScreenshot(frame, "main-window");

    Trigger("computationStop");
    EXPECT_EQ(prompt.Requests().back().text, "Stop computation?");
    ASSERT_TRUE(WaitFor([&] { return model.GetState() == kStopped && !model.IsBusy(); }));
    EXPECT_EQ(child->StatusPane(0)->text(), "Computation Stopped");
    EXPECT_TRUE(doc->IsModified());

    // The document came from a data file: Save asks for a document file instead of writing over it.
    const std::vector<std::uint16_t> before = Voxels(*doc);
    nextSave = tmp.File("road");
    Trigger("fileSave");
    const std::string saved = tmp.File("road.zun");
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetPathName(), saved);
    EXPECT_EQ(child->parentWidget()->windowTitle(), "road.zun");

    Trigger("fileClose");
    EXPECT_EQ(app->Documents().size(), 3u);
    CZunDoc* again = app->OpenDocumentFile(saved);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetSample().GetChanCount(), 5);
    EXPECT_EQ(again->GetSample().GetDims(), (std::vector<int>{24, 24, 24}));
    EXPECT_EQ(Voxels(*again), before);
    EXPECT_FALSE(again->IsModified());
    EXPECT_EQ(app->Recent()[0], saved);
}

TEST_F(RoadFixture, ClosingAModifiedDocumentAsksAndCancelKeepsIt) {
    ASSERT_TRUE(app->InitInstance(StartupOptions{}));
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    doc->SetModifiedFlag(true);
    prompt.QueueAnswer(kPromptCancel);
    Trigger("fileClose");
    EXPECT_EQ(app->Documents().size(), 1u);
    EXPECT_EQ(prompt.Requests().back().buttons, PromptButtons::YesNoCancel);
    // No: closed without saving.
    prompt.QueueAnswer(kPromptNo);
    Trigger("fileClose");
    EXPECT_TRUE(app->Documents().empty());
}

TEST_F(RoadFixture, ClosingADocumentWindowClosesTheDocumentOrOnlyThatView) {
    ASSERT_TRUE(app->InitInstance(StartupOptions{}));
    CMainFrame* frame = app->MainFrame();
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    Trigger("windowNew");
    ASSERT_EQ(app->FramesOf(doc).size(), 2u);
    auto window = [&](std::size_t i) {
        return qobject_cast<QMdiSubWindow*>(app->FramesOf(doc)[i]->parentWidget());
    };
    EXPECT_EQ(window(0)->windowTitle(), "phantom:1");

    // One of two views: only it goes, and the one left drops its number.
    doc->SetModifiedFlag(true);
    const std::size_t asked = prompt.Requests().size();
    EXPECT_TRUE(window(1)->close());
    ASSERT_TRUE(WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed window
        return app->FramesOf(doc).size() == 1u && window(0)->windowTitle() == "phantom";
    }));
    EXPECT_EQ(prompt.Requests().size(), asked);

    // The last view asks as File > Close does, about the run first (OK stops it); Cancel to the
    // changes keeps document and window.
    std::atomic<bool> inStep{false};
    Model& model = doc->GetModel();
    RunUntilStopped(model, inStep);
    frame->MdiArea()->setActiveSubWindow(window(0));
    Trigger("computationStart");
    ASSERT_TRUE(WaitFor([&] { return inStep.load(); }));
    prompt.QueueAnswer(kPromptOk);
    prompt.QueueAnswer(kPromptCancel);
    window(0)->close();
    ASSERT_TRUE(WaitFor([&] { return prompt.Requests().size() > asked + 1; }));
    EXPECT_EQ(prompt.Requests()[asked].text, "Stop computation?");
    EXPECT_EQ(prompt.Requests().back().text, "Save changes to phantom?");
    WaitFor([] { return false; }, 50);
    ASSERT_EQ(app->Documents().size(), 2u);
    ASSERT_EQ(app->FramesOf(doc).size(), 1u);
    EXPECT_FALSE(model.IsBusy());
    EXPECT_EQ(model.GetState(), kStopped);

    // No: the document and its window go, as the close button's Ctrl+W does.
    prompt.QueueAnswer(kPromptNo);
    QAction* close = nullptr;
    for (QAction* a : window(0)->systemMenu()->actions())
        if (a->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_W))) close = a;
    ASSERT_NE(close, nullptr);
    close->trigger();
    ASSERT_TRUE(WaitFor([&] { return app->Documents().size() == 1u; }));
    EXPECT_EQ(frame->Children().size(), 1u);

    // The file opens again, in a window.
    CZunDoc* again = app->OpenDocumentFile(kExample);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(app->FramesOf(again).size(), 1u);
}

TEST_F(RoadFixture, CommandsFollowTheActiveDocumentAndItsOptions) {
    ASSERT_TRUE(app->InitInstance(StartupOptions{}));
    CMainFrame* frame = app->MainFrame();
    CZunDoc* empty = app->ActiveDocument();
    ASSERT_NE(empty, nullptr);
    frame->UpdateCommandUI();
    // A document without voxels has nothing to compute, but it can be set up. The preferences
    // are there from the start.
    EXPECT_FALSE(frame->Action("computationStart")->isEnabled());
    EXPECT_TRUE(frame->Action("computationSetup")->isEnabled());
    EXPECT_TRUE(frame->Action("appPreferences")->isEnabled());
    // Exit after the computation only goes with save after it; turning save off clears both.
    EXPECT_FALSE(frame->Action("computationExitAfter")->isEnabled());
    Trigger("computationSaveAfter");
    EXPECT_TRUE(empty->SaveAfterComputation());
    Trigger("computationExitAfter");
    EXPECT_TRUE(empty->ExitAfterComputation());
    frame->Action("computationSaveAfter")->trigger();
    EXPECT_FALSE(empty->SaveAfterComputation());
    EXPECT_FALSE(empty->ExitAfterComputation());
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->Action("computationExitAfter")->isChecked());

    CZunDoc* doc = app->OpenDocumentFile(kExample);
    ASSERT_NE(doc, nullptr);
    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->Action("computationStart")->isEnabled());
    EXPECT_FALSE(frame->Action("computationStop")->isEnabled());

    // New Window: a second window on the same document, with the same tree column.
    const int before = static_cast<int>(frame->Children().size());
    Trigger("windowNew");
    EXPECT_EQ(static_cast<int>(frame->Children().size()), before + 1);
    EXPECT_EQ(app->FramesOf(doc).size(), 2u);
    EXPECT_EQ(frame->ActiveChild()->Splitter()->sizes().value(0),
              app->FramesOf(doc).front()->Splitter()->sizes().value(0));
    EXPECT_TRUE(frame->ActiveChild()->parentWidget()->windowTitle().endsWith(":2"));

    // The usual keys, tips on the toolbar and the program's own icon on every window.
    EXPECT_EQ(frame->Action("appExit")->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(frame->Action("computationStart")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(frame->Action("helpTopics")->shortcut(), QKeySequence(QKeySequence::HelpContents));
    EXPECT_TRUE(frame->Action("computationStart")->toolTip().contains("F5"));
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_EQ(frame->ActiveChild()->parentWidget()->windowIcon().cacheKey(), frame->windowIcon().cacheKey());

    // The preference sheet sees the last-applied copy refreshed and applies through the app.
    int shown = 0;
    app->SetPreferenceSheet([&](CZunApp& a) {
        ++shown;
        a.Prefs().display.maxSize = 5000;
        a.ApplyPreferences();
    });
    Trigger("appPreferences");
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(app->LastApplied().display.maxSize, 5000u);
    EXPECT_TRUE(app->HasNoClusters());

    // The log window of the active document, once.
    Trigger("viewLog");
    CLogFrame* log = app->LogWindow(doc);
    ASSERT_NE(log, nullptr);
    Trigger("viewLog");
    EXPECT_EQ(app->LogWindow(doc), log);
    Trigger("fileClose");  // the log goes with its document
    EXPECT_EQ(app->LogWindow(doc), nullptr);
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
