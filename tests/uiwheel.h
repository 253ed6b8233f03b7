#pragma once
// Mouse-wheel notches for the widget tests, delivered as the window system delivers them.

#include <QApplication>
#include <QSpontaneKeyEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <cstdlib>

namespace zun::test {

// Notches at `at` in `over` (positive: towards the user, which scrolls down), handed to the
// window, which gives each to the widget under the pointer and, while it is ignored, on up the
// widget tree. Straight to notify(): sendEvent() would mark the events as the program's own,
// which Qt gives to the one widget they are sent to and to no other.
inline void WheelNotches(QWidget* over, QPoint at, int notches) {
    QWidget* top = over->window();
    const QPointF local = over->mapTo(top, at);
    const QPointF global = over->mapToGlobal(at);
    const QPoint delta(0, notches > 0 ? -120 : 120);
    for (int i = 0; i < std::abs(notches); ++i) {
        QWheelEvent e(local, global, QPoint(), delta, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&e);
        QApplication::instance()->notify(top->windowHandle(), &e);
    }
}

}  // namespace zun::test
