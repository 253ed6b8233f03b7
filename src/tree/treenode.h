#pragma once
// One item of a document window's tree (the document, a channel or a slice) and the listener that
// a widget model attaches to follow structural edits. Nodes are owned by their parent and never
// move in memory while they exist, so a pointer to one is a stable handle.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/dispspec.h"

namespace zun {

struct TreeNode {
    DispSpec spec;
    std::string label;
    bool selected = false;
    std::int32_t savedDisplayItems = 0;  // the display dialog's copy, as the other fields have
    std::int32_t savedStatColumns = 0;
    TreeNode* parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children;
    int row = 0;  // position among the parent's children, kept up to date by the tree

    int Kind() const { return spec.kind; }
    bool IsSlice() const { return spec.kind == DispSpec::kSlice; }
    bool IsChannel() const { return spec.kind == DispSpec::kChannel; }
    bool IsBoundaryChannel() const { return IsChannel() && spec.channelType == 3; }
    bool IsBoundarySlice() const { return IsSlice() && spec.channelType == 3; }
    bool HasChildren() const { return !children.empty(); }
    TreeNode* Child(int i) const { return children[static_cast<std::size_t>(i)].get(); }
    int ChildCount() const { return static_cast<int>(children.size()); }
    int Depth() const {
        int d = 0;
        for (const TreeNode* p = parent; p; p = p->parent) ++d;
        return d;
    }
};

using TreeItems = std::vector<TreeNode*>;

// Told of every change of the tree's shape and of every item whose label or images changed. The
// insert and remove calls come in pairs around the edit, as item-view models need them.
class TreeListener {
public:
    virtual ~TreeListener() = default;
    virtual void BeginInsert(const TreeNode* parent, int row, int count) = 0;
    virtual void EndInsert() = 0;
    virtual void BeginRemove(const TreeNode* parent, int row, int count) = 0;
    virtual void EndRemove() = 0;
    virtual void BeginReset() = 0;
    virtual void EndReset() = 0;
    virtual void ItemChanged(const TreeNode* node) = 0;
};

// The name of an item: its label up to the first "{", trailing blanks removed.
std::string ItemNameOfLabel(const std::string& label);

// The image of an item by kind and channel type (the selected image is one more), and its overlay
// index (0..13) from the display items, the active-boundary flag and the imported flag.
int ItemImageIndex(const DispSpec& spec);
int ItemOverlayIndex(const DispSpec& spec);

// The label of an item from its name and statistics: the name, then " {" with the set columns
// "ave=", "stdev=", "min=", "max=" ("%.3g") and "n=" joined by "," and "}"; the root's label is
// always its bare name.
std::string BuildItemLabel(const std::string& name, const DispSpec& spec);

}  // namespace zun
