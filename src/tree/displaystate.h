#pragma once
// The display state of tree items and its merge rules. Every field has one family of operations:
// read the merged value of a subtree or of a list of items, write a value to whole subtrees (parts
// carrying the mixed marker leave each item's own part alone), keep every ancestor equal to the
// merge of its subtree, save and restore the display dialog's copy, test for unchanged and, for
// the colour fields and the opacity setting, for the default.
//
// Markers in merged values: a merge over nothing gives the start marker, a merge over differing
// items the mixed marker; neither is a real setting.

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "tree/displaytree.h"

namespace zun {

inline constexpr std::int32_t kKindUnset = -1;
inline constexpr std::int32_t kKindMixed = -2;
inline constexpr std::int32_t kMaskUnset = -1;
inline constexpr std::int32_t kMaskMixed = -2;
inline constexpr const char* kMaskNameUnset = "---";
inline constexpr const char* kMaskNameMixed = " ...";
inline constexpr std::int32_t kIncLower = 2;
inline constexpr std::int32_t kIncLowerMixed = 4;
inline constexpr std::int32_t kIncUpper = 16;
inline constexpr std::int32_t kIncUpperMixed = 32;
inline constexpr std::int32_t kIncludeDefault = kIncUpper;
inline constexpr std::int32_t kIncludeUnset = -1;
inline constexpr float kOpacityTolerance = 1e-5f;

inline bool SameOpacity(float a, float b) {
    return std::fabs(a - b) < kOpacityTolerance;
}
inline bool IsMixedOpacity(float a) {
    return SameOpacity(a, kMixedOpacity);
}
inline bool IsUnsetOpacity(float a) {
    return SameOpacity(a, kUnsetOpacity);
}

// The boundary mask of an item: state (1 masked, 0 not) and the boundary channel's name.
struct BoundaryMaskValue {
    std::int32_t state = kMaskUnset;
    std::string name = kMaskNameUnset;
    bool operator==(const BoundaryMaskValue&) const = default;
};

// ---- field traits: how one field is read, written, merged and compared.

struct DisplayItemsField {
    using Value = std::int32_t;
    static Value Start() { return 0; }
    static Value Own(const TreeNode& n) { return n.spec.shown.displayItems; }
    static Value Saved(const TreeNode& n) { return n.savedDisplayItems; }
    static void Save(TreeNode& n) { n.savedDisplayItems = n.spec.shown.displayItems; }
    static void Merge(Value& run, const Value& c) { run |= c; }
    static void Write(DisplayTree& t, TreeNode& n, const Value& v);
    static void Store(DisplayTree& t, TreeNode& n, const Value& v) { Write(t, n, v); }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
};

struct StatsItemsField {
    using Value = std::int32_t;
    static Value Start() { return 0; }
    static Value Own(const TreeNode& n) { return n.spec.statColumns; }
    static Value Saved(const TreeNode& n) { return n.savedStatColumns; }
    static void Save(TreeNode& n) { n.savedStatColumns = n.spec.statColumns; }
    static void Merge(Value& run, const Value& c) { run |= c; }
    static void Write(DisplayTree&, TreeNode& n, const Value& v) { n.spec.statColumns = v; }
    static void Store(DisplayTree&, TreeNode& n, const Value& v) { n.spec.statColumns = v; }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
};

struct ColourKindField {
    using Value = std::int32_t;
    static Value Start() { return kKindUnset; }
    static Value Own(const TreeNode& n) { return n.spec.shown.colourKind; }
    static Value Saved(const TreeNode& n) { return n.spec.saved.colourKind; }
    static void Save(TreeNode& n) { n.spec.saved.colourKind = n.spec.shown.colourKind; }
    static void Merge(Value& run, const Value& c);
    // Neither marker is a colour kind: both leave the item as it is.
    static void Write(DisplayTree&, TreeNode& n, const Value& v) {
        if (v >= 0) n.spec.shown.colourKind = v;
    }
    static void Store(DisplayTree&, TreeNode& n, const Value& v) { n.spec.shown.colourKind = v; }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
    static Value Default(const DisplayTree&, const TreeNode&) { return 0; }
};

struct DataColourField {
    using Value = std::array<std::uint32_t, 3>;
    static Value Start() { return {kUnsetColour, kUnsetColour, kUnsetColour}; }
    static Value Own(const TreeNode& n);
    static Value Saved(const TreeNode& n);
    static void Save(TreeNode& n) { n.spec.saved.displayColours = n.spec.shown.displayColours; }
    static void Merge(Value& run, const Value& c);
    static void Write(DisplayTree&, TreeNode& n, const Value& v);
    static void Store(DisplayTree&, TreeNode& n, const Value& v);
    static bool Equal(const Value& a, const Value& b) { return a == b; }
    static Value Default(const DisplayTree& t, const TreeNode& n);
};

struct BitColoursField {
    using Value = DatcolBitSpec;
    static Value Start() { return DatcolBitSpec(); }
    static const Value& Own(const TreeNode& n) { return n.spec.shown.bitSpec; }
    static const Value& Saved(const TreeNode& n) { return n.spec.saved.bitSpec; }
    static void Save(TreeNode& n) { n.spec.saved.bitSpec.Assign(n.spec.shown.bitSpec); }
    static void Merge(Value& run, const Value& c);
    static void Write(DisplayTree&, TreeNode& n, const Value& v);
    static void Store(DisplayTree&, TreeNode& n, const Value& v) { n.spec.shown.bitSpec.Assign(v); }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
    static Value Default(const DisplayTree&, const TreeNode&);
};

struct ValueColoursField {
    using Value = DatcolValueSpec;
    static Value Start() { return DatcolValueSpec(); }
    static const Value& Own(const TreeNode& n) { return n.spec.shown.valueSpec; }
    static const Value& Saved(const TreeNode& n) { return n.spec.saved.valueSpec; }
    static void Save(TreeNode& n) { n.spec.saved.valueSpec.Assign(n.spec.shown.valueSpec); }
    static void Merge(Value& run, const Value& c);
    static void Write(DisplayTree&, TreeNode& n, const Value& v);
    static void Store(DisplayTree&, TreeNode& n, const Value& v) { n.spec.shown.valueSpec.Assign(v); }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
    static Value Default(const DisplayTree&, const TreeNode&);
};

struct ColourSpectrumField {
    using Value = DatcolMultiSpec;
    static Value Start() { return DatcolMultiSpec(); }
    static const Value& Own(const TreeNode& n) { return n.spec.shown.multiSpec; }
    static const Value& Saved(const TreeNode& n) { return n.spec.saved.multiSpec; }
    static void Save(TreeNode& n) { n.spec.saved.multiSpec = n.spec.shown.multiSpec; }
    static void Merge(Value& run, const Value& c);
    static void Write(DisplayTree&, TreeNode& n, const Value& v);
    static void Store(DisplayTree&, TreeNode& n, const Value& v) { n.spec.shown.multiSpec = v; }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
    static Value Default(const DisplayTree&, const TreeNode&);
};

struct OpacityField {
    using Value = std::array<float, 4>;
    static Value Start() { return {kUnsetOpacity, kUnsetOpacity, kUnsetOpacity, kUnsetOpacity}; }
    static Value Own(const TreeNode& n);
    static Value Saved(const TreeNode& n);
    static void Save(TreeNode& n) { n.spec.saved.opacity = n.spec.shown.opacity; }
    static void Merge(Value& run, const Value& c);
    static void Write(DisplayTree&, TreeNode& n, const Value& v);
    static void Store(DisplayTree&, TreeNode& n, const Value& v);
    static bool Equal(const Value& a, const Value& b);
    static Value Default(const DisplayTree&, const TreeNode& n);
};

struct IncludeFlagsField {
    using Value = std::int32_t;
    static Value Start() { return kIncludeUnset; }
    static Value Own(const TreeNode& n) { return n.spec.shown.includeFlags; }
    static Value Saved(const TreeNode& n) { return n.spec.saved.includeFlags; }
    static void Save(TreeNode& n) { n.spec.saved.includeFlags = n.spec.shown.includeFlags; }
    static void Merge(Value& run, const Value& c);
    static void Write(DisplayTree&, TreeNode& n, const Value& v);
    static void Store(DisplayTree&, TreeNode& n, const Value& v) { n.spec.shown.includeFlags = v; }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
};

struct BoundaryMaskField {
    using Value = BoundaryMaskValue;
    static Value Start() { return {}; }
    static Value Own(const TreeNode& n) { return {n.spec.shown.maskState, n.spec.shown.maskName}; }
    static Value Saved(const TreeNode& n) { return {n.spec.saved.maskState, n.spec.saved.maskName}; }
    static void Save(TreeNode& n) {
        n.spec.saved.maskState = n.spec.shown.maskState;
        n.spec.saved.maskName = n.spec.shown.maskName;
    }
    static void Merge(Value& run, const Value& c);
    static void Write(DisplayTree&, TreeNode& n, const Value& v);
    static void Store(DisplayTree&, TreeNode& n, const Value& v) {
        n.spec.shown.maskState = v.state;
        n.spec.shown.maskName = v.name;
    }
    static bool Equal(const Value& a, const Value& b) { return a == b; }
};

// ---- the family of operations over one field

template <class F>
struct DisplayFamily {
    using Value = typename F::Value;

    // A leaf gives its own value; an item with children the merge over its children's subtrees
    // (its own value takes no part).
    static Value GetOfSubtree(const TreeNode* node) {
        if (!node->HasChildren()) return F::Own(*node);
        Value run = F::Start();
        MergeChildren(run, node);
        return run;
    }
    // Merges each child's subtree into run; leaves are read in place.
    static void MergeChildren(Value& run, const TreeNode* node) {
        for (const auto& c : node->children) {
            if (c->HasChildren())
                F::Merge(run, GetOfSubtree(c.get()));
            else
                F::Merge(run, F::Own(*c));
        }
    }
    static Value GetOfItems(const TreeItems& items) {
        Value run = F::Start();
        for (const TreeNode* n : items) F::Merge(run, GetOfSubtree(n));
        return run;
    }
    static void SetOfSubtree(DisplayTree& t, TreeNode* node, const Value& v) {
        F::Write(t, *node, v);
        for (auto& c : node->children) SetOfSubtree(t, c.get(), v);
    }
    static void SetOfItems(DisplayTree& t, const TreeItems& items, const Value& v) {
        for (TreeNode* n : items) SetOfSubtree(t, n, v);
    }
    // The item, then each ancestor up to the root, takes the merge of its subtree (markers
    // included).
    static void UpdateAncestor(DisplayTree& t, TreeNode* node) { UpdateAncestorsOf(t, {node}); }
    // From the parent of each listed item. Each ancestor is recomputed once, deepest first, from
    // its children's values as just written, so a long list costs one pass over the tree.
    static void UpdateAncestorOfItems(DisplayTree& t, const TreeItems& items) {
        TreeItems parents;
        for (TreeNode* n : items)
            if (n->parent) parents.push_back(n->parent);
        UpdateAncestorsOf(t, parents);
    }
    static void Save(TreeNode* node) {
        F::Save(*node);
        for (auto& c : node->children) Save(c.get());
    }
    static void SaveOfItems(const TreeItems& items) {
        for (TreeNode* n : items) Save(n);
    }
    static void Restore(DisplayTree& t, TreeNode* node) {
        F::Store(t, *node, F::Saved(*node));
        for (auto& c : node->children) Restore(t, c.get());
    }
    static void RestoreOfItems(DisplayTree& t, const TreeItems& items) {
        for (TreeNode* n : items) Restore(t, n);
    }
    static bool IsUnchanged(const TreeNode* node) {
        if (!F::Equal(F::Own(*node), F::Saved(*node))) return false;
        for (const auto& c : node->children)
            if (!IsUnchanged(c.get())) return false;
        return true;
    }
    static bool IsUnchangedOfItems(const TreeItems& items) {
        for (const TreeNode* n : items)
            if (!IsUnchanged(n)) return false;
        return true;
    }
    // Restores the listed subtrees and their ancestors when anything of them changed.
    static void RestoreChanged(DisplayTree& t, const TreeItems& items) {
        if (IsUnchangedOfItems(items)) return;
        RestoreOfItems(t, items);
        UpdateAncestorOfItems(t, items);
    }

    // ---- defaults (fields with a Default)
    static void SetDefaultOfSubtree(DisplayTree& t, TreeNode* node) {
        F::Write(t, *node, F::Default(t, *node));
        for (auto& c : node->children) SetDefaultOfSubtree(t, c.get());
    }
    static void SetDefaultOfItems(DisplayTree& t, const TreeItems& items) {
        for (TreeNode* n : items) SetDefaultOfSubtree(t, n);
    }
    static bool IsDefault(const DisplayTree& t, const TreeNode* node) {
        if (!F::Equal(F::Own(*node), F::Default(t, *node))) return false;
        for (const auto& c : node->children)
            if (!IsDefault(t, c.get())) return false;
        return true;
    }
    static bool IsDefaultOfItems(const DisplayTree& t, const TreeItems& items) {
        for (const TreeNode* n : items)
            if (!IsDefault(t, n)) return false;
        return true;
    }
    // The listed items themselves and all their ancestors, each recomputed once.
    static void UpdateAncestorsOf(DisplayTree& t, const TreeItems& starts);
};

using DisplayItemsFamily = DisplayFamily<DisplayItemsField>;
using StatsItemsFamily = DisplayFamily<StatsItemsField>;
using ColourKindFamily = DisplayFamily<ColourKindField>;
using DataColourFamily = DisplayFamily<DataColourField>;
using BitColoursFamily = DisplayFamily<BitColoursField>;
using ValueColoursFamily = DisplayFamily<ValueColoursField>;
using ColourSpectrumFamily = DisplayFamily<ColourSpectrumField>;
using OpacityFamily = DisplayFamily<OpacityField>;
using IncludeFlagsFamily = DisplayFamily<IncludeFlagsField>;
using BoundaryMaskFamily = DisplayFamily<BoundaryMaskField>;

template <class F>
void DisplayFamily<F>::UpdateAncestorsOf(DisplayTree& t, const TreeItems& starts) {
    // Every item to recompute, grouped by depth, each once.
    std::vector<TreeItems> byDepth;
    std::unordered_set<const TreeNode*> queued;
    for (TreeNode* s : starts)
        for (TreeNode* n = s; n; n = n->parent) {
            if (!queued.insert(n).second) break;  // its ancestors are queued too
            std::size_t d = static_cast<std::size_t>(n->Depth());
            if (byDepth.size() <= d) byDepth.resize(d + 1);
            byDepth[d].push_back(n);
        }
    // Deepest first: an item recomputed in this pass holds its subtree's merge already, so its
    // parent reads its value instead of walking it again.
    for (std::size_t d = byDepth.size(); d-- > 0;)
        for (TreeNode* n : byDepth[d]) {
            if (!n->HasChildren()) {
                F::Store(t, *n, F::Own(*n));
                continue;
            }
            Value v = F::Start();
            for (const auto& c : n->children) {
                if (!c->HasChildren() || queued.count(c.get()))
                    F::Merge(v, F::Own(*c));
                else
                    F::Merge(v, GetOfSubtree(c.get()));
            }
            F::Store(t, *n, v);
        }
}

// ---- the rest of the display state

// The default display colours of one item: the root merges its channels' defaults (the program
// defaults without channels), a channel takes the colours the sample keeps for it, a slice its
// channel's.
std::array<std::uint32_t, 3> GetDefaultDataColour(const DisplayTree& tree, const TreeNode* node);

// The imported flag of a subtree: a leaf's own flag, else the OR over the children.
bool GetImportedFlagOfSubtree(const TreeNode* node);
// The item and each ancestor take the OR of their subtree; their images follow.
void UpdateAncestorImportedFlag(DisplayTree& tree, TreeNode* node);
// The same for the listed items and their ancestors, each recomputed once.
void UpdateImportedFlagsOf(DisplayTree& tree, const TreeItems& items);

// Statistics of the item and every descendant: stale and cleared.
void ResetStatisticsOfSubtree(TreeNode* node);
void ResetStatisticsOfItems(const TreeItems& items, bool subtrees);

// Items whose mask names no channel of the sample any more lose their mask.
void ClearBoundaryMaskIfMissing(TreeNode* node, const ZunImage& sample);

// Saves every field of the listed subtrees (the display dialog opens), and restores each field
// that changed since, with its ancestors (the dialog's Cancel).
void SaveDisplayState(const TreeItems& items);
void RestoreDisplayState(DisplayTree& tree, const TreeItems& items);

// Brings the merged display state of an item and its ancestors up to date from the children:
// display items, display colours, opacity setting, colour kind, bit colours, spectrum and the
// imported flag.
void UpdateMergedStates(DisplayTree& tree, TreeNode* node);
void UpdateMergedStatesOfItems(DisplayTree& tree, const TreeItems& items);

}  // namespace zun
