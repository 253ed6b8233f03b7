#include "foundation/ui/inplaceedit.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QStyle>
#include <QTimer>

namespace zun {

namespace {

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Keys the editor keeps from the dialog's and the window's shortcuts.
bool KeepsKey(const QKeyEvent* k, bool edit) {
    if (IsEnter(k->key()) || k->key() == Qt::Key_Escape) return true;
    return edit && (k->key() == Qt::Key_Delete || (k->modifiers() & Qt::ControlModifier));
}

}  // namespace

// ---- one-line edit

InPlaceEdit::InPlaceEdit(int row, int column, const QString& initialText, QAbstractItemView* view,
                         const QRect& rect, Qt::Alignment alignment)
    : QLineEdit(view->viewport()), row_(row), column_(column), view_(view) {
    setFont(view->font());
    setAlignment(alignment | Qt::AlignVCenter);
    setGeometry(rect);
    setText(initialText);
    show();
    setFocus(Qt::OtherFocusReason);
    selectAll();
    connect(this, &QLineEdit::textEdited, this, [this] { Widen(); });
}

bool InPlaceEdit::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride && KeepsKey(static_cast<QKeyEvent*>(e), true)) {
        e->accept();
        return true;
    }
    return QLineEdit::event(e);
}

void InPlaceEdit::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape || IsEnter(e->key())) {
        if (e->key() == Qt::Key_Escape) cancelled_ = true;
        e->accept();
        // The end comes with the loss of the focus, as when the user clicks elsewhere.
        if (view_)
            view_->setFocus(Qt::OtherFocusReason);
        else
            End();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void InPlaceEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    // The edit's own context menu takes the focus for a moment: the edit goes on.
    if (e->reason() == Qt::PopupFocusReason) return;
    End();
}

void InPlaceEdit::Widen() {
    // The text, the 5 pixels of room, and the edit's own frame and margins.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int needed = fontMetrics().horizontalAdvance(text()) + 5 + 2 * frame + 4;
    if (needed <= width() || !parentWidget()) return;
    const int right = std::min(x() + needed, parentWidget()->width());
    if (right <= x() + width()) return;
    setGeometry(x(), y(), right - x(), height());
}

void InPlaceEdit::End() {
    if (ended_) return;
    ended_ = true;
    Q_EMIT editEnded(row_, column_, cancelled_, cancelled_ ? QString() : text());
    hide();
    deleteLater();
}

// ---- drop-down list

InPlaceCombo::InPlaceCombo(int row, int column, const QStringList& entries, QAbstractItemView* view,
                           const QRect& rect)
    : QComboBox(view->viewport()), row_(row), column_(column), view_(view) {
    setFont(view->font());
    setGeometry(rect);
    addItems(entries);
    setCurrentIndex(-1);
    this->view()->installEventFilter(this);
    show();
    setFocus(Qt::OtherFocusReason);
}

bool InPlaceCombo::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride && KeepsKey(static_cast<QKeyEvent*>(e), false)) {
        e->accept();
        return true;
    }
    return QComboBox::event(e);
}

bool InPlaceCombo::eventFilter(QObject* watched, QEvent* e) {
    // Escape in the open list cancels the edit instead of only closing the list.
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape)
        cancelled_ = true;
    return QComboBox::eventFilter(watched, e);
}

void InPlaceCombo::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape || IsEnter(e->key())) {
        if (e->key() == Qt::Key_Escape) cancelled_ = true;
        e->accept();
        if (view_)
            view_->setFocus(Qt::OtherFocusReason);
        else
            End();
        return;
    }
    QComboBox::keyPressEvent(e);
}

void InPlaceCombo::hidePopup() {
    QComboBox::hidePopup();
    // Closing the list ends the edit.
    QTimer::singleShot(0, this, [this] {
        if (view_)
            view_->setFocus(Qt::OtherFocusReason);
        else
            End();
    });
}

void InPlaceCombo::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
    if (e->reason() == Qt::PopupFocusReason) return;
    End();
}

void InPlaceCombo::End() {
    if (ended_) return;
    ended_ = true;
    const int index = currentIndex();
    if (index != -1)
        Q_EMIT editEnded(row_, column_, cancelled_, cancelled_ ? QString() : currentText(), itemData(index));
    hide();
    deleteLater();
}

}  // namespace zun
