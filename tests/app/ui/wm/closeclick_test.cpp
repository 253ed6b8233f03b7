// The close button of a document window while its computation runs, clicked on the X server
// (xdotool) as a user's mouse does: each click asks "Stop computation?", also the click that
// follows an Escape on the question without the pointer having moved. The program runs itself on
// a private desktop with a window manager (tests/script/wm_session.sh).

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <QApplication>
#include <QMdiSubWindow>
#include <QProcess>
#include <QStandardPaths>

#include "../closeclick.h"
#include "../guitest.h"
#include "app/ui/childframe.h"
#include "xframes.h"

using namespace zun;
using test::MeasuredFrame;
using test::Text;

namespace {

bool Xdotool(const QStringList& args) {
    return QProcess::execute("xdotool", args) == 0;
}

struct CloseClickDesktop : test::CloseClickFixture {
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs the private desktop";
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "needs xdotool";
        ASSERT_NO_FATAL_FAILURE(StartRun());
        QWidget* frame = app->MainFrame();
        // Framed where the window manager leaves it, and Qt knows where that is: the pointer is
        // put on the screen over the close button as Qt has it.
        ASSERT_TRUE(test::WaitFor(
            [&] {
                return frame->frameGeometry() != frame->geometry() &&
                       frame->frameGeometry() == MeasuredFrame(frame);
            },
            60000))
            << "frame " << Text(frame->frameGeometry()) << ", on the server " << Text(MeasuredFrame(frame));
    }
};

}  // namespace

TEST_F(CloseClickDesktop, EachClickOnTheCloseButtonAsksWhileTheRunGoesOn) {
    const QPoint at = window->mapToGlobal(CloseButtonCentre(window));
    const QString x = QString::number(at.x()), y = QString::number(at.y());
    const test::CloseClickRound round = RunRound(
        [&] {
            return Xdotool({"mousemove", "--sync", x, y}) && Xdotool({"click", "1"});
        },
        [] {
            return Xdotool({"key", "Escape"});
        },
        [] {
            return Xdotool({"click", "1"});
        },
        [] { test::SaveDesktop("closeclick-desktop-question"); });
    ExpectAskedEachTime(round);
}

int main(int argc, char** argv) {
    return zun::test::DesktopTestMain(argc, argv);
}
