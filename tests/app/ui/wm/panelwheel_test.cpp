// The wheel over the display control panel on a laptop's screen: on a 1366 x 768 desktop the
// panel's column scrolls, and a user turning the wheel over it, wherever the pointer rests, scrolls
// the column and changes no setting of the view. The wheel is turned on the X server (xdotool), as
// a mouse does, so Qt hands each notch to the widget under the pointer as it does a user's.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QWindow>

#include "../guitest.h"
#include "app/ui/childframe.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/zunview.h"
#include "xframes.h"

using namespace zun;
using test::MeasuredFrame;
using test::Text;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

// Counts the wheel events the window system delivers to a window.
class WheelCount : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Wheel) ++count;
        return false;
    }
};

// Every control the wheel could change and its value, and the view's settings they stand for, in
// one text (combo boxes by their text).
std::string Values(const QWidget* panel, CZunView& view) {
    std::string s = "shader " + std::to_string(view.Settings().renderMode) + ", screen " +
                    std::to_string(view.MonitorIndex()) +
                    (view.FullScreenPopup() ? " (full screen)\n" : "\n");
    for (const QComboBox* c : panel->findChildren<QComboBox*>())
        s += "combo " + std::to_string(c->currentIndex()) + " " + c->currentText().toStdString() + "\n";
    for (const QAbstractSpinBox* b : panel->findChildren<QAbstractSpinBox*>())
        s += "spin " + b->text().toStdString() + "\n";
    for (const QAbstractSlider* a : panel->findChildren<QAbstractSlider*>())
        if (!qobject_cast<const QScrollBar*>(a)) s += "slider " + std::to_string(a->value()) + "\n";
    return s;
}

struct PanelDesktop : test::AppFixture {
    ImageControlFloatingDialog* panel = nullptr;
    CZunView* view = nullptr;
    QScrollBar* column = nullptr;
    WheelCount wheels;
    std::string values;  // as the panel opened
    int changes = 0;     // of any control's value, however briefly

    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs the private desktop";
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "needs xdotool";
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->show();
        ASSERT_NE(app->OpenDocumentFile(kExample), nullptr);
        view = qobject_cast<CZunView*>(app->MainFrame()->ActiveChild()->ViewPane());
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(test::WaitFor([&] { return view->FramesPainted() > 0; }, 60000));
        Trigger("viewControlPanel");
        ASSERT_TRUE(test::WaitFor([&] { return (panel = view->ControlPanel()) && panel->isVisible(); }));
        // Framed where the window manager leaves it, and Qt knows where that is: the pointer is
        // put on the screen over the controls as Qt has them.
        ASSERT_TRUE(test::WaitFor(
            [&] {
                return !panel->findChild<QObject*>("zunFrameWatch", Qt::FindDirectChildrenOnly) &&
                       panel->frameGeometry() != panel->geometry() &&
                       panel->frameGeometry() == MeasuredFrame(panel);
            },
            60000))
            << "frame " << Text(panel->frameGeometry()) << ", on the server " << Text(MeasuredFrame(panel));
        auto* area = panel->findChild<QScrollArea*>();
        ASSERT_NE(area, nullptr);
        column = area->verticalScrollBar();
        panel->windowHandle()->installEventFilter(&wheels);
        values = Values(panel, *view);
        for (QComboBox* c : panel->findChildren<QComboBox*>())
            QObject::connect(c, &QComboBox::currentIndexChanged, [this] { ++changes; });
        for (QAbstractSlider* a : panel->findChildren<QAbstractSlider*>())
            if (!qobject_cast<QScrollBar*>(a))
                QObject::connect(a, &QAbstractSlider::valueChanged, [this] { ++changes; });
    }

    // Rests the pointer at `at` on the screen and turns the wheel by `notches` (positive: towards
    // the user, which scrolls down), then waits until the panel has had them all.
    void Turn(QPoint at, int notches) {
        const int before = wheels.count;
        const QString x = QString::number(at.x()), y = QString::number(at.y());
        ASSERT_EQ(QProcess::execute("xdotool", {"mousemove", x, y}), 0);
        ASSERT_EQ(QProcess::execute("xdotool", {"click", "--repeat", QString::number(std::abs(notches)),
                                                "--delay", "30", notches > 0 ? "5" : "4"}),
                  0);
        ASSERT_TRUE(test::WaitFor([&] { return wheels.count >= before + std::abs(notches); }))
            << wheels.count - before << " of " << std::abs(notches) << " notches reached the panel";
        ASSERT_EQ(changes, 0) << "after " << notches << " notches at " << at.x() << "," << at.y();
        ASSERT_EQ(Values(panel, *view), values)
            << "after " << notches << " notches at " << at.x() << "," << at.y();
    }
    QPoint CentreOf(const QWidget* w) const { return w->mapToGlobal(w->rect().center()); }
};

}  // namespace

TEST_F(PanelDesktop, TheWheelOverTheControlPanelScrollsItAndChangesNoSetting) {
    // The column is longer than the screen is high.
    std::cout << "[ measured ] panel " << Text(MeasuredFrame(panel)) << ", column scrolls by "
              << column->maximum() << " px\n";
    ASSERT_GT(column->maximum(), 0);
    ASSERT_EQ(view->MonitorIndex(), -1);
    const std::vector<QComboBox*> combos = {panel->shaderList(), panel->screenList()};
    for (QComboBox* combo : combos) {
        SCOPED_TRACE(combo->currentText().toStdString());
        // Over the box: the column scrolls to its end and back.
        column->setValue(0);
        ASSERT_NO_FATAL_FAILURE(Turn(CentreOf(combo), 6));
        EXPECT_EQ(column->value(), column->maximum());
        ASSERT_NO_FATAL_FAILURE(Turn(CentreOf(combo), -6));
        EXPECT_EQ(column->value(), 0);
        // The pointer still where the box will be once the column has scrolled: the first notch
        // scrolls, the box slides under the pointer, and the next notches come over it.
        column->setValue(column->maximum());
        const QPoint below = CentreOf(combo);
        column->setValue(0);
        ASSERT_NO_FATAL_FAILURE(Turn(below, 8));
        EXPECT_EQ(column->value(), column->maximum());
        const QWidget* under = panel->childAt(panel->mapFromGlobal(below));
        EXPECT_TRUE(under == combo || combo->isAncestorOf(under));
        column->setValue(0);
        const QPoint above = CentreOf(combo);
        column->setValue(column->maximum());
        ASSERT_NO_FATAL_FAILURE(Turn(above, -8));
        EXPECT_EQ(column->value(), 0);
    }
    // Anywhere down the column, a few notches each way.
    for (int y = 8; y < panel->height(); y += 40) {
        const QPoint at = panel->mapToGlobal(QPoint(panel->width() / 2, y));
        ASSERT_NO_FATAL_FAILURE(Turn(at, 3));
        ASSERT_NO_FATAL_FAILURE(Turn(at, -3));
    }
    EXPECT_EQ(view->MonitorIndex(), -1);
    EXPECT_EQ(view->FullScreenPopup(), nullptr);
}

int main(int argc, char** argv) {
    // A laptop's screen: the panel's column does not fit it and scrolls.
    return zun::test::DesktopTestMain(argc, argv, "1366x768x24");
}
