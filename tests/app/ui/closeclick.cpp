#include "closeclick.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionTitleBar>
#include <QTimer>

#include "app/ui/childframe.h"
#include "app/ui/zunmessage.h"
#include "compute/model.h"

namespace zun::test {

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";
constexpr int kStepDeadlineMs = 20000;

// The message dialog showing now, modal and active, or null.
ZunMessage* ShownQuestion() {
    auto* box = qobject_cast<ZunMessage*>(QApplication::activeModalWidget());
    return box && box->isVisible() && box->isActiveWindow() ? box : nullptr;
}

bool AnyMessageShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<ZunMessage*>(w) && w->isVisible()) return true;
    return false;
}

std::string QuestionText(const ZunMessage* box) {
    for (const QLabel* l : box->findChildren<QLabel*>())
        if (!l->text().isEmpty()) return l->text().toStdString();
    return {};
}

}  // namespace

void CloseClickFixture::StartRun() {
    app = std::make_unique<CZunApp>(CZunApp::Services{nullptr, tmp.File("zun.ini")});
    StartupOptions o;
    o.files = {kExample};
    ASSERT_TRUE(app->InitInstance(o));
    doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    RunStepsUntil(*doc, inStep, finish);
    app->OnStartComputation(doc);
    ASSERT_TRUE(WaitFor([&] { return inStep.load() && doc->GetModel().GetState() == kRunning; }, 60000));
    window = qobject_cast<QMdiSubWindow*>(app->MainFrame()->ActiveChild()->parentWidget());
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(window->isMaximized());
    ASSERT_TRUE(WaitFor([&] { return window->isVisible() && app->MainFrame()->isActiveWindow(); }, 60000));
}

void CloseClickFixture::TearDown() {
    finish = true;
    if (!app) return;
    for (CZunDoc* d : app->Documents()) {
        WaitFor([d] { return !d->GetModel().IsBusy(); }, 60000);
        d->SetModifiedFlag(false);
    }
    app.reset();
}

QPoint CloseClickFixture::CloseButtonCentre(QMdiSubWindow* w) {
    QStyleOptionTitleBar o;
    o.initFrom(w);
    o.subControls = QStyle::SC_All;
    o.titleBarFlags = w->windowFlags();
    o.titleBarState = w->windowState();
    const int height = w->style()->pixelMetric(QStyle::PM_TitleBarHeight, &o, w);
    o.rect = QRect(0, 0, w->width(), height);
    return w->style()->subControlRect(QStyle::CC_TitleBar, &o, QStyle::SC_TitleBarCloseButton, w).center();
}

CloseClickRound CloseClickFixture::RunRound(const std::function<bool()>& firstClick,
                                            const std::function<bool()>& escape,
                                            const std::function<bool()>& secondClick,
                                            const std::function<void()>& onQuestion) {
    CloseClickRound round;
    // The steps run from a timer: each question holds the event loop in its own until answered.
    struct Step {
        const char* name;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    auto asked = [&round, &escape, &onQuestion](bool first) {
        round.questions.push_back(QuestionText(ShownQuestion()));
        if (first && onQuestion) onQuestion();
        EXPECT_TRUE(escape());
    };
    auto answered = [this, &round] {
        round.runningAfterEscape = round.runningAfterEscape && doc->GetModel().GetState() == kRunning;
        round.documentKept = round.documentKept && app->Documents().size() == 1;
    };
    // The second click comes at a user's pace: within the double-click time the window system
    // would make it a double click of the first, which no button takes for a click.
    QElapsedTimer firstClickAt;
    const int doubleClick = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const std::vector<Step> steps = {
        {"first click", [] { return true; },
         [&] {
             firstClickAt.start();
             EXPECT_TRUE(firstClick());
         }},
        {"first question", [] { return ShownQuestion() != nullptr; }, [&] { asked(true); }},
        {"first Escape", [&] { return !AnyMessageShown() && firstClickAt.elapsed() > doubleClick + 100; },
         [&] {
             answered();
             EXPECT_TRUE(secondClick());
         }},
        {"second question", [] { return ShownQuestion() != nullptr; }, [&] { asked(false); }},
        {"second Escape", [] { return !AnyMessageShown(); }, [&] { answered(); }},
    };
    std::size_t next = 0;
    QElapsedTimer since;
    since.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (next >= steps.size()) return;
        if (steps[next].ready()) {
            round.lastStep = steps[next].name;
            // Run after this tick: a question the step brings up holds the event loop in its own,
            // where this timer, still in its tick, would not fire again.
            QTimer::singleShot(0, &poll, steps[next++].act);
            since.restart();
        } else if (since.elapsed() > kStepDeadlineMs) {
            // Never left hanging: an open question is closed as Escape would.
            round.gaveUp = true;
            next = steps.size();
            if (ZunMessage* box = ShownQuestion()) box->reject();
        }
    });
    poll.start(10);
    WaitFor([&] { return next >= steps.size() && !AnyMessageShown(); }, 10 * kStepDeadlineMs);
    poll.stop();
    return round;
}

void CloseClickFixture::ExpectAskedEachTime(const CloseClickRound& round) const {
    EXPECT_FALSE(round.gaveUp) << "nothing came after the " << round.lastStep;
    ASSERT_EQ(round.questions.size(), 2u) << "the second click on the close button asked nothing";
    for (const std::string& q : round.questions) EXPECT_EQ(q, "Stop computation?");
    EXPECT_TRUE(round.runningAfterEscape);
    EXPECT_TRUE(round.documentKept);
}

}  // namespace zun::test
