#include "platform/progress.h"

namespace zun {

void HeadlessProgress::SetText(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ = text;
}

void HeadlessProgress::SetPos(int percent) {
    std::lock_guard lock(mutex_);
    positions_.push_back(ClampPercent(percent));
}

bool HeadlessProgress::SetProgress(int percent) {
    {
        std::lock_guard lock(mutex_);
        positions_.push_back(ClampPercent(percent));
    }
    int n = ++calls_;
    if (cancelAt_ > 0 && n >= cancelAt_) cancelled_ = true;
    return cancelled_;
}

std::vector<int> HeadlessProgress::Positions() const {
    std::lock_guard lock(mutex_);
    return positions_;
}

std::string HeadlessProgress::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

}  // namespace zun
