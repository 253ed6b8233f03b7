#pragma once
// The borderless window that shows a 3-D view over a whole screen. The view itself moves into it
// (its drawing surface is made anew there) and back into its document window afterwards, so
// navigation and keys work as in the window.

#include <QWidget>

#include "view3d/viewcontrols.h"

namespace zun {

class FullScreenWindow : public QWidget {
    Q_OBJECT
public:
    // owner: the widget whose destruction takes the window (and a view inside it) along.
    FullScreenWindow(const ScreenInfo& screen, QWidget* owner);

    const ScreenInfo& Screen() const { return screen_; }
    // The window is as high as its screen (F11 without the control panel).
    bool IsFullHeight() const;
    void SetFullHeight(bool full);
    void Host(QWidget* view);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    ScreenInfo screen_;
};

}  // namespace zun
