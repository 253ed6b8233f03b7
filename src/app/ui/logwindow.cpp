#include "app/ui/logwindow.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"

namespace zun {

CLogView::CLogView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSize(10);
    setFont(f);
    auto* copyInsert = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert), this);
    copyInsert->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copyInsert, &QShortcut::activated, this, &QPlainTextEdit::copy);
}

void CLogView::AppendText(const std::string& text) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, text] { AppendOnUiThread(text); }, Qt::QueuedConnection);
        return;
    }
    AppendOnUiThread(text);
}

void CLogView::AppendOnUiThread(const std::string& text) {
    if (text.empty()) {
        clear();
        return;
    }
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertText(QString::fromStdString(text));
    ensureCursorVisible();
    moveCursor(QTextCursor::End);
}

void CLogView::SetCaption(const std::string& caption) {
    QWidget* frame = window();
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            frame, [frame, caption] { frame->setWindowTitle(QString::fromStdString(caption)); },
            Qt::QueuedConnection);
        return;
    }
    frame->setWindowTitle(QString::fromStdString(caption));
}

CLogFrame::CLogFrame(CLogger& logger, const std::string& documentName, QWidget* mainWindow)
    : QWidget(mainWindow,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      logger_(logger) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(documentName + ": Log"));
    view_ = new CLogView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect s = screen ? screen->virtualGeometry() : QRect(0, 0, 1280, 800);
    LogRect main{150, 650, 1050, 850};
    if (mainWindow) {
        const QRect g = mainWindow->frameGeometry();
        main = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    }
    LogRect r = logger_.SavedRect();
    // No saved place: the program's usual first place for the log.
    if (r == LogRect{}) r = {150, 650, 1050, 850};
    r = PlaceLogWindow(r, s.width(), s.height(), main);
    // The rectangle is the frame's, as saved; the whole frame stays on the main window's screen.
    PlaceWindowFrame(this, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), mainWindow);
    placed_ = true;
    show();
    logger_.AttachView(view_);
}

CLogFrame::~CLogFrame() {
    logger_.AttachView(nullptr);
}

void CLogFrame::SaveRect() {
    if (!placed_) return;
    // The frame's rectangle, also while the window manager has yet to report it (the window
    // does not move when it does).
    const QRect g = WindowFrameRect(this);
    logger_.SetSavedRect({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
}

void CLogFrame::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    SaveRect();
}

void CLogFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    SaveRect();
}

}  // namespace zun
