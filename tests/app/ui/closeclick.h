#pragma once
// A document window's close button clicked while the document's computation runs, answered with
// Escape, and clicked again: shared by the offscreen test, which clicks through Qt's window-system
// input, and the desktop test, which clicks on the X server as a user's mouse does.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMdiSubWindow>

#include "guitest.h"

namespace zun::test {

// What a round saw: the questions in the order they showed, and what followed each Escape.
struct CloseClickRound {
    std::vector<std::string> questions;
    bool runningAfterEscape = true;  // after every Escape, the run went on
    bool documentKept = true;        // and its window stayed
    bool gaveUp = false;             // a step's wait outlived its deadline
    std::string lastStep;
};

// The program with its own message dialog, the example document open and a computation on it that
// runs until the fixture ends it.
struct CloseClickFixture : ::testing::Test {
    TempFolder tmp;
    std::unique_ptr<CZunApp> app;
    CZunDoc* doc = nullptr;
    QMdiSubWindow* window = nullptr;
    std::atomic<bool> inStep{false}, finish{false};

    void StartRun();
    void TearDown() override;

    // The centre of the window's close button in its own coordinates (its title bar as the area
    // draws it).
    static QPoint CloseButtonCentre(QMdiSubWindow* w);

    // Clicks the close button, presses Escape on the question, clicks again (the pointer where it
    // was) and presses Escape again. Each step runs once the previous one has shown what it does;
    // `onQuestion` runs while the first question shows.
    CloseClickRound RunRound(const std::function<bool()>& firstClick, const std::function<bool()>& escape,
                             const std::function<bool()>& secondClick,
                             const std::function<void()>& onQuestion);
    // Both clicks asked "Stop computation?", and the run went on.
    void ExpectAskedEachTime(const CloseClickRound& round) const;
};

}  // namespace zun::test
