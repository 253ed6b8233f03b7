#pragma once
// How the core asks the user something or tells them something. The GUI shows a dialog; tests,
// the remote-control mode and batch runs answer headless (see HeadlessPrompt).

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zun {

// Buttons a prompt can return (the values the message boxes of the program return).
enum PromptResult : int {
    kPromptOk = 1,
    kPromptCancel = 2,
    kPromptAbort = 3,
    kPromptRetry = 4,
    kPromptIgnore = 5,
    kPromptYes = 6,
    kPromptNo = 7,
    kPromptContinue = 11,
    kPromptSkip = 12,
};

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, ContinueSkipCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };

struct PromptRequest {
    std::string text;     // the main text
    std::string detail;   // the details area (may be empty)
    std::string caption;  // window title (empty: the program's name)
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
};

class Prompt {
public:
    virtual ~Prompt() = default;
    // Shows the request modally and returns the button pressed.
    virtual int Ask(const PromptRequest& request) = 0;
    // As Ask, but a question shown while `stillApplies` turns false is withdrawn and answered
    // Cancel: a question about a state that has ended (a run that finished) must not stay open.
    // A prompt that shows nothing answers at once, as Ask does.
    virtual int AskWhile(const PromptRequest& request, const std::function<bool()>& stillApplies) {
        (void)stillApplies;
        return Ask(request);
    }

    // A plain message with an OK button.
    void Tell(const std::string& text, PromptIcon icon = PromptIcon::None) {
        Ask(PromptRequest{text, {}, {}, PromptButtons::Ok, icon});
    }
};

// Records every request and answers from a queue of scripted answers; when the queue is empty
// it answers the first button of the request (OK, Yes or Continue). Thread-safe.
class HeadlessPrompt : public Prompt {
public:
    int Ask(const PromptRequest& request) override;

    void QueueAnswer(int answer);
    std::vector<PromptRequest> Requests() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<PromptRequest> requests_;
    std::deque<int> answers_;
};

}  // namespace zun
