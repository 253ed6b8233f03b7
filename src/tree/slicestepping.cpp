#include "tree/slicestepping.h"

#include <algorithm>

#include "tree/displaystate.h"

namespace zun {

void SliceStepping::Set(TreeNode* item, std::int32_t displayItems) {
    DisplayItemsField::Write(tree_, *item, displayItems);
}

void SliceStepping::Clear() {
    items_.clear();
    saved_.clear();
    step_ = 0;
    groups_ = 0;
}

void SliceStepping::Begin(bool selectedOnly) {
    if (animating_) return;
    Clear();
    ++generation_;
    if (!tree_.IsBuilt()) return;
    for (int c = 0; c < tree_.ChannelCount(); ++c) {
        TreeNode* channel = tree_.Channel(c);
        const bool taken = selectedOnly ? channel->selected : channel->spec.shown.displayItems != 0;
        if (!taken) continue;
        for (auto& slice : channel->children) {
            items_.push_back(slice.get());
            saved_.push_back(slice->spec.shown.displayItems);
            Set(slice.get(), 0);
        }
        ++groups_;
    }
}

void SliceStepping::End() {
    if (animating_) return;
    if (!items_.empty() && items_.size() == saved_.size())
        for (std::size_t i = 0; i < items_.size(); ++i) Set(items_[i], saved_[i]);
    Clear();
    ++generation_;
}

void SliceStepping::RestoreAndForget() {
    if (items_.size() == saved_.size())
        for (std::size_t i = 0; i < items_.size(); ++i) Set(items_[i], saved_[i]);
    Forget();
}

void SliceStepping::Forget() {
    Clear();
    ++generation_;
}

bool SliceStepping::ShowUpTo(int position, bool keepEarlier) {
    if (position < step_) return false;
    const int s = SlicesPerGroup();
    // Past the last slice there is nothing more to show; the index stays within the groups.
    const int last = std::min(position, s - 1);
    while (step_ <= last) {
        for (int g = 0; g < groups_; ++g) {
            Set(items_[static_cast<std::size_t>(g * s + step_)], DispSpec::kItemData);
            if (!keepEarlier && step_ > 0) Set(items_[static_cast<std::size_t>(g * s + step_ - 1)], 0);
        }
        ++step_;
    }
    return true;
}

void SliceStepping::Step(int previous, int next) {
    const int s = SlicesPerGroup();
    for (int g = 0; g < groups_; ++g) {
        Set(items_[static_cast<std::size_t>(g * s + previous)], 0);
        Set(items_[static_cast<std::size_t>(g * s + next)], DispSpec::kItemData);
    }
}

void SliceStepping::StepForward() {
    if (items_.empty() || groups_ == 0) return;
    const int s = SlicesPerGroup();
    if (s == 0) return;
    step_ = std::clamp(step_, 0, s - 1);
    Step(step_ == 0 ? s - 1 : step_ - 1, step_);
    if (++step_ >= s) step_ = 0;
    if (displayChanged) displayChanged();
}

void SliceStepping::StepBackward() {
    if (items_.empty() || groups_ == 0) return;
    const int s = SlicesPerGroup();
    if (s == 0) return;
    step_ = std::clamp(step_, 0, s - 1);
    Step(step_ + 1 >= s ? 0 : step_ + 1, step_);
    if (--step_ < 0) step_ = s - 1;
    if (displayChanged) displayChanged();
}

void SliceStepping::ShowAll() {
    for (TreeNode* item : items_) Set(item, DispSpec::kItemData);
}

int SliceStepping::CountDisplayedChannels() {
    int n = 0;
    if (!tree_.IsBuilt()) return 0;
    for (int c = 0; c < tree_.ChannelCount(); ++c) {
        TreeNode* channel = tree_.Channel(c);
        if (channel->spec.shown.displayItems == 0) continue;
        channel->selected = true;
        ++n;
    }
    return n;
}

void RefreshQueue::Push(std::int32_t mode) {
    std::lock_guard<std::mutex> g(lock_);
    modes_.push_back(mode);
}

std::optional<std::int32_t> RefreshQueue::TakeLast() {
    std::lock_guard<std::mutex> g(lock_);
    if (modes_.empty()) return std::nullopt;
    const std::int32_t last = modes_.back();
    modes_.clear();
    return last;
}

bool RefreshQueue::Empty() const {
    std::lock_guard<std::mutex> g(lock_);
    return modes_.empty();
}

}  // namespace zun
