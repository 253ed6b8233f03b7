#include "plot/usernotes.h"

#include <fstream>
#include <iterator>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "plot/tabletext.h"

namespace zun {

UserNotesModel::UserNotesModel(CZunDoc& doc, Prompt* prompt)
    : doc_(doc), prompt_(prompt), title_(doc.GetNameText() + ": Notes"), text_(doc.GetNotes()) {}

std::string UserNotesModel::DropCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

void UserNotesModel::OnEdited(const std::string& text) {
    text_ = DropCarriageReturns(text);
    modified_ = true;
}

void UserNotesModel::CannotOpen(const std::string& path) const {
    if (prompt_) prompt_->Tell(title_ + ": Could not open " + path, PromptIcon::Warning);
}

int UserNotesModel::ImportText(const std::string& path, bool ask) {
    if (ask && modified_ && prompt_ &&
        prompt_->Ask({title_ + " changes will be lost - Continue?",
                      {},
                      {},
                      PromptButtons::YesNo,
                      PromptIcon::Question}) != kPromptYes)
        return 1;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        CannotOpen(path);
        return 0;
    }
    text_ = DropCarriageReturns(std::string(std::istreambuf_iterator<char>(in), {}));
    modified_ = true;
    return 0;
}

void UserNotesModel::Save() {
    doc_.SetNotes(text_);
    doc_.SetModifiedFlag(true);
    modified_ = false;
}

bool UserNotesModel::SaveAs(const std::string& path) {
    std::string ignored;
    if (SaveTextFile(path, text_, &ignored)) return true;
    CannotOpen(path);
    return false;
}

void UserNotesModel::AskSaveChanges() {
    if (!modified_) return;
    if (!prompt_ ||
        prompt_->Ask({"Save " + title_ + " changes?", {}, {}, PromptButtons::YesNo, PromptIcon::Question}) ==
            kPromptYes)
        Save();
}

bool UserNotesModel::Close() {
    if (!modified_) return true;
    const int answer =
        prompt_
            ? prompt_->Ask(
                  {"Save " + title_ + " changes?", {}, {}, PromptButtons::YesNoCancel, PromptIcon::Question})
            : kPromptYes;  // nobody to ask: keep the typing
    if (answer == kPromptCancel) return false;
    if (answer == kPromptYes) Save();
    modified_ = false;
    return true;
}

}  // namespace zun
