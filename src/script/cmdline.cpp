#include "script/cmdline.h"

namespace zun::script {

namespace {
bool Printable(char c) {
    return c >= 32 && c <= 126;
}
bool Blank(char c) {
    return c == ' ' || c == '\t';
}
}  // namespace

void CmdLineModel::Reset() {
    line_.clear();
    cursor_ = 0;
    historyIndex_ = -1;
}

std::optional<std::string> CmdLineModel::Enter() {
    size_t first = 0, last = line_.size();
    while (first < last && Blank(line_[first])) ++first;
    while (last > first && Blank(line_[last - 1])) --last;
    std::optional<std::string> entered;
    if (last > first) {
        entered = line_.substr(first, last - first);
        enteredIndent_ = first;
        history_.insert(history_.begin(), *entered);
    }
    Reset();
    return entered;
}

std::string CmdLineModel::CaretLine(size_t offset) const {
    return std::string(prompt_.size() + enteredIndent_ + offset, ' ') + "^";
}

bool CmdLineModel::Insert(char c) {
    if (!Printable(c)) return false;
    line_.insert(line_.begin() + cursor_, c);
    ++cursor_;
    return true;
}

bool CmdLineModel::Backspace() {
    if (cursor_ == 0) return false;
    --cursor_;
    line_.erase(line_.begin() + cursor_);
    return true;
}

bool CmdLineModel::Delete() {
    if (cursor_ >= static_cast<int>(line_.size())) return false;
    line_.erase(line_.begin() + cursor_);
    return true;
}

bool CmdLineModel::Left() {
    if (cursor_ == 0) return false;
    --cursor_;
    return true;
}

bool CmdLineModel::Right() {
    if (cursor_ >= static_cast<int>(line_.size())) return false;
    ++cursor_;
    return true;
}

bool CmdLineModel::Up() {
    if (historyIndex_ >= static_cast<int>(history_.size()) - 1) return false;
    if (historyIndex_ == -1) saved_ = line_;
    ++historyIndex_;
    line_ = history_[historyIndex_];
    End();
    return true;
}

bool CmdLineModel::Down() {
    if (historyIndex_ < 0) return false;
    --historyIndex_;
    line_ = historyIndex_ < 0 ? saved_ : history_[historyIndex_];
    End();
    return true;
}

void CmdLineModel::Clear() {
    line_.clear();
    cursor_ = 0;
}

void CmdLineModel::Paste(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // one blank per break
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        Insert(c);
    }
}

}  // namespace zun::script
