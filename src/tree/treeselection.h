#pragma once
// What the tree's commands read of the selection: the selected channels and slices as names and
// numbers, where an inserted channel or slice goes, and the display toggles of the three popups.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/changehints.h"
#include "tree/displaytree.h"

namespace zun {

// The names of the selected channel items (boundaries included), in tree order.
std::vector<std::string> SelectedChannelNames(const DisplayTree& tree);
// The selected slice items in pre-order as (parent channel name, slice number); a slice whose
// label is not a number is left out.
std::vector<ChanSliceRecord> SelectedSliceRecords(const DisplayTree& tree);
// The selected channel items in tree order.
TreeItems SelectedChannels(const DisplayTree& tree);
TreeItems SelectedSlices(const DisplayTree& tree);
TreeItems SelectedBoundaries(const DisplayTree& tree);

// The sample index after which a channel inserted Before (the previous sibling of the first
// selected channel) or After (the last selected channel) goes; -1 inserts it first, and also
// answers when nothing is selected.
int InsertReferenceIndex(const DisplayTree& tree, bool before);

// "Insert Slice": the selected slices must carry consecutive numbers (tested first) and belong to
// one channel. The first number and the count, or nothing when the selection is refused.
struct SliceRun {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};
std::optional<SliceRun> ContiguousSliceSelection(const DisplayTree& tree);
inline constexpr const char* kContiguousSlicesMessage = "Select contiguous slices from a single channel";

// The display toggles; the caller tells the 3-D view afterwards.
// The whole tree: shown (data) when the root shows nothing, else hidden.
void ToggleRootDisplay(DisplayTree& tree);
// The selected channels with their slices: hidden when any of them shows something, else data.
void ToggleChannelDisplay(DisplayTree& tree);
// The selected slices, likewise; their channels and the root follow.
void ToggleSliceDisplay(DisplayTree& tree);
// What the toggles show checked.
bool AnySelectedChannelDisplayed(const DisplayTree& tree);
bool AnySelectedSliceDisplayed(const DisplayTree& tree);

}  // namespace zun
