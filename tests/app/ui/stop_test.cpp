// Starting and stopping a computation from the menus never blocks the UI thread, also while the
// worker posts and sends messages to it, and a document closed during a run waits for its worker
// without a deadlock.

#include <gtest/gtest.h>

#include <random>

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/messagereport.h"
#include "app/ui/mainframe.h"
#include "app/ui/qtprompt.h"
#include "app/ui/zunapp.h"
#include "app/ui/zunmessage.h"
#include "closeclick.h"
#include "compute/exitrequested.h"
#include "compute/model.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"

using namespace zun;
using zun::test::WaitFor;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

// A step that reports progress until it is stopped, and now and then sends a message to the UI
// thread and waits for it to be handled.
void SlowSteps(CZunDoc& doc, std::atomic<int>& steps, std::atomic<int>& sends) {
    Model& m = doc.GetModel();
    m.SetStepRunner([&m, &doc, &steps, &sends](int, const ComputeLibParams&) {
        steps++;
        try {
            for (int i = 0; i < 400; ++i) {
                m.SetProgress(static_cast<float>(i) / 4.0f, false);
                if (i % 50 == 7) {
                    doc.GetMainFrame()->Send(FrameMessage{FrameMsg::RefreshViews, &doc});
                    sends++;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        } catch (const ExitRequested&) {
            return kUserInterrupt;
        }
        return 0;
    });
}

using CloseClick = test::CloseClickFixture;

struct StopFixture : test::AppFixture {
    void SetUp() override {
        MakeApp();
        StartupOptions o;
        o.files = {kExample};
        ASSERT_TRUE(app->InitInstance(o));
    }
};

}  // namespace

TEST_F(StopFixture, TwoHundredStartStopCyclesNeverHang) {
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    std::atomic<int> steps{0}, sends{0};
    SlowSteps(*doc, steps, sends);
    QAction* start = app->MainFrame()->Action("computationStart");
    QAction* stop = app->MainFrame()->Action("computationStop");
    std::mt19937 rng(11);
    int stopped = 0, completed = 0;
    for (int k = 0; k < 200; ++k) {
        app->MainFrame()->UpdateCommandUI();
        ASSERT_TRUE(start->isEnabled()) << k;
        start->trigger();
        ASSERT_TRUE(
            WaitFor([&] { return doc->GetModel().RunInProgress() || !doc->GetModel().IsBusy(); }, 60000));
        // Sometimes the UI thread handles the worker's messages before the stop, sometimes not.
        if (rng() % 2) WaitFor([] { return false; }, static_cast<int>(rng() % 4));
        app->MainFrame()->UpdateCommandUI();
        if (stop->isEnabled()) stop->trigger();
        ASSERT_TRUE(WaitFor([&] { return !doc->GetModel().IsBusy(); }, 60000)) << "cycle " << k;
        const int s = doc->GetModel().GetState();
        ASSERT_TRUE(s == kStopped || s == kCompleted) << k << " " << s;
        (s == kStopped ? stopped : completed) += 1;
    }
    EXPECT_GT(stopped, 0);
    EXPECT_GT(steps.load(), 0);
    EXPECT_GT(sends.load(), 0);
}

TEST_F(StopFixture, ClosingADocumentDuringARunWaitsForItsWorker) {
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    std::atomic<int> steps{0}, sends{0};
    SlowSteps(*doc, steps, sends);
    for (int k = 0; k < 20; ++k) {
        doc = app->OpenDocumentFile(kExample);
        ASSERT_NE(doc, nullptr);
        SlowSteps(*doc, steps, sends);
        app->OnStartComputation(doc);
        ASSERT_TRUE(WaitFor([&] { return steps.load() > k; }, 60000));
        doc->SetModifiedFlag(false);
        // Closed while the worker runs (and may be sending): no hang, and its late messages
        // find no document. The run is stopped on the question, its results not saved.
        prompt.Clear();
        prompt.QueueAnswer(kPromptOk);
        prompt.QueueAnswer(kPromptNo);
        EXPECT_TRUE(app->CloseDocument(doc));
        EXPECT_TRUE(app->Documents().empty());
        WaitFor([] { return false; }, 2);
    }
}

TEST_F(StopFixture, FileCloseIsRefusedWhileLongWorkOnTheDocumentRuns) {
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    doc->SetModifiedFlag(false);
    QAction* close = app->MainFrame()->Action("fileClose");
    {
        // As the recorder holds it while its progress lets the menus' events through.
        CZunDoc::LongWork work(*doc, "animation recording");
        close->trigger();
        EXPECT_EQ(app->Documents().size(), 1u);
        ASSERT_FALSE(prompt.Requests().empty());
        EXPECT_EQ(prompt.Requests().back().text,
                  "The document cannot be closed while its animation recording is running.");
    }
    close->trigger();
    EXPECT_TRUE(app->Documents().empty());
}

TEST_F(StopFixture, PostedMessagesAboutAClosedDocumentAreDropped) {
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    const void* gone = doc;
    doc->SetModifiedFlag(false);
    ASSERT_TRUE(app->CloseDocument(doc));
    // From another thread, as a worker would; the sent one returns once the UI thread saw it.
    std::atomic<bool> done{false};
    std::thread t([&] {
        app->FrameChannel().Post(FrameMessage{FrameMsg::ComputationEnded, gone, 0, 1});
        app->FrameChannel().Post(FrameMessage{FrameMsg::SetModelState, gone, kRunning, 1, "x"});
        app->FrameChannel().Send(FrameMessage{FrameMsg::RefreshViews, gone});
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }));
    t.join();
    EXPECT_TRUE(app->Documents().empty());
}

TEST(StopQuestion, IsWithdrawnWhenTheRunEndsWhileItIsOpen) {
    test::TempFolder tmp;
    QtPrompt prompt;  // the real message dialog
    auto app = std::make_unique<CZunApp>(CZunApp::Services{&prompt, tmp.File("zun.ini")});
    StartupOptions o;
    o.files = {kExample};
    ASSERT_TRUE(app->InitInstance(o));
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    Model& m = doc->GetModel();
    std::atomic<bool> inStep{false}, finish{false};
    m.SetStepRunner([&](int, const ComputeLibParams&) {
        inStep = true;
        while (!finish) {
            m.SetProgress(1, false);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return 0;
    });
    app->OnStartComputation(doc);
    ASSERT_TRUE(WaitFor([&] { return inStep.load() && m.GetState() == kRunning; }));

    // Once the question shows, the run ends by itself; a question still open 5 s later is
    // answered OK by the test so that it never hangs.
    bool shown = false, forced = false;
    QElapsedTimer since;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<ZunMessage*>(w);
            if (!box || !box->isVisible()) continue;
            if (!shown) {
                shown = true;
                since.start();
                test::SaveScreenshot(box, "stop-question");
                finish = true;
            } else if (since.elapsed() > 5000) {
                forced = true;
                box->Button(kIdOk)->click();
            }
        }
    });
    poll.start(10);
    app->OnStopComputation(doc);
    poll.stop();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(forced) << "the question outlived its run";
    ASSERT_TRUE(WaitFor([&] { return !m.IsBusy(); }));
    EXPECT_EQ(m.GetState(), kCompleted);
    doc->SetModifiedFlag(false);
    app.reset();
}

// Clicked through Qt's window-system input, as the platform delivers a mouse's: the pointer moves
// onto the button once, and the second click comes where the first left it.
TEST_F(CloseClick, EachClickOnTheCloseButtonAsksWhileTheRunGoesOn) {
    ASSERT_NO_FATAL_FAILURE(StartRun());
    QWindow* top = app->MainFrame()->windowHandle();
    ASSERT_NE(top, nullptr);
    const QPoint at = window->mapTo(app->MainFrame(), CloseButtonCentre(window));
    auto click = [top, at] {
        QTest::mouseClick(top, Qt::LeftButton, {}, at);
        return true;
    };
    auto escape = [] {
        QWidget* box = QApplication::activeModalWidget();
        if (box) QTest::keyClick(box, Qt::Key_Escape);
        return box != nullptr;
    };
    const test::CloseClickRound round = RunRound(
        [top, at, click] {
            QTest::mouseMove(top, at);
            return click();
        },
        escape, click,
        [] {
            if (QWidget* box = QApplication::activeModalWidget())
                test::SaveScreenshot(box, "closeclick-question");
        });
    ExpectAskedEachTime(round);
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
