#include "tree/treeselection.h"

#include <charconv>

#include "model/sample.h"
#include "tree/displaystate.h"

namespace zun {

namespace {

std::optional<std::uint32_t> SliceNumber(const TreeNode* slice) {
    const std::string name = DisplayTree::GetItemName(slice);
    std::uint32_t n = 0;
    const char* end = name.data() + name.size();
    auto [p, ec] = std::from_chars(name.data(), end, n);
    if (ec != std::errc() || p == name.data()) return std::nullopt;
    return n;
}

}  // namespace

TreeItems SelectedChannels(const DisplayTree& tree) {
    TreeItems out;
    for (TreeNode* c = tree.FirstSelectedChannel(); c; c = tree.NextSelectedChannel(c)) out.push_back(c);
    return out;
}

TreeItems SelectedSlices(const DisplayTree& tree) {
    TreeItems out;
    for (TreeNode* s = tree.FirstSelectedSlice(); s; s = tree.NextSelectedSlice(s)) out.push_back(s);
    return out;
}

TreeItems SelectedBoundaries(const DisplayTree& tree) {
    TreeItems out;
    for (TreeNode* c = tree.FirstSelectedBoundary(); c; c = tree.NextSelectedBoundary(c)) out.push_back(c);
    return out;
}

std::vector<std::string> SelectedChannelNames(const DisplayTree& tree) {
    std::vector<std::string> names;
    for (const TreeNode* c : SelectedChannels(tree)) names.push_back(DisplayTree::GetItemName(c));
    return names;
}

std::vector<ChanSliceRecord> SelectedSliceRecords(const DisplayTree& tree) {
    std::vector<ChanSliceRecord> out;
    for (const TreeNode* s : SelectedSlices(tree)) {
        const std::optional<std::uint32_t> n = SliceNumber(s);
        if (n && s->parent) out.push_back({DisplayTree::GetItemName(s->parent), *n});
    }
    return out;
}

int InsertReferenceIndex(const DisplayTree& tree, bool before) {
    const TreeItems sel = SelectedChannels(tree);
    if (sel.empty() || !tree.Sample()) return -1;
    const TreeNode* ref = nullptr;
    if (before) {
        const TreeNode* first = sel.front();
        if (first->row > 0) ref = first->parent->Child(first->row - 1);
    } else {
        ref = sel.back();
    }
    return ref ? tree.Sample()->FindChanIndex(DisplayTree::GetItemName(ref)) : -1;
}

std::optional<SliceRun> ContiguousSliceSelection(const DisplayTree& tree) {
    const TreeItems sel = SelectedSlices(tree);
    if (sel.empty()) return std::nullopt;
    std::vector<std::uint32_t> numbers;
    for (const TreeNode* s : sel) {
        const std::optional<std::uint32_t> n = SliceNumber(s);
        if (!n) return std::nullopt;
        numbers.push_back(*n);
    }
    for (std::size_t k = 1; k < numbers.size(); ++k)
        if (numbers[k] != numbers[k - 1] + 1) return std::nullopt;
    for (const TreeNode* s : sel)
        if (s->parent != sel.front()->parent) return std::nullopt;
    return SliceRun{numbers.front(), static_cast<std::uint32_t>(numbers.size())};
}

void ToggleRootDisplay(DisplayTree& tree) {
    TreeNode* root = tree.Root();
    if (!root) return;
    const std::int32_t v = root->spec.shown.displayItems == 0 ? DispSpec::kItemData : 0;
    DisplayItemsFamily::SetOfSubtree(tree, root, v);
}

bool AnySelectedChannelDisplayed(const DisplayTree& tree) {
    for (const TreeNode* c : SelectedChannels(tree))
        if (c->spec.shown.displayItems != 0) return true;
    return false;
}

bool AnySelectedSliceDisplayed(const DisplayTree& tree) {
    for (const TreeNode* s : SelectedSlices(tree))
        if (s->spec.shown.displayItems != 0) return true;
    return false;
}

void ToggleChannelDisplay(DisplayTree& tree) {
    const TreeItems sel = SelectedChannels(tree);
    if (sel.empty()) return;
    const std::int32_t v = AnySelectedChannelDisplayed(tree) ? 0 : DispSpec::kItemData;
    for (TreeNode* c : sel) DisplayItemsFamily::SetOfSubtree(tree, c, v);
    DisplayItemsFamily::UpdateAncestor(tree, tree.Root());
}

void ToggleSliceDisplay(DisplayTree& tree) {
    const TreeItems sel = SelectedSlices(tree);
    if (sel.empty()) return;
    const std::int32_t v = AnySelectedSliceDisplayed(tree) ? 0 : DispSpec::kItemData;
    TreeItems parents;
    for (TreeNode* s : sel) {
        DisplayItemsFamily::SetOfSubtree(tree, s, v);
        if (parents.empty() || parents.back() != s->parent) parents.push_back(s->parent);
    }
    DisplayItemsFamily::UpdateAncestorsOf(tree, parents);
}

}  // namespace zun
