#include "tree/treerecord.h"

namespace zun {

void StoreTreeRecord(const DisplayTree& tree, TreeRecord& record) {
    record.items.clear();
    for (const TreeNode* n = tree.Root(); n; n = DisplayTree::NextInPreOrder(n))
        record.items.push_back(n->spec);
    record.viewOption = tree.viewOption;
}

bool LoadTreeRecord(DisplayTree& tree, const TreeRecord& record) {
    std::size_t i = 0;
    for (const TreeNode* n = tree.Root(); n; n = DisplayTree::NextInPreOrder(n), ++i)
        if (i >= record.items.size() || record.items[i].kind != n->spec.kind) return false;
    if (i != record.items.size()) return false;
    i = 0;
    for (TreeNode* n = tree.Root(); n; n = DisplayTree::NextInPreOrder(n), ++i) {
        const std::string name = DisplayTree::GetItemName(n);
        n->spec = record.items[i];
        n->savedDisplayItems = n->spec.saved.displayItems;
        n->savedStatColumns = n->spec.statColumns;
        if (n == tree.Root()) {
            tree.TouchItem(n);
            continue;
        }
        tree.SetLabel(n, BuildItemLabel(name, n->spec));
        tree.TouchItem(n);
    }
    tree.viewOption = record.viewOption;
    return true;
}

}  // namespace zun
