#pragma once
// The display state of a document window's tree as the document file keeps it: every item's
// display specification in pre-order (the root, then each channel followed by its slices) and the
// tree's view option.

#include "document/dispspec.h"
#include "tree/displaytree.h"

namespace zun {

void StoreTreeRecord(const DisplayTree& tree, TreeRecord& record);

// Gives the items of a tree built from the same document their stored display state, images and
// labels. A record that does not match the tree item for item (another count, or an item of
// another kind) is refused whole: the tree keeps its state and false is returned.
bool LoadTreeRecord(DisplayTree& tree, const TreeRecord& record);

}  // namespace zun
