#include "foundation/ui/wheelguard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

#include "uitest.h"
#include "uiwheel.h"

namespace zun {
namespace {

using test::WheelNotches;

void NotchOver(QWidget* control, int notches) {
    WheelNotches(control, control->rect().center(), notches);
}

QLabel* Filler(QWidget* parent) {
    auto* l = new QLabel("filler", parent);
    l->setFixedHeight(150);
    return l;
}

// A dialog with a combo box above a guarded scrolling column that holds a combo box, a spin box
// and a slider, each between tall fillers so the column scrolls either way from it; shown, active.
struct Column {
    struct AppFirst {
        AppFirst() { test::UiApp(); }
    } appFirst;
    QDialog dialog;
    QComboBox* outside = nullptr;
    QScrollArea* area = nullptr;
    QVBoxLayout* rows = nullptr;
    QComboBox* combo = nullptr;
    QSpinBox* spin = nullptr;
    QSlider* slider = nullptr;
    int changes = 0;  // of the three controls' values, however briefly

    Column() {
        auto* layout = new QVBoxLayout(&dialog);
        outside = new QComboBox(&dialog);
        outside->addItems({"one", "two", "three"});
        layout->addWidget(outside);
        area = new QScrollArea(&dialog);
        area->setWidgetResizable(true);
        auto* body = new QWidget(area);
        rows = new QVBoxLayout(body);
        combo = new QComboBox(body);
        combo->addItems({"Standard", "Light", "Maximum", "Surface", "Grey"});
        combo->setCurrentIndex(2);
        spin = new QSpinBox(body);
        spin->setRange(0, 100);
        spin->setValue(50);
        slider = new QSlider(Qt::Horizontal, body);
        slider->setRange(0, 100);
        slider->setValue(50);
        rows->addWidget(Filler(body));
        for (QWidget* w :
             {static_cast<QWidget*>(combo), static_cast<QWidget*>(spin), static_cast<QWidget*>(slider)}) {
            rows->addWidget(w);
            rows->addWidget(Filler(body));
        }
        area->setWidget(body);
        ScrollAreaTakesWheel(area);
        QObject::connect(combo, &QComboBox::currentIndexChanged, [this] { ++changes; });
        QObject::connect(spin, &QSpinBox::valueChanged, [this] { ++changes; });
        QObject::connect(slider, &QSlider::valueChanged, [this] { ++changes; });
        layout->addWidget(area);
        dialog.resize(300, 260);
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    int Scrolled() const { return area->verticalScrollBar()->value(); }
    int Values() const { return combo->currentIndex() * 10000 + spin->value() * 100 + slider->value(); }
    // Brings the control well inside the view, with room to scroll both ways.
    void Show(QWidget* control) {
        const QPoint at = control->mapTo(area->widget(), control->rect().center());
        area->verticalScrollBar()->setValue(at.y() - area->viewport()->height() / 2);
        ASSERT_GT(Scrolled(), 0);
        ASSERT_LT(Scrolled(), area->verticalScrollBar()->maximum());
    }
};

TEST(WheelGuard, TheWheelOverAControlWithoutFocusScrollsTheColumnAndChangesNothing) {
    Column c;
    const int values = c.Values();
    for (QWidget* control :
         {static_cast<QWidget*>(c.combo), static_cast<QWidget*>(c.spin), static_cast<QWidget*>(c.slider)}) {
        SCOPED_TRACE(control->metaObject()->className());
        for (int round = 0; round < 3; ++round) {
            c.Show(control);
            int before = c.Scrolled();
            NotchOver(control, 1);
            EXPECT_GT(c.Scrolled(), before);
            c.Show(control);
            before = c.Scrolled();
            NotchOver(control, -1);
            EXPECT_LT(c.Scrolled(), before);
        }
        EXPECT_FALSE(control->hasFocus());
        EXPECT_EQ(c.Values(), values);
    }
    // The pointer held still while the column scrolls under it: the controls slide beneath it and
    // the later notches reach each of them.
    c.area->verticalScrollBar()->setValue(0);
    const QPoint still = c.area->viewport()->rect().center();
    WheelNotches(c.area->viewport(), still, 40);
    EXPECT_EQ(c.Scrolled(), c.area->verticalScrollBar()->maximum());
    WheelNotches(c.area->viewport(), still, -40);
    EXPECT_EQ(c.Scrolled(), 0);
    EXPECT_EQ(c.Values(), values);
    EXPECT_EQ(c.changes, 0);
    for (QWidget* control :
         {static_cast<QWidget*>(c.combo), static_cast<QWidget*>(c.spin), static_cast<QWidget*>(c.slider)})
        EXPECT_FALSE(control->hasFocus()) << control->metaObject()->className();
}

TEST(WheelGuard, AControlGivenTheFocusByAClickTakesTheWheel) {
    Column c;
    // A click opens the combo box's list; Escape closes it and leaves the focus on the box.
    c.Show(c.combo);
    QTest::mouseClick(c.combo, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
    ASSERT_TRUE(c.combo->hasFocus());
    int scrolled = c.Scrolled();
    NotchOver(c.combo, 1);
    EXPECT_EQ(c.combo->currentIndex(), 3);
    EXPECT_EQ(c.Scrolled(), scrolled);

    c.Show(c.spin);
    QTest::mouseClick(c.spin, Qt::LeftButton, Qt::NoModifier, QPoint(10, c.spin->height() / 2));
    ASSERT_TRUE(c.spin->hasFocus());
    scrolled = c.Scrolled();
    NotchOver(c.spin, -1);
    EXPECT_EQ(c.spin->value(), 51);
    EXPECT_EQ(c.Scrolled(), scrolled);
    // The combo box lost the focus with the click: the wheel passes it by again.
    c.Show(c.combo);
    NotchOver(c.combo, 1);
    EXPECT_EQ(c.combo->currentIndex(), 3);

    // The slider's handle sits in its middle: a click there takes the focus and moves nothing.
    c.Show(c.slider);
    QTest::mouseClick(c.slider, Qt::LeftButton, Qt::NoModifier, c.slider->rect().center());
    ASSERT_TRUE(c.slider->hasFocus());
    ASSERT_EQ(c.slider->value(), 50);
    scrolled = c.Scrolled();
    NotchOver(c.slider, -1);
    EXPECT_NE(c.slider->value(), 50);
    EXPECT_EQ(c.Scrolled(), scrolled);
}

TEST(WheelGuard, ControlsOutsideAGuardedAreaKeepTheWheel) {
    Column c;
    EXPECT_EQ(c.outside->focusPolicy(), Qt::WheelFocus);
    NotchOver(c.outside, 1);
    EXPECT_EQ(c.outside->currentIndex(), 1);
    // Inside, the wheel no longer gives the focus.
    EXPECT_EQ(c.combo->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(c.spin->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(WheelChangesValue(c.slider));
    EXPECT_FALSE(WheelChangesValue(c.area->verticalScrollBar()));
    EXPECT_FALSE(WheelChangesValue(c.area));
}

TEST(WheelGuard, ControlsAddedLaterAreGuardedToo) {
    Column c;
    // Made inside the column once it is shown: a new row.
    auto* later = new QSpinBox;
    later->setValue(7);
    c.rows->insertWidget(2, later);
    ASSERT_TRUE(QTest::qWaitFor([&] { return later->isVisible(); }));
    EXPECT_EQ(later->focusPolicy(), Qt::StrongFocus);
    c.Show(later);
    int before = c.Scrolled();
    NotchOver(later, 1);
    EXPECT_EQ(later->value(), 7);
    EXPECT_GT(c.Scrolled(), before);

    // A whole new column, made and laid out elsewhere first.
    auto* body = new QWidget;
    auto* v = new QVBoxLayout(body);
    auto* combo = new QComboBox;
    combo->addItems({"a", "b", "c"});
    v->addWidget(Filler(body));
    v->addWidget(combo);
    v->addWidget(Filler(body));
    v->addWidget(Filler(body));
    body->ensurePolished();
    combo->ensurePolished();
    c.area->setWidget(body);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return combo->isVisible() && combo->focusPolicy() == Qt::StrongFocus; }));
    c.Show(combo);
    before = c.Scrolled();
    NotchOver(combo, 1);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_GT(c.Scrolled(), before);
}

TEST(WheelGuard, SpinBoxesInTheCellsOfAScrollingTable) {
    test::UiApp();
    QTableWidget table(40, 2);
    std::vector<QSpinBox*> spins;
    for (int r = 0; r < table.rowCount(); ++r) {
        auto* spin = new QSpinBox(&table);
        spin->setValue(r);
        table.setCellWidget(r, 1, spin);
        spins.push_back(spin);
    }
    ScrollAreaTakesWheel(&table);
    table.resize(300, 240);
    table.show();
    table.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&table));
    // The pointer over the second row's spin box: the rows slide beneath it.
    const QPoint at = spins[1]->mapTo(table.viewport(), spins[1]->rect().center());
    WheelNotches(table.viewport(), at, 10);
    EXPECT_GT(table.verticalScrollBar()->value(), 0);
    WheelNotches(table.viewport(), at, -4);
    for (int r = 0; r < table.rowCount(); ++r) EXPECT_EQ(spins[static_cast<std::size_t>(r)]->value(), r);
    // A cell's spin box clicked takes the wheel.
    QSpinBox* shown = qobject_cast<QSpinBox*>(table.childAt(table.viewport()->mapTo(&table, at)));
    if (!shown)
        shown = qobject_cast<QSpinBox*>(table.childAt(table.viewport()->mapTo(&table, at))->parentWidget());
    ASSERT_NE(shown, nullptr);
    const int value = shown->value();
    QTest::mouseClick(shown, Qt::LeftButton, Qt::NoModifier, QPoint(8, shown->height() / 2));
    ASSERT_TRUE(shown->hasFocus());
    NotchOver(shown, -1);
    EXPECT_EQ(shown->value(), value + 1);
}

}  // namespace
}  // namespace zun
