#pragma once
// The line being typed in the "Edit Data" console, kept apart from the widget so the editing
// rules are tested without a window. The widget shows prompt + Line() on its last line and asks
// this model what every key does.

#include <optional>
#include <string>
#include <vector>

namespace zun::script {

class CmdLineModel {
public:
    static constexpr const char* kPrompt = "> ";

    const std::string& Prompt() const { return prompt_; }
    const std::string& Line() const { return line_; }
    const std::string& SavedLine() const { return saved_; }
    int Cursor() const { return cursor_; }
    // Entered lines, most recent first.
    const std::vector<std::string>& History() const { return history_; }
    // -1 while the line is the user's own, else the history entry shown.
    int HistoryIndex() const { return historyIndex_; }

    // Starts a new empty line after the prompt.
    void Reset();
    // The line without its surrounding blanks when there is one to run (it then heads the
    // history); the model is reset either way.
    std::optional<std::string> Enter();
    // A line with a caret under the character at offset of the line Enter last returned, as that
    // line stands on the screen after the prompt: it points at where a parse stopped.
    std::string CaretLine(size_t offset) const;

    // Each returns whether the line or the cursor changed (false: nothing to redraw).
    bool Insert(char c);  // printable characters only
    bool Backspace();     // the prompt before the line is never erased
    bool Delete();
    bool Left();
    bool Right();
    void Home() { cursor_ = 0; }
    void End() { cursor_ = static_cast<int>(line_.size()); }
    bool Up();
    bool Down();
    void Clear();  // Ctrl+U
    // Inserts the text at the cursor. The console runs one line per Enter, so the line breaks
    // and tabs of a pasted block become blanks and other control characters are dropped:
    // a pasted statement spread over several lines stays one statement.
    void Paste(const std::string& text);

private:
    std::string prompt_ = kPrompt;
    std::string line_;
    std::string saved_;
    int cursor_ = 0;
    std::vector<std::string> history_;
    int historyIndex_ = -1;
    size_t enteredIndent_ = 0;  // blanks trimmed from the front of the last entered line
};

}  // namespace zun::script
