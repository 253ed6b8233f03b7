#include "foundation/ui/dialoghelpers.h"

#include "foundation/ui/wheelguard.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>

#include "foundation/pathutil.h"

namespace zun {

std::string GetDlgItemString(const QWidget* control) {
    if (!control) return {};
    QString t;
    if (auto* e = qobject_cast<const QLineEdit*>(control))
        t = e->text();
    else if (auto* p = qobject_cast<const QPlainTextEdit*>(control))
        t = p->toPlainText();
    else if (auto* x = qobject_cast<const QTextEdit*>(control))
        t = x->toPlainText();
    else if (auto* c = qobject_cast<const QComboBox*>(control))
        t = c->currentText();
    else if (auto* l = qobject_cast<const QLabel*>(control))
        t = l->text();
    else if (auto* b = qobject_cast<const QAbstractButton*>(control))
        t = b->text();
    return t.toStdString();
}

int ReadDlgItemInt(const QWidget* control, int* value) {
    return control ? ReadTextInt(GetDlgItemString(control), value) : -1;
}
int ReadDlgItemUInt64(const QWidget* control, std::uint64_t* value) {
    return control ? ReadTextUInt64(GetDlgItemString(control), value) : -1;
}
int ReadDlgItemInt64(const QWidget* control, std::int64_t* value) {
    return control ? ReadTextInt64(GetDlgItemString(control), value) : -1;
}
int ReadDlgItemDouble(const QWidget* control, double* value) {
    return control ? ReadTextDouble(GetDlgItemString(control), value) : -1;
}

bool IsDlgItemChecked(const QWidget* control) {
    auto* b = qobject_cast<const QAbstractButton*>(control);
    return b && b->isCheckable() && b->isChecked();
}

void SetDlgItemString(QWidget* control, const std::string& text) {
    if (!control) return;
    const QString t = QString::fromStdString(text);
    if (auto* e = qobject_cast<QLineEdit*>(control))
        e->setText(t);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(control))
        p->setPlainText(t);
    else if (auto* x = qobject_cast<QTextEdit*>(control))
        x->setPlainText(t);
    else if (auto* c = qobject_cast<QComboBox*>(control))
        c->setCurrentText(t);
    else if (auto* l = qobject_cast<QLabel*>(control))
        l->setText(t);
    else if (auto* b = qobject_cast<QAbstractButton*>(control))
        b->setText(t);
}

void SetDlgItemInt32(QWidget* control, int value) {
    SetDlgItemString(control, FormatInt(value, "%d"));
}

void SetDlgItemReal(QWidget* control, float value, int precision, const char* format) {
    SetDlgItemString(control, FormatReal(value, precision, format));
}

void EnableChildWindows(QWidget* window, bool enable) {
    if (!window) return;
    for (QObject* o : window->children()) {
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow()) {
            w->setEnabled(enable);
            EnableChildWindows(w, enable);
        }
    }
}

void EnableWindowTree(QWidget* window, bool enable) {
    if (!window) return;
    window->setEnabled(enable);
    EnableChildWindows(window, enable);
}

std::string LineEditField::GetText() const {
    return edit_ ? edit_->text().toStdString() : std::string();
}

void LineEditField::SetText(const std::string& text) {
    if (edit_) edit_->setText(QString::fromStdString(text));
}

QWidget* MainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w) && w->isVisible()) return w;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w)) return w;
    return nullptr;
}

namespace {

WindowRect RectOf(const QRect& g) {
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

// A window the window manager decorates: a title bar and a border.
bool Decorated(const QWidget* w) {
    const Qt::WindowType type = w->windowType();
    return w->isWindow() && !(w->windowFlags() & Qt::FramelessWindowHint) && type != Qt::Popup &&
           type != Qt::ToolTip && type != Qt::SplashScreen && type != Qt::Desktop;
}

// Under load Qt may keep a frame of no size for a window the window manager has framed: that is
// no frame to learn margins from.
bool Framed(const QWidget* w) {
    if (!w->isVisible()) return false;
    const QRect frame = w->frameGeometry();
    return frame != w->geometry() && frame.contains(w->geometry());
}

// The window's own frame, once it is on the screen. Not before: a window shown but not yet mapped
// has no frame to read, and what Qt reads then (none, or the difference between the size asked
// for and the size the server has) it may keep after the window manager has framed the window.
bool OwnFrameKnown(const QWidget* w) {
    return w->testAttribute(Qt::WA_Mapped) && Framed(w);
}

QMargins MarginsOf(const QWidget* w) {
    const QRect f = w->frameGeometry();
    const QRect g = w->geometry();
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}

// The client rectangle that keeps the whole frame on the screen, as near to `client` as it can.
QRect FitOnScreen(QPoint client, QSize size, const QMargins& m, const QRect& screen) {
    const QSize frame(size.width() + m.left() + m.right(), size.height() + m.top() + m.bottom());
    const WindowPoint at = KeepOnScreen({client.x() - m.left(), client.y() - m.top()}, frame.width(),
                                        frame.height(), RectOf(screen));
    return {QPoint(at.x + m.left(), at.y + m.top()), size};
}

void SetClientGeometry(QWidget* window, QPoint client, const QMargins& m, const QRect& screen) {
    // A window larger than the screen shrinks to it.
    const QSize room(std::max(1, screen.width() - m.left() - m.right()),
                     std::max(1, screen.height() - m.top() - m.bottom()));
    const QSize size = window->size().boundedTo(room);
    // The client geometry, not move(): move() places the frame's corner, and before the window
    // manager has framed the window the frame is taken for the client, so the title bar of a
    // window put at the screen's top edge would land above it.
    window->setGeometry(FitOnScreen(client, size, m, screen));
}

// Until the window manager has framed the window, its frame is only an estimate: once the real
// frame is known the window is put back wholly on the screen if it is not. The watch ends then,
// or after a second on the screen without a frame (no window manager).
class FrameWatch : public QObject {
public:
    static constexpr const char* kName = "zunFrameWatch";
    FrameWatch(QWidget* window, QPointer<const QWidget> holder)
        : QObject(window), window_(window), holder_(std::move(holder)) {
        setObjectName(kName);
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Check(); });
        timer_.start();
    }

private:
    void Check() {
        if (!window_->isVisible()) return;
        if (Framed(window_)) {
            const QRect screen = PlacementScreen(holder_);
            if (!screen.contains(window_->frameGeometry()))
                SetClientGeometry(window_, window_->geometry().topLeft(), MarginsOf(window_), screen);
            deleteLater();
        } else if (++ticks_ > 50) {
            deleteLater();
        }
    }
    QWidget* window_;
    QPointer<const QWidget> holder_;
    QTimer timer_;
    int ticks_ = 0;
};

// The page's whole size as the window's layout asks for it: a plain scroll area asks for no more
// than a few dozen lines of text, and may keep the page size it first read.
class ScrollingPage : public QScrollArea {
public:
    explicit ScrollingPage(QWidget* parent) : QScrollArea(parent) {
        setObjectName("scrollingPage");
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
    }
    QSize sizeHint() const override {
        const QWidget* page = widget();
        if (!page) return QScrollArea::sizeHint();
        return page->sizeHint().expandedTo(page->minimumSizeHint()) + Border() +
               QSize(verticalScrollBar()->sizeHint().width(), 0);
    }
    QSize minimumSizeHint() const override {
        const QWidget* page = widget();
        if (!page) return QScrollArea::minimumSizeHint();
        // As wide as the page at its least, so only its height scrolls; a few lines high.
        const QSize least = page->minimumSizeHint();
        return QSize(least.width() + verticalScrollBar()->sizeHint().width(),
                     std::min(least.height(), 6 * fontMetrics().height())) +
               Border();
    }

private:
    QSize Border() const { return QSize(2 * frameWidth(), 2 * frameWidth()); }
};

// True when a window's title bar at `at` would cover part of an open window's.
bool TitleBarsMeet(const std::vector<WindowRect>& open, WindowPoint at, int width, int titleHeight) {
    for (const WindowRect& r : open)
        if (std::abs(r.top - at.y) < titleHeight && r.left < at.x + width && at.x < r.right) return true;
    return false;
}

}  // namespace

QRect PlacementScreen(const QWidget* holder) {
    const QWidget* h = holder ? holder : MainWindow();
    const QScreen* screen = h && h->screen() ? h->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
}

QMargins WindowFrameMargins(const QWidget* window) {
    if (!window) return {};
    if (OwnFrameKnown(window)) return MarginsOf(window);
    if (!Decorated(window)) return {};
    const QWidget* main = MainWindow();
    if (main && main != window && Decorated(main) && Framed(main)) return MarginsOf(main);
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != window && Decorated(w) && Framed(w)) return MarginsOf(w);
    return {};
}

QRect WindowFrameRect(const QWidget* window) {
    if (!window) return {};
    return window->geometry().marginsAdded(WindowFrameMargins(window));
}

void PrepareWindowSize(QWidget* window) {
    if (!window || window->isVisible()) return;
    window->ensurePolished();
    if (QLayout* layout = window->layout()) layout->activate();
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    else
        // A size set before the layout knew its contents grows to what they need, as it would at
        // the first show, after the window had been placed.
        window->resize(
            window->size().expandedTo(window->minimumSize()).expandedTo(window->minimumSizeHint()));
}

QSize ClientRoomOnScreen(const QWidget* window) {
    if (!window) return {};
    const QWidget* parent = window->parentWidget();
    const QRect screen = PlacementScreen(parent ? parent->window() : nullptr);
    QMargins m = WindowFrameMargins(window);
    if (m.isNull() && Decorated(window)) {
        // Nothing framed yet to learn the frame from: a title bar and a thin border, a little
        // more than the usual window manager's frame.
        const int border = 4;
        const int title = std::max(window->style()->pixelMetric(QStyle::PM_TitleBarHeight), 24);
        m = QMargins(border, title + border, border, border);
    }
    return screen.size().shrunkBy(m).expandedTo(QSize(1, 1));
}

QSize FitClientSize(const QWidget* window, QSize wanted) {
    return wanted.boundedTo(ClientRoomOnScreen(window));
}

void GrowWindowOnScreen(QWidget* window, QSize wanted) {
    if (!window) return;
    const QSize room = ClientRoomOnScreen(window);
    if (const QSize least = window->minimumSize().boundedTo(room); least != window->minimumSize())
        window->setMinimumSize(least);
    const QSize size = window->size().expandedTo(wanted).boundedTo(room).expandedTo(window->minimumSize());
    // The screen the room was measured on: that of the parent's window, else the main window's.
    const QWidget* parent = window->parentWidget();
    const QWidget* holder = parent ? parent->window() : nullptr;
    if (!window->isVisible() || !window->testAttribute(Qt::WA_Mapped)) {
        // Not on the screen yet: it is placed as it is shown (a dialog centres itself over its
        // parent unless moved), and put back on the screen once framed if it is not.
        window->resize(size);
        if (window->isVisible()) KeepFrameOnScreen(window, holder);
        return;
    }
    const QRect screen = PlacementScreen(holder);
    const QRect at = FitOnScreen(window->geometry().topLeft(), size, WindowFrameMargins(window), screen);
    if (at != window->geometry()) window->setGeometry(at);
    if (!Framed(window)) KeepFrameOnScreen(window, holder);
}

QScrollArea* MakeScrollingPage(QWidget* page, QWidget* parent) {
    auto* area = new ScrollingPage(parent);
    area->setWidget(page);
    ScrollAreaTakesWheel(area);
    return area;
}

void UpdateLayoutsNow(QWidget* page) {
    if (!page) return;
    // Children before their parents (the reverse of the depth-first order findChildren keeps),
    // each taking its rows' sizes before its parent asks for its own.
    QList<QWidget*> inner = page->findChildren<QWidget*>();
    std::reverse(inner.begin(), inner.end());
    inner.push_back(page);
    for (QWidget* w : inner)
        if (QLayout* l = w->layout(); l && !w->isWindow()) {
            l->invalidate();
            l->activate();
            w->updateGeometry();
        }
}

void PlaceWindowOnScreen(QWidget* window, QPoint client, const QWidget* holder) {
    if (!window) return;
    PrepareWindowSize(window);
    SetClientGeometry(window, client, WindowFrameMargins(window), PlacementScreen(holder));
    if (!Framed(window)) KeepFrameOnScreen(window, holder);
}

void KeepFrameOnScreen(QWidget* window, const QWidget* holder) {
    // By name: the watch has no meta-object of its own for a typed search to tell it apart.
    if (window && !window->findChild<QObject*>(FrameWatch::kName, Qt::FindDirectChildrenOnly))
        new FrameWatch(window, holder);
}

void PlaceWindowFrame(QWidget* window, const QRect& frame, const QWidget* holder) {
    if (!window) return;
    const QMargins m = WindowFrameMargins(window);
    window->resize(frame.marginsRemoved(m).size().expandedTo(QSize(1, 1)));
    PlaceWindowOnScreen(window, frame.topLeft() + QPoint(m.left(), m.top()), holder);
}

void CenterWindowOver(QWidget* window, const QWidget* over, int dx, int dy) {
    if (!window) return;
    // A window not on the screen (a dialog a controller drives unseen) has no place to centre
    // over: the main window stands in for it, else the screen.
    const QWidget* holder = over ? over->window() : nullptr;
    if (holder && !holder->isVisible()) holder = MainWindow();
    if (holder == window || (holder && !holder->isVisible())) holder = nullptr;
    PrepareWindowSize(window);
    // Frame over frame: the window manager frames both alike, so the client areas are centred on
    // each other too (the client over the other window's frame would sit half a title bar high).
    const QMargins m = WindowFrameMargins(window);
    const QSize frame = window->size().grownBy(m);
    const QRect target = holder ? WindowFrameRect(holder) : PlacementScreen(nullptr);
    const WindowPoint p = CenterInMainFrame(RectOf(target), frame.width(), frame.height(), dx, dy);
    PlaceWindowOnScreen(window, QPoint(p.x + m.left(), p.y + m.top()), holder);
}

void CenterWindowInMainFrame(QWidget* window, int dx, int dy) {
    if (!window) return;
    if (QWidget* main = MainWindow(); main && main != window) CenterWindowOver(window, main, dx, dy);
    window->show();
    window->raise();
}

void CascadeFloatingWindow(std::vector<QPointer<QWidget>>& open, QWidget* window, QWidget* anchor, int dx,
                           int dy) {
    if (!window) return;
    std::erase_if(open, [](const QPointer<QWidget>& p) { return p.isNull(); });
    std::vector<WindowRect> rects;
    for (const auto& p : open) {
        if (p == window) {
            window->raise();
            return;
        }
        rects.push_back(RectOf(WindowFrameRect(p)));
    }
    QWidget* main = MainWindow();
    const QRect s = PlacementScreen(anchor);
    const int caption = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    PrepareWindowSize(window);
    const QMargins m = WindowFrameMargins(window);
    const QSize frame = window->size().grownBy(m);
    WindowRect a;
    if (anchor) a = RectOf(WindowFrameRect(anchor));
    WindowPoint at = PlaceFloatingWindow(rects, anchor ? &a : nullptr, dx, dy, RectOf(s),
                                         main && main != window ? RectOf(WindowFrameRect(main)) : RectOf(s),
                                         caption, frame.width(), frame.height());
    // A window wider or taller than the room the cascade leaves is pushed back by the screen's edge,
    // and may land with its title bar over one already open: it steps on from the last window.
    const int step = std::max(caption, m.top());
    if (!rects.empty() && TitleBarsMeet(rects, at, frame.width(), step)) {
        const WindowRect& last = rects.back();
        at = KeepOnScreen({last.left + step / 2, last.top + step}, frame.width(), frame.height(), RectOf(s));
    }
    PlaceWindowOnScreen(window, QPoint(at.x + m.left(), at.y + m.top()), anchor);
    window->show();
    window->raise();
    open.emplace_back(window);
}

QString FilterSuffix(const QString& filter) {
    const qsizetype open = filter.indexOf('(');
    const QString patterns = open < 0 ? filter : filter.mid(open + 1, filter.indexOf(')', open) - open - 1);
    const QString first = patterns.simplified().section(' ', 0, 0);
    if (!first.startsWith("*.")) return {};
    const QString suffix = first.mid(2);
    return suffix.contains('*') || suffix.contains('?') ? QString() : suffix;
}

QString GetSaveFileName(QWidget* parent, const QString& title, const QString& start, const QString& filters,
                        QString* selected) {
    QFileDialog dialog(parent, title, start, filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (selected && !selected->isEmpty()) dialog.selectNameFilter(*selected);
    dialog.setDefaultSuffix(FilterSuffix(dialog.selectedNameFilter()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) { dialog.setDefaultSuffix(FilterSuffix(filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (selected) *selected = dialog.selectedNameFilter();
    return dialog.selectedFiles().front();
}

bool BrowseForFolder(const std::string& title, QWidget* owner, std::string& folder) {
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString::fromStdString(title),
                                                             QString::fromStdString(folder));
    if (chosen.isEmpty()) return false;
    folder = chosen.toStdString();
    return true;
}

namespace {
std::atomic<bool> g_quitting{false};
}

void InstallQtMessagePump() {
    if (auto* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { g_quitting = true; });
    SetMessagePump([] {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return g_quitting.load() ? 1 : 0;
    });
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

void WaitCursor::Restore() {
    if (QApplication::overrideCursor()) QApplication::changeOverrideCursor(Qt::WaitCursor);
}

}  // namespace zun
