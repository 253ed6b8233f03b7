#pragma once
// What the "Notes" window decides, without its widgets: the title, the copy of the document's
// notes being edited, import, save, save as, and the questions before text is lost.

#include <string>

namespace zun {

class CZunDoc;
class Prompt;

class UserNotesModel {
public:
    UserNotesModel(CZunDoc& doc, Prompt* prompt);

    // The document's name text + ": Notes"; it also opens the window's messages.
    const std::string& Title() const { return title_; }

    // The text being edited (line feeds only; the window's own line ends are its business).
    const std::string& Text() const { return text_; }
    bool Modified() const { return modified_; }
    // Typing in the box.
    void OnEdited(const std::string& text);

    // Replaces the text with a file's contents (carriage returns dropped). With ask, unsaved
    // typing is first confirmed; returns 1 when the user declined, else 0 (also when the file
    // could not be read: the message is shown and nothing changes).
    int ImportText(const std::string& path, bool ask);
    // The text into the document (which is marked modified).
    void Save();
    // The text to a file; false with the message shown. Neither the document nor the modified
    // state changes.
    bool SaveAs(const std::string& path);
    // The document is about to close: "Save <title> changes?" (Yes/No) while modified.
    void AskSaveChanges();
    // "Close": while modified asks Yes/No/Cancel; false when the window stays open.
    bool Close();

    static std::string DropCarriageReturns(const std::string& text);

private:
    void CannotOpen(const std::string& path) const;

    CZunDoc& doc_;
    Prompt* prompt_;
    std::string title_;
    std::string text_;
    bool modified_ = false;
};

}  // namespace zun
