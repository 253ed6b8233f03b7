#include "platform/prompt.h"

namespace zun {

int HeadlessPrompt::Ask(const PromptRequest& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (!answers_.empty()) {
        int a = answers_.front();
        answers_.pop_front();
        return a;
    }
    switch (request.buttons) {
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel: return kPromptYes;
        case PromptButtons::ContinueSkipCancel: return kPromptContinue;
        default: return kPromptOk;
    }
}

void HeadlessPrompt::QueueAnswer(int answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<PromptRequest> HeadlessPrompt::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void HeadlessPrompt::Clear() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    answers_.clear();
}

}  // namespace zun
