#include "script/ui/cmdlineedit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>

namespace zun::script {

CmdLineEdit::CmdLineEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(false);  // undo would rewrite output the model knows nothing of
    setAcceptDrops(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int CmdLineEdit::LineStart() const {
    return document()->lastBlock().position() + static_cast<int>(model_.Prompt().size());
}

void CmdLineEdit::PlaceCaret() {
    QTextCursor c = textCursor();
    c.setPosition(LineStart() + model_.Cursor());
    setTextCursor(c);
}

void CmdLineEdit::Redraw() {
    QTextCursor c(document());
    c.setPosition(LineStart());
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.insertText(QString::fromStdString(model_.Line()));
    PlaceCaret();
}

void CmdLineEdit::Reset() {
    model_.Reset();
    Print("\n" + QString::fromStdString(model_.Prompt()));
}

void CmdLineEdit::Print(const QString& text) {
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertText(text);
    setTextCursor(c);
    ensureCursorVisible();
}

void CmdLineEdit::PasteText(const QString& text) {
    model_.Paste(text.toStdString());
    Redraw();
}

bool CmdLineEdit::Character(const QString& text) {
    if (text.size() != 1) return false;
    const QChar ch = text.at(0);
    if (ch.unicode() < 32 || ch.unicode() > 126) return false;
    return model_.Insert(static_cast<char>(ch.unicode()));
}

void CmdLineEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (event->modifiers() & Qt::ControlModifier) {
        // Only the commands that leave the typed line to the model; cut, undo and the like
        // would edit the output behind its back.
        if (key == Qt::Key_C) copy();
        else if (key == Qt::Key_V) PasteText(QApplication::clipboard()->text());
        else if (key == Qt::Key_U) {
            model_.Clear();
            Redraw();
        } else if (key == Qt::Key_A || key == Qt::Key_Home || key == Qt::Key_End)
            QPlainTextEdit::keyPressEvent(event);
        return;
    }
    PlaceCaret();
    bool redraw = false;
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return;
    case Qt::Key_End: model_.End(); break;
    case Qt::Key_Home: model_.Home(); break;
    case Qt::Key_Left: model_.Left(); break;
    case Qt::Key_Right: model_.Right(); break;
    case Qt::Key_Up: redraw = model_.Up(); break;
    case Qt::Key_Down: redraw = model_.Down(); break;
    case Qt::Key_Delete: redraw = model_.Delete(); break;
    case Qt::Key_Backspace: redraw = model_.Backspace(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        auto entered = model_.Enter();
        if (entered && listener_) listener_(*entered);
        Reset();
        return;
    }
    default: redraw = Character(event->text()); break;
    }
    if (redraw) Redraw();
    else PlaceCaret();
}

void CmdLineEdit::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    QTextCursor c = textCursor();
    c.movePosition(QTextCursor::End);
    setTextCursor(c);
}

void CmdLineEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction("Copy");
    copyAction->setEnabled(textCursor().hasSelection());
    QAction* pasteAction = menu.addAction("Paste");
    const QString clip = QApplication::clipboard()->text();
    pasteAction->setEnabled(!clip.isEmpty());
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == copyAction) copy();
    else if (chosen == pasteAction) PasteText(clip);
}

void CmdLineEdit::insertFromMimeData(const QMimeData* source) {
    // Middle-click and other pastes the base would insert wherever the caret happens to be.
    if (source && source->hasText()) PasteText(source->text());
}

}  // namespace zun::script
