#include "plot/ui/usernotesdialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"

namespace zun {

namespace {
bool HasLocalFile(const QMimeData* m) {
    if (!m || !m->hasUrls()) return false;
    for (const QUrl& u : m->urls())
        if (u.isLocalFile()) return true;
    return false;
}
}  // namespace

void NotesEdit::dragEnterEvent(QDragEnterEvent* e) {
    if (HasLocalFile(e->mimeData()))
        e->acceptProposedAction();
    else
        QPlainTextEdit::dragEnterEvent(e);
}

void NotesEdit::dragMoveEvent(QDragMoveEvent* e) {
    if (HasLocalFile(e->mimeData()))
        e->acceptProposedAction();
    else
        QPlainTextEdit::dragMoveEvent(e);
}

void NotesEdit::dropEvent(QDropEvent* e) {
    if (!HasLocalFile(e->mimeData())) return QPlainTextEdit::dropEvent(e);
    for (const QUrl& u : e->mimeData()->urls()) {
        if (!u.isLocalFile()) continue;
        e->acceptProposedAction();
        if (onFileDropped) onFileDropped(u.toLocalFile());
        return;
    }
}

UserNotesDialog::UserNotesDialog(CZunDoc& doc, QWidget* parent)
    : QDialog(parent), doc_(doc), model_(doc, doc.GetPromptSink()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(model_.Title()));
    edit = new NotesEdit(this);
    edit->setAcceptDrops(true);
    importButton = new QPushButton(tr("Import..."), this);
    saveButton = new QPushButton(tr("Save"), this);
    saveAsButton = new QPushButton(tr("Save As..."), this);
    closeButton = new QPushButton(tr("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(importButton);
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(saveAsButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit, 1);
    layout->addLayout(buttons);

    resize(560, 360);
    setMinimumSize(size());
    const auto& r = doc_.notesRect;
    // A size kept from a larger screen is brought within this one.
    if (r[2] - r[0] > 0 && r[3] - r[1] > 0)
        resize(FitClientSize(this, QSize(r[2] - r[0], r[3] - r[1])).expandedTo(minimumSize()));

    connect(edit, &QPlainTextEdit::textChanged, this, [this] {
        if (filling_) return;
        model_.OnEdited(edit->toPlainText().toStdString());
        ShowState();
    });
    edit->onFileDropped = [this](const QString& path) { Drop(path); };
    connect(importButton, &QPushButton::clicked, this, &UserNotesDialog::Import);
    connect(saveButton, &QPushButton::clicked, this, [this] {
        model_.Save();
        ShowState();
        edit->setFocus();
    });
    connect(saveAsButton, &QPushButton::clicked, this, &UserNotesDialog::SaveAs);
    connect(closeButton, &QPushButton::clicked, this, &UserNotesDialog::close);
    ShowText();
    ShowState();
}

UserNotesDialog::~UserNotesDialog() {
    doc_.notesRect = {0, 0, width(), height()};
}

void UserNotesDialog::ShowText() {
    filling_ = true;
    edit->setPlainText(QString::fromStdString(model_.Text()));
    filling_ = false;
    edit->moveCursor(QTextCursor::End);
    edit->ensureCursorVisible();
}

void UserNotesDialog::ShowState() {
    saveButton->setEnabled(model_.Modified());
}

std::string UserNotesDialog::Choose(const QString& caption, bool save) {
    if (chooseFile) return chooseFile(caption, save);
    QFileDialog dialog(this, caption, QString(), tr("Text files (*.txt);;Any files (*)"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

void UserNotesDialog::Import() {
    const QTextCursor keep = edit->textCursor();
    const std::string path = Choose(QString::fromStdString(model_.Title() + " Import"), false);
    if (!path.empty() && model_.ImportText(path, false) == 0) {
        ShowText();
    } else {
        edit->setTextCursor(keep);
    }
    ShowState();
    edit->setFocus();
}

void UserNotesDialog::Drop(const QString& path) {
    if (model_.ImportText(path.toStdString(), true) != 0) return;
    ShowText();
    ShowState();
    edit->setFocus();
}

void UserNotesDialog::SaveAs() {
    const QTextCursor keep = edit->textCursor();
    const std::string path = Choose(QString::fromStdString("Save " + model_.Title()), true);
    if (!path.empty()) model_.SaveAs(path);
    edit->setTextCursor(keep);
    edit->setFocus();
}

void UserNotesDialog::reject() {
    close();
}

void UserNotesDialog::closeEvent(QCloseEvent* e) {
    if (!model_.Close()) {
        e->ignore();
        return;
    }
    e->accept();
}

UserNotesDialog* FindUserNotes(CZunDoc& doc) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<UserNotesDialog*>(w); open && &open->Document() == &doc) return open;
    return nullptr;
}

void AskNotesSaveChanges(CZunDoc& doc) {
    if (UserNotesDialog* open = FindUserNotes(doc)) open->Model().AskSaveChanges();
}

UserNotesDialog* ShowUserNotes(CZunDoc& doc, QWidget* parent) {
    if (UserNotesDialog* open = FindUserNotes(doc)) {
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* dialog = new UserNotesDialog(doc, parent);
    dialog->setWindowFlag(Qt::Window);
    dialog->show();
    return dialog;
}

}  // namespace zun
