#pragma once
// The document tree of one document window without its widget: the root (the document), one item
// per channel and one per slice, each with its display specification. The widget's item model
// reads it and follows its edits through a TreeListener; everything runs on the UI thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/datcolspec.h"
#include "tree/treenode.h"

namespace zun {

class ZunImage;

class DisplayTree {
public:
    DisplayTree();
    ~DisplayTree();
    DisplayTree(const DisplayTree&) = delete;
    DisplayTree& operator=(const DisplayTree&) = delete;

    // ---- building
    // Builds the tree once from the sample (nothing when already built): the root labelled with
    // the title, each channel with its slices, the default display state and statistics.
    void Build(ZunImage& sample, const std::string& title);
    // Builds the tree as a copy of another window's tree of the same document (display state,
    // labels and view option; not the stepping state).
    void BuildCopy(ZunImage& sample, const DisplayTree& source);
    bool IsBuilt() const { return built_; }

    // The colour settings new channel and slice items take (the preferences' data display).
    DataDisplaySettings dataDisplay;
    // 0 for a tree built from the document; taken over by a copy; stored with the tree.
    std::int32_t viewOption = 0;

    void SetListener(TreeListener* listener) { listener_ = listener; }
    TreeListener* Listener() const { return listener_; }

    // ---- items
    TreeNode* Root() const { return root_.get(); }
    ZunImage* Sample() const { return sample_; }
    int ChannelCount() const { return root_ ? root_->ChildCount() : 0; }
    TreeNode* Channel(int i) const { return root_->Child(i); }
    std::size_t ItemCount() const;

    // The first item named so among the start item's children (the root's when start is null),
    // or null.
    TreeNode* FindChildByName(const TreeNode* start, const std::string& name) const;
    TreeNode* FindChannel(const std::string& name) const { return FindChildByName(nullptr, name); }
    // The slice item labelled with the number under a channel item, or null. Slices keep their
    // numbers in order, so the item at that row is tried before any search.
    TreeNode* FindSlice(const TreeNode* channel, std::uint32_t number) const;
    static std::string GetItemName(const TreeNode* node) { return ItemNameOfLabel(node->label); }

    // ---- selection walkers (pre-order)
    TreeNode* FirstSelectedChannel() const;
    TreeNode* NextSelectedChannel(const TreeNode* channel) const;
    TreeNode* FirstSelectedBoundary() const;
    TreeNode* NextSelectedBoundary(const TreeNode* channel) const;
    TreeNode* FirstSelectedSlice() const;
    TreeNode* NextSelectedSlice(const TreeNode* slice) const;
    void SetItemSelected(TreeNode* node, bool selected) { node->selected = selected; }
    bool HasBoundaryChannel() const;
    // The item after this one in pre-order (root, each channel then its slices), or null.
    static TreeNode* NextInPreOrder(const TreeNode* node);

    // ---- labels and images
    // Rebuilds the label from the current name and statistics and tells the listener.
    void RefreshLabel(TreeNode* node);
    void SetLabel(TreeNode* node, std::string label);
    // Tells the listener that an item's images changed.
    void TouchItem(const TreeNode* node) const;

    // ---- structural edits (each tells the listener)
    // Inserts nodes as children of parent from row on.
    void InsertChildren(TreeNode* parent, int row, std::vector<std::unique_ptr<TreeNode>> nodes);
    void RemoveChildren(TreeNode* parent, int row, int count);
    // A new item node carrying the given specification and label.
    static std::unique_ptr<TreeNode> MakeNode(const DispSpec& spec, std::string label);
    // Replaces the whole tree by another root (loading); the listener sees a reset.
    void ResetRoot(std::unique_ptr<TreeNode> root);

private:
    void Renumber(TreeNode* parent, int from);

    std::unique_ptr<TreeNode> root_;
    ZunImage* sample_ = nullptr;
    TreeListener* listener_ = nullptr;
    bool built_ = false;
};

}  // namespace zun
