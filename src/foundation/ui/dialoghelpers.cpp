#include "foundation/ui/dialoghelpers.h"

#include <algorithm>
#include <atomic>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>

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
WindowRect RectOf(const QWidget* w) {
    const QRect g = w->frameGeometry();
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}
}  // namespace

void CenterWindowInMainFrame(QWidget* window, int dx, int dy) {
    if (!window) return;
    if (QWidget* main = MainWindow(); main && main != window) {
        const WindowPoint p = CenterInMainFrame(RectOf(main), window->width(), window->height(), dx, dy);
        window->move(p.x, p.y);
    }
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
        rects.push_back(RectOf(p));
    }
    // The screen that holds the window's owner, without its panels.
    QWidget* main = MainWindow();
    QWidget* holder = anchor ? anchor : main;
    QScreen* screen = holder && holder->screen() ? holder->screen() : QGuiApplication::primaryScreen();
    const QRect s = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const WindowRect screenRect{s.left(), s.top(), s.left() + s.width(), s.top() + s.height()};
    const int caption = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    // Its laid-out size and its frame are known once it is shown; a window larger than the screen
    // shrinks to it.
    window->show();
    QSize size = window->frameGeometry().size();
    const QSize over(std::max(0, size.width() - s.width()), std::max(0, size.height() - s.height()));
    if (over.width() > 0 || over.height() > 0) {
        window->resize(window->size() - over);
        size = window->frameGeometry().size();
    }
    WindowRect a;
    if (anchor) a = RectOf(anchor);
    const WindowPoint at = PlaceFloatingWindow(rects, anchor ? &a : nullptr, dx, dy, screenRect,
                                               main && main != window ? RectOf(main) : screenRect, caption,
                                               size.width(), size.height());
    window->move(at.x, at.y);
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
