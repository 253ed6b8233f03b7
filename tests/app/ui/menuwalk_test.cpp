// The menu walk the window tests choose their menu entries with: the entry reached by keyboard
// through its submenus, a menu closed while the focus left the program opened again until the
// deadline and never a fixed number of times, and a menu that closes on its own or lacks the entry
// reported at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>
#include <QtTest/QTest>

#include "guitest.h"
#include "menuwalk.h"

using namespace zun;

namespace {

struct MenuWalkTest : ::testing::Test {
    QMainWindow owner;
    QWidget intruder;  // another window that takes the focus
    QMenu menu;
    QMenu* import = nullptr;
    QString triggered;
    int openings = 0;

    void SetUp() override {
        owner.setWindowTitle("owner");
        owner.resize(300, 200);
        owner.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
        for (const char* text : {"Setup Sample Grid...", "Display"}) menu.addAction(text);
        import = menu.addMenu("Import Data");
        for (const char* text : {"Binary File...", "Image Files...", "Text File..."}) import->addAction(text);
        menu.addAction("Export")->setEnabled(false);
        QObject::connect(&menu, &QMenu::triggered, [this](QAction* a) { triggered = a->text(); });
    }
    // The menu opened as a context menu is: its own loop runs until it closes.
    std::function<void()> Exec(std::function<void()> whileOpen = nullptr) {
        return [this, whileOpen] {
            ++openings;
            if (whileOpen) QTimer::singleShot(0, &owner, whileOpen);
            menu.exec(owner.mapToGlobal(QPoint(20, 20)));
        };
    }
    // What another program does on a busy desktop: its window takes the focus, and the open menu
    // closes.
    void StealFocus() {
        intruder.show();
        intruder.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&intruder, 60000)) << "the other window never took the focus";
        intruder.hide();
        menu.close();
    }
};

}  // namespace

TEST_F(MenuWalkTest, ChoosesTheEntryThroughItsSubmenuOnce) {
    const test::MenuWalk walk = test::ChooseFromMenu(&owner, Exec(), {"Import Data", "Image Files..."});
    EXPECT_TRUE(walk.chosen) << walk.error;
    EXPECT_EQ(walk.attempts, 1);
    EXPECT_EQ(triggered, "Image Files...");
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    triggered.clear();
    EXPECT_TRUE(test::ChooseFromMenu(&owner, Exec(), {"Display"}).chosen);
    EXPECT_EQ(triggered, "Display");
}

TEST_F(MenuWalkTest, AMissingOrDisabledEntryFailsAtOnceAndClosesTheMenus) {
    for (const QStringList& path : {QStringList{"Import Data", "Volume..."}, QStringList{"Export"},
                                    QStringList{"Display", "Image Files..."}}) {
        openings = 0;
        const test::MenuWalk walk = test::ChooseFromMenu(&owner, Exec(), path, 5000);
        EXPECT_FALSE(walk.chosen) << path.join(" > ").toStdString();
        EXPECT_EQ(openings, 1) << walk.error;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_TRUE(triggered.isEmpty()) << triggered.toStdString();
        EXPECT_NE(walk.error.find(path.back() == "Volume..." ? "\"Volume...\" is missing" : "is disabled"),
                  std::string::npos)
            << walk.error;
    }
}

TEST_F(MenuWalkTest, AMenuClosedAsTheFocusLeftOpensAgainAndTheWindowIsActiveFirst) {
    int stolen = 0;
    const auto steal = [&] {
        if (stolen++ < 3) StealFocus();
    };
    const test::MenuWalk walk =
        test::ChooseFromMenu(&owner, Exec([&] { steal(); }), {"Import Data", "Image Files..."});
    EXPECT_TRUE(walk.chosen) << walk.error;
    EXPECT_EQ(walk.attempts, 4);
    EXPECT_EQ(openings, 4);
    EXPECT_EQ(triggered, "Image Files...");
    // Each opening waited for the owner to have the focus back.
    EXPECT_TRUE(owner.isActiveWindow());
}

// However slow the machine: the walk is judged by how often it opened the menu and when it gave
// up against its own deadline, never by how many openings a fixed time should hold.
TEST_F(MenuWalkTest, OpeningsGoOnUntilTheDeadlineNotAFixedCount) {
    const QStringList path{"Import Data", "Image Files..."};
    QElapsedTimer clock;
    qint64 longestOpening = 0;
    const auto timed = [&](std::function<void()> open) {
        return [&, open] {
            const qint64 at = clock.elapsed();
            open();
            longestOpening = std::max(longestOpening, clock.elapsed() - at);
        };
    };

    // More openings lost to the focus than any count a walk might stop at: it still chooses.
    constexpr int kStolen = 12;
    int stolen = 0;
    const auto stealFirst = Exec([&] {
        if (stolen++ < kStolen) StealFocus();
    });
    clock.start();
    const test::MenuWalk late = test::ChooseFromMenu(&owner, timed(stealFirst), path);
    EXPECT_TRUE(late.chosen) << late.error;
    EXPECT_EQ(late.attempts, kStolen + 1);
    EXPECT_EQ(openings, kStolen + 1);
    EXPECT_EQ(triggered, "Image Files...");

    // With the focus taken every time it goes on until its deadline, which holds several of the
    // slowest openings measured above, and then says why it gave up.
    openings = 0;
    triggered.clear();
    const int deadlineMs = static_cast<int>(std::max<qint64>(1500, 3 * longestOpening));
    longestOpening = 0;
    clock.restart();
    const test::MenuWalk walk =
        test::ChooseFromMenu(&owner, timed(Exec([this] { StealFocus(); })), path, deadlineMs);
    const qint64 took = clock.elapsed();
    EXPECT_FALSE(walk.chosen);
    EXPECT_TRUE(triggered.isEmpty());
    EXPECT_GE(openings, 1);
    EXPECT_EQ(walk.attempts, openings);
    EXPECT_NE(walk.error.find("the focus left the program"), std::string::npos) << walk.error;
    // Not before the deadline; after it, no more than the opening in flight and its aftermath.
    EXPECT_GE(took, deadlineMs) << walk.attempts << " openings";
    EXPECT_LE(took, 2 * (deadlineMs + longestOpening)) << walk.attempts << " openings";
    std::cout << "[ openings ] " << walk.attempts << " in " << took << " ms against a deadline of "
              << deadlineMs << " ms; the longest opening took " << longestOpening << " ms\n";
}

TEST_F(MenuWalkTest, AMenuThatClosesOnItsOwnIsAFaultNotTriedAgain) {
    const test::MenuWalk walk =
        test::ChooseFromMenu(&owner, Exec([this] { menu.close(); }), {"Import Data", "Image Files..."}, 5000);
    EXPECT_FALSE(walk.chosen);
    EXPECT_EQ(openings, 1);
    EXPECT_NE(walk.error.find("closed by itself"), std::string::npos) << walk.error;

    // Nothing opened at all says so.
    const test::MenuWalk none = test::ChooseFromMenu(
        &owner, [] {}, {"Display"}, 5000);
    EXPECT_FALSE(none.chosen);
    EXPECT_NE(none.error.find("no menu opened"), std::string::npos) << none.error;
}

TEST_F(MenuWalkTest, AnEmptyPathLeavesAPoppedUpMenuOpenShownAndActive) {
    const test::MenuWalk walk =
        test::ChooseFromMenu(&owner, [this] { menu.popup(owner.mapToGlobal(QPoint(20, 20))); }, {});
    EXPECT_TRUE(walk.chosen) << walk.error;
    EXPECT_EQ(QApplication::activePopupWidget(), &menu);
    EXPECT_TRUE(menu.isVisible());
    menu.close();
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
