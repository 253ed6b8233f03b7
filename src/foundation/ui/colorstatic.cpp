#include "foundation/ui/colorstatic.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>

namespace zun {

QColor ColorFromRef(std::uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

std::uint32_t RefFromColor(const QColor& colour) {
    return static_cast<std::uint32_t>(colour.red()) | (static_cast<std::uint32_t>(colour.green()) << 8) |
           (static_cast<std::uint32_t>(colour.blue()) << 16);
}

ColorStatic::ColorStatic(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(true);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setAlignment(Qt::AlignCenter);
    Apply();
}

void ColorStatic::SetBkColour(std::uint32_t colour) {
    bk_ = colour;
    Apply();
}

void ColorStatic::SetTextColour(std::uint32_t colour) {
    text_ = colour;
    Apply();
}

void ColorStatic::changeEvent(QEvent* e) {
    QLabel::changeEvent(e);
    // The system colours follow a change of the application's palette.
    if (e->type() == QEvent::PaletteChange && (bk_ == kSystemFaceColour || text_ == kSystemFaceColour)) {
        const QPalette app = QPalette();
        const QColor bg = bk_ == kSystemFaceColour ? app.color(QPalette::Button) : ColorFromRef(bk_);
        if (bg != background_) Apply();
    }
}

void ColorStatic::Apply() {
    const QPalette app;
    background_ = bk_ == kSystemFaceColour ? app.color(QPalette::Button) : ColorFromRef(bk_);
    QPalette p = palette();
    p.setColor(QPalette::Window, background_);
    p.setColor(QPalette::WindowText,
               text_ == kSystemFaceColour ? app.color(QPalette::ButtonText) : ColorFromRef(text_));
    setPalette(p);
    update();
}

EditDrop::EditDrop(QWidget* parent) : QPlainTextEdit(parent) {
    setAcceptDrops(true);
}

void EditDrop::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) {
        e->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragEnterEvent(e);
}

void EditDrop::dragMoveEvent(QDragMoveEvent* e) {
    if (e->mimeData()->hasUrls()) {
        e->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragMoveEvent(e);
}

void EditDrop::dropEvent(QDropEvent* e) {
    if (!e->mimeData()->hasUrls()) {
        QPlainTextEdit::dropEvent(e);
        return;
    }
    e->acceptProposedAction();
    ImportDropped(e->mimeData());
}

bool EditDrop::ImportDropped(const QMimeData* data) {
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return false;
    const std::string path = urls.front().toLocalFile().toStdString();
    if (path.size() > 1024 || !importText) return false;
    if (importText(path) != 0) return false;
    setFocus(Qt::OtherFocusReason);
    QTextCursor c = textCursor();
    c.clearSelection();
    setTextCursor(c);
    ensureCursorVisible();
    return true;
}

}  // namespace zun
