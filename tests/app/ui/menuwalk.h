#pragma once
// Choosing from a menu by keyboard as a user does, on a desktop whose window manager and X server
// may lag far behind the program on a busy machine.
//
// Opening a popup moves the keyboard focus to it; when the program sees the focus leave its window
// before it sees the focus arrive at the popup, it takes itself for inactive and closes the
// popup. The popup's late focus events then close the next one opened at once, and so on. So a
// walk starts only once every event the window system has sent is in and the owning window is
// active, and presses each key only once its menu is shown and active. A menu that closes while
// the focus leaves the program is opened again until the deadline; one that closes on its own, or
// lacks an entry, fails at once.

#include <functional>
#include <string>

#include <QStringList>

class QWidget;

namespace zun::test {

struct MenuWalk {
    bool chosen = false;  // every entry of the path was taken (or, for an empty path, the menu
                          // was shown and active and is left open)
    int attempts = 0;     // how many times the menu was opened
    std::string error;    // why not, when not chosen
};

// Waits up to `deadlineMs` for the window system's events to be in, no menu to be open and
// `owner`'s window to be active (asking for it once, as a click would).
bool SettleFor(QWidget* owner, int deadlineMs);

// Opens a menu with `open` and chooses `path` from it: each level's entry is made current, Right
// opens a submenu, Return chooses the last entry. `open` may run the menu's own loop (exec(), as a
// context menu does: it returns once the menus are closed and the choice made) or return at once
// (popup()). With an empty path the menu is only opened and left open once shown and active.
MenuWalk ChooseFromMenu(QWidget* owner, const std::function<void()>& open, const QStringList& path,
                        int deadlineMs = 60000);

}  // namespace zun::test
