#pragma once
// Stepping through slices: the slice items of the stepped channels, grouped by channel, with the
// display items they had before, and the position the next step shows. The run animation, the
// 3-D view's keys and wheel, its control panel and the animation recorder all step through one
// such set per window. Everything here runs on the UI thread.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "tree/displaytree.h"

namespace zun {

class SliceStepping {
public:
    explicit SliceStepping(DisplayTree& tree) : tree_(tree) {}
    SliceStepping(const SliceStepping&) = delete;
    SliceStepping& operator=(const SliceStepping&) = delete;

    // Told after a step by hand, so that the window's 3-D view shows it.
    std::function<void()> displayChanged;

    // Set from the start of a run animation until it ends; Begin and End then do nothing.
    bool IsAnimating() const { return animating_; }
    void SetAnimating(bool on) { animating_ = on; }

    // Takes the selected channels (selectedOnly) or every channel that shows something, saves the
    // display items of their slices and hides the slices.
    void Begin(bool selectedOnly);
    // Gives the stepped slices their saved display items back and empties the set.
    void End();
    // Drops the set without touching the items: the tree's shape changed and the stored items may
    // be gone. Anything stepping through the old set notices by the changed generation.
    void Forget();
    // Before the tree changes shape: the stepped items get their saved display items back, even
    // while an animation runs (which then stops), and the set is dropped.
    void RestoreAndForget();
    std::uint64_t Generation() const { return generation_; }

    // Shows every channel's slices from the step index up to position p (kept shown when
    // keepEarlier, else one slice per channel at a time). False when p is below the step index.
    bool ShowUpTo(int position, bool keepEarlier);
    // One slice on in every group (wrapping at the end), or one back.
    void StepForward();
    void StepBackward();
    // Every stepped slice shown as data (a run animation fills the volume with all of them).
    void ShowAll();

    // Marks every channel that shows something as selected; returns how many there are.
    int CountDisplayedChannels();

    bool Empty() const { return items_.empty(); }
    int GroupCount() const { return groups_; }
    int SlicesPerGroup() const { return groups_ > 0 ? static_cast<int>(items_.size()) / groups_ : 0; }
    int StepIndex() const { return step_; }
    const TreeItems& Items() const { return items_; }
    const std::vector<std::int32_t>& SavedDisplayItems() const { return saved_; }

private:
    void Step(int previous, int next);
    void Set(TreeNode* item, std::int32_t displayItems);
    void Clear();

    DisplayTree& tree_;
    TreeItems items_;
    std::vector<std::int32_t> saved_;
    int step_ = 0;
    int groups_ = 0;
    bool animating_ = false;
    std::uint64_t generation_ = 0;
};

// The run-animation modes requested of the window: only the last one queued counts.
class RefreshQueue {
public:
    void Push(std::int32_t mode);
    // Empties the queue; the last mode queued, or nothing.
    std::optional<std::int32_t> TakeLast();
    bool Empty() const;

private:
    mutable std::mutex lock_;
    std::deque<std::int32_t> modes_;
};

}  // namespace zun
