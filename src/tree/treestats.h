#pragma once
// Statistics of the voxel values under tree items: computed on demand and cached in each item's
// display specification, shown in the labels, kept as a table in each channel's information text
// and listed in the statistics listing window. Values are the channels' physical values; the
// read-only and error bits take no part.

#include <cstdint>
#include <ostream>
#include <string>

#include "tree/displaytree.h"

namespace zun {

// The item's statistics, computed first when they are stale. A slice with statistics columns
// reads its plane (through its boundary mask when one is set and exists); an item with children
// gathers the children that show statistics and, for a channel, writes the channel's
// "Channel statistics" section.
const DispSpec& ComputeStatistics(DisplayTree& tree, TreeNode* item);

// Each item: computed and relabelled; then each distinct parent: reset, computed, relabelled.
void RefreshStatisticsOfItems(DisplayTree& tree, const TreeItems& items);
// The item computed and relabelled; slice children relabelled, other children handled in turn.
void RefreshItemLabelsOfSubtree(DisplayTree& tree, TreeNode* item);
// Each item's subtree as above, then the parent of the first item reset, computed, relabelled.
void RefreshLabelsOfItemSet(DisplayTree& tree, const TreeItems& items);

// The "Channel statistics" table of an item whose children's statistics are computed.
std::string ChannelStatisticsText(const TreeNode* item);

// Rows of the statistics listing; columns are the statistics column bits (Min 1, Max 2, Ave 4,
// Stdev 8, N 16), listed in the order Ave, Stdev, Min, Max, N.
void WriteStatisticsHeader(std::ostream& out, int width, std::int32_t columns);
void WriteStatisticsRows(DisplayTree& tree, TreeNode* item, std::ostream& out, std::int32_t columns,
                         int width);

// The "Statistics List" commands of the tree's menus.
enum StatisticsListCommand {
    kStatsListRoot = 33098,              // root menu: "Top Level Only..."
    kStatsListChannels = 33099,          // root menu: "Channels Only..."
    kStatsListAll = 33100,               // root menu: "All..."
    kStatsListSelection = 33101,         // channel menu: "Channel Selection Only..."
    kStatsListChannelSlices = 33102,     // channel menu: "Slices Only..."
    kStatsListChannelAndSlices = 33103,  // channel menu: "All..."
    kStatsListSlices = 33087,            // slice menu: "Statistics List..."
};

// What the listing window shows for one command: its title, the items and the columns (the OR
// of the items' statistics columns).
struct StatisticsListing {
    std::string title;
    TreeItems items;
    std::int32_t columns = 0;
    // The listing's text with the given column width.
    std::string Text(DisplayTree& tree, int width) const;
};
StatisticsListing MakeStatisticsListing(const DisplayTree& tree, int command, const std::string& docTitle);

}  // namespace zun
