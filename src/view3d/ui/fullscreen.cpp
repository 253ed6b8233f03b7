#include "view3d/ui/fullscreen.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace zun {

FullScreenWindow::FullScreenWindow(const ScreenInfo& screen, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint), screen_(screen) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setWindowTitle("Zun");
    SetFullHeight(false);
}

bool FullScreenWindow::IsFullHeight() const {
    return height() == screen_.bottom - screen_.top;
}

void FullScreenWindow::SetFullHeight(bool full) {
    // One pixel short of the screen lets the control panel show above it.
    const PopupRect r = FullScreenPopupRect(screen_);
    setGeometry(r.x, r.y, r.width, full ? r.height + 1 : r.height);
}

void FullScreenWindow::Host(QWidget* view) {
    layout()->addWidget(view);
    view->show();
}

void FullScreenWindow::keyPressEvent(QKeyEvent* e) {
    // Enter and Escape never close the window by themselves: Escape is the view's, on key-up.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

}  // namespace zun
