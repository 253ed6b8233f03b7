#pragma once
// Shared by the widget tests of the application: a private preferences folder, the application
// object made over it and its commands, waiting on the event loop, and screenshots.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <QAction>
#include <QApplication>
#include <QWidget>

#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "document/zundoc.h"
#include "platform/prompt.h"

namespace zun::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A test of the whole application: a headless prompt and a preferences file of its own. Whatever
// is left open at the end closes without questions.
struct AppFixture : ::testing::Test {
    TempFolder tmp;
    HeadlessPrompt prompt;
    std::unique_ptr<CZunApp> app;

    // The application object, not started yet (InitInstance is the test's).
    void MakeApp() { app = std::make_unique<CZunApp>(CZunApp::Services{&prompt, tmp.File("zun.ini")}); }
    void CloseApp() {
        if (app)
            for (CZunDoc* d : app->Documents()) d->SetModifiedFlag(false);
        app.reset();
    }
    void TearDown() override { CloseApp(); }

    // Runs a command of the main window as its menu entry does; it must exist and be enabled.
    void Trigger(const char* name) {
        app->MainFrame()->UpdateCommandUI();
        QAction* a = app->MainFrame()->Action(name);
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }
    // The text of the last message or question, "" when there was none.
    std::string LastMessage() const {
        const auto r = prompt.Requests();
        return r.empty() ? std::string() : r.back().text;
    }
};

// Makes the document's computation steps report progress until `finish` is set (the step then
// completes) or the run is stopped; `inStep` is set once a step runs.
void RunStepsUntil(CZunDoc& doc, std::atomic<bool>& inStep, std::atomic<bool>& finish);

// Runs the event loop until the condition holds or the time is up; returns the condition.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// Starts this test program again on a private desktop with a window manager
// (tests/script/wm_session.sh) and returns only in that run, or at once when ZUN_ON_DESKTOP says
// it is on one already (ctest starts every gl test so). Tests that click through menus or
// measure frames need it: on a shared desktop another program's new window takes the focus,
// which closes an open menu and moves activation under the test.
void RunOnOwnDesktop(int argc, char** argv);

// The main of a test program that runs on its own desktop (RunOnOwnDesktop), of the given size
// ("1366x768x24") when one is named, else of the launcher's.
int DesktopTestMain(int argc, char** argv, const char* screen = nullptr);

// Saves the widget's picture as <screens>/<name>.png; returns the path ("" when it failed).
std::string SaveScreenshot(QWidget* widget, const std::string& name);

}  // namespace zun::test
