// A window whose page of controls is taller than its screen: the page scrolls in height only, and
// the window grows within the screen, moving up rather than past its bottom edge.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "uitest.h"
#include "uiwheel.h"

namespace zun {
namespace {

// A window of a page of `rows` wide labels above a button.
struct PagedWindow {
    QWidget window;
    QWidget* page = new QWidget;
    QScrollArea* area = nullptr;

    explicit PagedWindow(int rows) {
        auto* column = new QVBoxLayout(page);
        for (int i = 0; i < rows; ++i) {
            auto* label = new QLabel(QString("Row %1").arg(i), page);
            label->setMinimumWidth(300);
            column->addWidget(label);
        }
        auto* layout = new QVBoxLayout(&window);
        area = MakeScrollingPage(page, &window);
        layout->addWidget(area, 1);
        layout->addWidget(new QPushButton("OK", &window));
    }
};

TEST(ScrollingPage, AsksForTheWholePageAndScrollsOnlyInHeight) {
    test::UiApp();
    PagedWindow w(10);
    const QSize whole = w.page->sizeHint();
    const int bar = w.area->verticalScrollBar()->sizeHint().width();
    EXPECT_EQ(w.area->sizeHint(), whole + QSize(bar, 0));
    EXPECT_EQ(w.area->minimumSizeHint().width(), w.page->minimumSizeHint().width() + bar);
    EXPECT_LT(w.area->minimumSizeHint().height(), whole.height());

    // Shown shorter than the page at its least width: the page scrolls down, never sideways.
    w.window.resize(w.window.minimumSizeHint().width(), 200);
    w.window.show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_GT(w.area->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(w.area->horizontalScrollBar()->maximum(), 0);
}

TEST(ScrollingPage, TheWheelOverAComboOnThePageScrollsThePage) {
    test::UiApp();
    PagedWindow w(40);
    auto* combo = new QComboBox;
    combo->addItems({"Intra-voxel", "Nearest neighbour", "Next-nearest neighbour"});
    static_cast<QVBoxLayout*>(w.page->layout())->insertWidget(1, combo);
    w.window.resize(w.window.minimumSizeHint().width(), 200);
    w.window.show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    ASSERT_GT(w.area->verticalScrollBar()->maximum(), 0);

    test::WheelNotches(combo, combo->rect().center(), 1);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_GT(w.area->verticalScrollBar()->value(), 0);
}

TEST(GrowWindowOnScreen, KeepsTheFrameWithinTheScreen) {
    test::UiApp();
    PagedWindow w(200);  // taller than any screen
    const QSize room = ClientRoomOnScreen(&w.window);
    w.window.setMinimumSize(QSize(100, room.height() + 500));
    GrowWindowOnScreen(&w.window, w.window.sizeHint());
    EXPECT_EQ(w.window.height(), room.height());
    EXPECT_EQ(w.window.minimumHeight(), room.height());  // a least size larger than the room fits it

    PagedWindow low(3);
    low.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&low.window));
    const QRect screen = low.window.screen()->availableGeometry();
    const QMargins frame = WindowFrameMargins(&low.window);
    low.window.setGeometry(QRect(
        QPoint(screen.left() + frame.left(), screen.bottom() + 1 - low.window.height() - frame.bottom()),
        low.window.size()));
    const int top = low.window.y();
    GrowWindowOnScreen(&low.window, low.window.size() + QSize(0, 100));
    EXPECT_TRUE(screen.contains(low.window.geometry().marginsAdded(frame)));
    EXPECT_EQ(low.window.y(), top - 100);  // moved up by what it grew
    const QSize grown = low.window.size();
    GrowWindowOnScreen(&low.window, grown - QSize(50, 50));
    EXPECT_EQ(low.window.size(), grown);  // a smaller size wanted neither shrinks nor moves it
    EXPECT_EQ(low.window.y(), top - 100);
}

}  // namespace
}  // namespace zun
