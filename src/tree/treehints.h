#pragma once
// Keeps a document window's tree in step with the document's change hints without rebuilding it:
// inserts, deletes, relabels and re-marks exactly the items a hint names, gives new items their
// display state, brings the merged state of their ancestors up to date and recomputes the
// statistics the change made stale.

#include <string>

#include "document/changehints.h"
#include "tree/displaytree.h"

namespace zun {

// The hint number's bits the tree acts on beside the hint object.
inline constexpr unsigned kTreeStatusText = 1;    // status pane 0: the controller's state text
inline constexpr unsigned kTreeStatusValues = 4;  // panes 1 and 2: the controller's status values

struct TreeHintResult {
    unsigned statusBits = 0;  // the hint number AND (1 | 4): what the frame's panes must show
    bool renamed = false;     // a channel was renamed (the display dialog's item text follows)
    std::string oldName, newName;
    bool structureChanged = false;  // items were inserted or deleted
};

// Applies one change hint to the tree (the document's UpdateAllViews reaches a tree through
// this). A hint object of a class the tree does not know leaves the tree alone; names and slice
// numbers no item carries are skipped.
TreeHintResult ApplyChangeHint(DisplayTree& tree, unsigned hint, const ChangeHint* hintObject);
// Whether the hint inserts or deletes items (known before it is applied).
bool ReshapesTree(const ChangeHint* hintObject);

// The display dialog's item-list text with "'old'" replaced by "'new'" everywhere.
std::string ReplaceQuotedName(const std::string& text, const std::string& oldName,
                              const std::string& newName);

}  // namespace zun
