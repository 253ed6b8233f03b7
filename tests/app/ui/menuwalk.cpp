#include "menuwalk.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>

#include "guitest.h"

namespace zun::test {
namespace {

constexpr int kPollMs = 20;

// One opening of the menu, as its watcher sees it.
struct Attempt {
    QStringList path;
    QPointer<QMenu> root;     // the menu this opening showed
    QPointer<QMenu> current;  // the submenu whose turn it is
    bool chosen = false;
    bool shown = false;   // an empty path: the menu is shown and active
    bool failed = false;  // an entry is missing or disabled: opening again is no use
    bool focusLeft = false;
    bool menuShown = false;  // also one that closed before the watcher saw it
    std::chrono::steady_clock::time_point end;
    std::string error;
    bool Done() const { return chosen || shown || failed; }
};

// Shown, drawn on the screen, the popup that takes the keys, and in a program that has the focus.
bool ShownAndActive(QMenu* m) {
    return m->isVisible() && m->windowHandle() && m->windowHandle()->isExposed() &&
           QApplication::activePopupWidget() == m &&
           QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void CloseMenus() {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

void Watch(const std::shared_ptr<Attempt>& a, QObject* context);

// The menu is shown and active: the next entry of the path is made current and its key pressed.
void Press(const std::shared_ptr<Attempt>& a, QObject* context, QMenu* m) {
    if (a->path.isEmpty()) {
        a->shown = true;
        return;
    }
    const QString text = a->path.takeFirst();
    QAction* hit = nullptr;
    for (QAction* action : m->actions())
        if (action->text() == text) hit = action;
    if (!hit || !hit->isEnabled() || (!a->path.isEmpty() && !hit->menu())) {
        a->failed = true;
        a->error = '"' + text.toStdString() + (hit ? "\" is disabled or has no submenu" : "\" is missing");
        CloseMenus();
        return;
    }
    m->setActiveAction(hit);
    if (a->path.isEmpty()) {
        a->chosen = true;
        QTest::keyClick(m, Qt::Key_Return);
        return;
    }
    a->current = hit->menu();
    QTimer::singleShot(kPollMs, context, [a, context] { Watch(a, context); });
    QTest::keyClick(m, Qt::Key_Right);
}

// Waits for the menu whose turn it is (the first menu to become the active popup, then each
// submenu) to be shown and active, with every event the window system has sent taken in first: a
// focus change still on its way would close it under the key. Ends once the menus have closed.
void Watch(const std::shared_ptr<Attempt>& a, QObject* context) {
    if (a->Done()) return;
    if (std::chrono::steady_clock::now() > a->end) {
        a->failed = true;
        a->error = "the menu was not shown and active within the time";
        CloseMenus();
        return;
    }
    QMenu* m = a->root ? a->current.data() : qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (a->root && (!m || !a->root->isVisible())) return;
    if (m && m->isVisible()) {
        QGuiApplication::sync();
        if (ShownAndActive(m)) {
            if (!a->root) a->root = a->current = m;
            Press(a, context, m);
            return;
        }
    }
    QTimer::singleShot(kPollMs, context, [a, context] { Watch(a, context); });
}

// The watcher's context for one opening; it notes every menu shown meanwhile.
class Opening : public QObject {
public:
    explicit Opening(std::shared_ptr<Attempt> a) : a_(std::move(a)) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && qobject_cast<QMenu*>(o)) a_->menuShown = true;
        return false;
    }

private:
    std::shared_ptr<Attempt> a_;
};

}  // namespace

bool SettleFor(QWidget* owner, int deadlineMs) {
    QElapsedTimer clock;
    clock.start();
    QGuiApplication::sync();
    if (!WaitFor([] { return QApplication::activePopupWidget() == nullptr; }, deadlineMs)) return false;
    QWidget* window = owner->window();
    if (!window->isActiveWindow()) window->activateWindow();
    return WaitFor(
        [window] {
            QGuiApplication::sync();
            return window->isActiveWindow() && QApplication::activePopupWidget() == nullptr;
        },
        std::max(0, deadlineMs - static_cast<int>(clock.elapsed())));
}

MenuWalk ChooseFromMenu(QWidget* owner, const std::function<void()>& open, const QStringList& path,
                        int deadlineMs) {
    MenuWalk walk;
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return std::max(0, deadlineMs - static_cast<int>(clock.elapsed())); };
    const std::string name = path.isEmpty() ? std::string("the menu") : path.join(" > ").toStdString();
    // The openings the focus took away, so that a walk that gives up at its deadline for another
    // reason still tells what it met before: the deadline may pass at any point of an opening.
    int focusLosses = 0;
    const auto gaveUp = [&](std::string why) {
        if (focusLosses > 0)
            why += " after the focus left the program " + std::to_string(focusLosses) + " times";
        walk.error = std::move(why);
        return walk;
    };
    const auto focusGone = [&] {
        walk.error = "the focus left the program each time before " + name + " was chosen (" +
                     std::to_string(walk.attempts) + " times)";
        return walk;
    };
    while (true) {
        const bool settled = SettleFor(owner, left());
        // The window got the focus back only at or after the deadline: no opening starts then.
        if (walk.attempts > 0 && left() == 0) return focusGone();
        if (!settled) return gaveUp("the window did not become active to open " + name);
        auto a = std::make_shared<Attempt>();
        a->path = path;
        a->end = std::chrono::steady_clock::now() + std::chrono::milliseconds(left());
        // The watcher and the focus tracking end with this opening.
        Opening context(a);
        // Opening hands the focus to the popup; any other move while the menu is open takes it
        // away from the menu.
        QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, &context, [a](QWindow* w) {
            if ((!w || w->type() != Qt::Popup) && !a->Done()) a->focusLeft = true;
        });
        QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, &context,
                         [a](Qt::ApplicationState s) {
                             if (s != Qt::ApplicationActive && !a->Done()) a->focusLeft = true;
                         });
        ++walk.attempts;
        QTimer::singleShot(kPollMs, &context, [p = a, c = &context] { Watch(p, c); });
        open();
        // popup() returns at once; exec() once the menus are closed.
        WaitFor([&] { return a->Done() || QApplication::activePopupWidget() == nullptr; }, left());
        if (a->chosen || a->shown) {
            walk.chosen = true;
            return walk;
        }
        if (a->focusLeft) ++focusLosses;
        if (a->failed) return gaveUp(a->error + " (" + name + ")");
        if (QApplication::activePopupWidget()) {
            CloseMenus();
            return gaveUp("the menu was not shown and active within the time for " + name);
        }
        if (!a->focusLeft)
            return gaveUp(a->menuShown ? "the menu closed by itself before " + name + " was chosen"
                                       : "no menu opened for " + name);
        if (left() == 0) return focusGone();
    }
}

}  // namespace zun::test
