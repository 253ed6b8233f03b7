#pragma once
// The tree menu's entries of the value tools: "Threshold Segmentation", "Set Data..." and the
// "Map Channel Data to" submenu. The threshold settings and the map settings live as long as the
// handlers (one set per tree), so a tool opens again with what it was last given.

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace zun {

class CZunDoc;

struct ValueToolCommands {
    std::function<void(int)> threshold;  // the argument is unused
    std::function<void(int)> setData;
    std::function<void(int)> mapData;  // the argument is the output channel's index
};

// selectedChannels: the names of the channels selected in the tree, in tree order.
ValueToolCommands MakeValueToolCommands(CZunDoc& doc, QWidget* parent,
                                        std::function<std::vector<std::string>()> selectedChannels);

}  // namespace zun
