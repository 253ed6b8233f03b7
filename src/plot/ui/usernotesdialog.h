#pragma once
// The modeless "Notes" window of a document: an editor over a copy of the document's notes that
// accepts dropped text files; UserNotesModel decides what is saved and asked.

#include <QDialog>
#include <QPlainTextEdit>
#include <functional>

#include "plot/usernotes.h"

class QPushButton;

namespace zun {

// The edit box: the first dropped local file goes to onFileDropped instead of into the text.
class NotesEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;
    std::function<void(const QString& path)> onFileDropped;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};

class UserNotesDialog : public QDialog {
    Q_OBJECT
public:
    UserNotesDialog(CZunDoc& doc, QWidget* parent = nullptr);
    ~UserNotesDialog() override;

    UserNotesModel& Model() { return model_; }
    CZunDoc& Document() const { return doc_; }

    // Chooses a file to read (save false) or write (tests replace the system's dialogs); empty
    // when cancelled.
    std::function<std::string(const QString& caption, bool save)> chooseFile;

    NotesEdit* edit;
    QPushButton* importButton;
    QPushButton* saveButton;
    QPushButton* saveAsButton;
    QPushButton* closeButton;

    void Import();
    void SaveAs();
    // A file dropped on the edit box.
    void Drop(const QString& path);

    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    std::string Choose(const QString& caption, bool save);
    void ShowText();
    void ShowState();

    CZunDoc& doc_;
    UserNotesModel model_;
    bool filling_ = false;
};

// Opens the document's notes window, or brings the open one to the front.
UserNotesDialog* ShowUserNotes(CZunDoc& doc, QWidget* parent);
// The document's open notes window, null when none.
UserNotesDialog* FindUserNotes(CZunDoc& doc);
// Before the document closes: the save question of an open notes window with unsaved changes.
void AskNotesSaveChanges(CZunDoc& doc);

}  // namespace zun
