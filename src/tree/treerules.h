#pragma once
// The enable and check rules of the tree's context-menu entries, read from the tree's selection,
// the document's controller and its open dialogs. An entry without a rule here is enabled
// whenever a handler serves it.

#include <optional>

#include "tree/displaytree.h"

namespace zun {

class CZunDoc;

// What the rules read besides the tree and the document: the window's own dialogs and animation.
struct TreeCommandEnv {
    DisplayTree& tree;
    CZunDoc& doc;
    bool displayPropertiesOpen = false;  // the tree's Display Properties dialog
    bool runAnimationRunning = false;
};

// The entry's rule, or nothing when the entry has none.
std::optional<bool> TreeEnableRule(int command, const TreeCommandEnv& env);
// Whether a toggle entry shows checked; nothing for entries that are no toggles.
std::optional<bool> TreeCheckedRule(int command, const TreeCommandEnv& env);

// "Insert <kind> Channel > Before" on the channel at index (kind of its own type) and "After" on
// the channel at index; the sample's channel kinds in order.
bool InsertBeforeAllowed(const std::vector<int>& kinds, int index, int kind);
bool InsertAfterAllowed(const std::vector<int>& kinds, int index, int kind);

}  // namespace zun
