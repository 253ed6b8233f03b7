// The menu walk the window tests choose their menu entries with: the entry reached by keyboard
// through its submenus, a menu closed while the focus left the program opened again until the
// deadline and never a fixed number of times, and a menu that closes on its own or lacks the entry
// reported at once.

#include <gtest/gtest.h>

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
        QTest::qWaitForWindowActive(&intruder);
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

TEST_F(MenuWalkTest, OpeningsGoOnUntilTheDeadlineNotAFixedCount) {
    QElapsedTimer clock;
    clock.start();
    const test::MenuWalk walk =
        test::ChooseFromMenu(&owner, Exec([this] { StealFocus(); }), {"Import Data", "Image Files..."}, 1500);
    EXPECT_FALSE(walk.chosen);
    EXPECT_GT(walk.attempts, 5);
    EXPECT_EQ(walk.attempts, openings);
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_NE(walk.error.find("the focus left the program"), std::string::npos) << walk.error;
    EXPECT_TRUE(triggered.isEmpty());
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
