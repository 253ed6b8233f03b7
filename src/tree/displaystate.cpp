#include "tree/displaystate.h"

#include "model/sample.h"

namespace zun {

namespace {

// Neither marker is a colour: a merged value never writes one into an item.
bool IsMarkerColour(std::uint32_t c) {
    return c == kMixedColour || c == kUnsetColour;
}
bool IsMarkerOpacity(float o) {
    return IsMixedOpacity(o) || IsUnsetOpacity(o);
}

void MergeColour(std::uint32_t& run, std::uint32_t c) {
    if (run == kUnsetColour)
        run = c;
    else if (run != c)
        run = kMixedColour;
}

void MergeOpacity(float& run, float c) {
    if (IsUnsetOpacity(run))
        run = c;
    else if (!SameOpacity(run, c))
        run = kMixedOpacity;
}

void MergeEntries(DatcolBaseSpec& run, const DatcolBaseSpec& c) {
    for (int i = 0; i < DatcolBaseSpec::kEntries; ++i) {
        if (!run.enables[i]) run.enables[i] = c.enables[i];
        MergeColour(run.colours[i], c.colours[i]);
        MergeOpacity(run.opacities[i], c.opacities[i]);
    }
}

void WriteEntries(DatcolBaseSpec& own, const DatcolBaseSpec& v) {
    own.enables = v.enables;
    for (int i = 0; i < DatcolBaseSpec::kEntries; ++i) {
        if (!IsMarkerColour(v.colours[i])) own.colours[i] = v.colours[i];
        if (!IsMarkerOpacity(v.opacities[i])) own.opacities[i] = v.opacities[i];
    }
}

std::array<std::uint32_t, 3> ColoursOf(const std::vector<std::uint32_t>& v) {
    std::array<std::uint32_t, 3> a{kDefaultDataColour, kDefaultRoColour, kDefaultErrColour};
    for (std::size_t i = 0; i < 3 && i < v.size(); ++i) a[i] = v[i];
    return a;
}

std::array<float, 4> OpacityOfVector(const std::vector<float>& v) {
    std::array<float, 4> a{0.0f, 1.0f, 0.0f, 1.0f};
    for (std::size_t i = 0; i < 4 && i < v.size(); ++i) a[i] = v[i];
    return a;
}

}  // namespace

// ---- display items

void DisplayItemsField::Write(DisplayTree& t, TreeNode& n, const Value& v) {
    // A boundary is shown as data only: it has no read-only or error voxels of its own.
    Value stored = (n.IsBoundaryChannel() || n.IsBoundarySlice()) ? (v & DispSpec::kItemData) : v;
    if (n.spec.shown.displayItems == stored) return;
    n.spec.shown.displayItems = stored;
    t.TouchItem(&n);
}

// ---- colour kind

void ColourKindField::Merge(Value& run, const Value& c) {
    if (run == kKindUnset)
        run = c;
    else if (run != c)
        run = kKindMixed;
}

// ---- display colours

DataColourField::Value DataColourField::Own(const TreeNode& n) {
    return ColoursOf(n.spec.shown.displayColours);
}

DataColourField::Value DataColourField::Saved(const TreeNode& n) {
    return ColoursOf(n.spec.saved.displayColours);
}

void DataColourField::Merge(Value& run, const Value& c) {
    for (int i = 0; i < 3; ++i) MergeColour(run[i], c[i]);
}

void DataColourField::Write(DisplayTree&, TreeNode& n, const Value& v) {
    auto& own = n.spec.shown.displayColours;
    if (own.size() != 3) own = {kDefaultDataColour, kDefaultRoColour, kDefaultErrColour};
    // A boundary has only its data colour.
    const int last = (n.IsBoundaryChannel() || n.IsBoundarySlice()) ? 1 : 3;
    for (int i = 0; i < last; ++i)
        if (!IsMarkerColour(v[i])) own[i] = v[i];
}

void DataColourField::Store(DisplayTree&, TreeNode& n, const Value& v) {
    n.spec.shown.displayColours.assign(v.begin(), v.end());
}

DataColourField::Value DataColourField::Default(const DisplayTree& t, const TreeNode& n) {
    return GetDefaultDataColour(t, &n);
}

std::array<std::uint32_t, 3> GetDefaultDataColour(const DisplayTree& tree, const TreeNode* node) {
    const std::array<std::uint32_t, 3> program{kDefaultDataColour, kDefaultRoColour, kDefaultErrColour};
    switch (node->Kind()) {
        case DispSpec::kRoot: {
            DataColourField::Value run = DataColourField::Start();
            bool any = false;
            for (const auto& c : node->children) {
                if (!c->IsChannel()) continue;
                any = true;
                DataColourField::Merge(run, GetDefaultDataColour(tree, c.get()));
            }
            return any ? run : program;
        }
        case DispSpec::kChannel: {
            const ZunImage* sample = tree.Sample();
            if (!sample) return program;
            std::vector<std::int32_t> c =
                sample->GetColours(sample->FindChanIndex(DisplayTree::GetItemName(node)));
            std::array<std::uint32_t, 3> out = program;
            for (std::size_t i = 0; i < 3 && i < c.size(); ++i) out[i] = static_cast<std::uint32_t>(c[i]);
            return out;
        }
        default:
            return node->parent ? GetDefaultDataColour(tree, node->parent) : program;
    }
}

// ---- bit and value colours, spectrum

void BitColoursField::Merge(Value& run, const Value& c) {
    MergeEntries(run, c);
}

void BitColoursField::Write(DisplayTree&, TreeNode& n, const Value& v) {
    WriteEntries(n.spec.shown.bitSpec, v);
    if (n.IsSlice()) n.spec.shown.bitSpec.RebuildDerivedLists();
}

BitColoursField::Value BitColoursField::Default(const DisplayTree&, const TreeNode&) {
    DatcolBitSpec d;
    d.AssignDefault();
    return d;
}

void ValueColoursField::Merge(Value& run, const Value& c) {
    MergeEntries(run, c);
    if (!run.fromEnabled) run.fromEnabled = c.fromEnabled;
    if (!run.toEnabled) run.toEnabled = c.toEnabled;
    run.fromValue = std::max(run.fromValue, c.fromValue);
    run.toValue = std::min(run.toValue, c.toValue);
    if (run.entryFormat == 0) run.entryFormat = c.entryFormat;
}

void ValueColoursField::Write(DisplayTree&, TreeNode& n, const Value& v) {
    DatcolValueSpec& own = n.spec.shown.valueSpec;
    WriteEntries(own, v);
    own.fromEnabled = v.fromEnabled;
    own.toEnabled = v.toEnabled;
    own.fromValue = v.fromValue;
    own.toValue = v.toValue;
    own.entryFormat = v.entryFormat;
    if (n.IsSlice()) own.RebuildDerivedLists();
}

ValueColoursField::Value ValueColoursField::Default(const DisplayTree&, const TreeNode&) {
    DatcolValueSpec d;
    d.AssignDefault();
    return d;
}

void ColourSpectrumField::Merge(Value& run, const Value& c) {
    for (int i = 0; i < DatcolMultiSpec::kStops; ++i) {
        if (!run.enables[i]) run.enables[i] = c.enables[i];
        MergeColour(run.colours[i], c.colours[i]);
    }
}

void ColourSpectrumField::Write(DisplayTree&, TreeNode& n, const Value& v) {
    DatcolMultiSpec& own = n.spec.shown.multiSpec;
    own.enables = v.enables;
    for (int i = 0; i < DatcolMultiSpec::kStops; ++i)
        if (!IsMarkerColour(v.colours[i])) own.colours[i] = v.colours[i];
}

ColourSpectrumField::Value ColourSpectrumField::Default(const DisplayTree&, const TreeNode&) {
    DatcolMultiSpec d;
    d.AssignDefault();
    return d;
}

// ---- opacity setting

OpacityField::Value OpacityField::Own(const TreeNode& n) {
    return OpacityOfVector(n.spec.shown.opacity);
}

OpacityField::Value OpacityField::Saved(const TreeNode& n) {
    return OpacityOfVector(n.spec.saved.opacity);
}

void OpacityField::Merge(Value& run, const Value& c) {
    for (int i = 0; i < 4; ++i) MergeOpacity(run[i], c[i]);
}

void OpacityField::Write(DisplayTree&, TreeNode& n, const Value& v) {
    auto& own = n.spec.shown.opacity;
    if (own.size() != 4) {
        auto a = OpacityOfVector(own);
        own.assign(a.begin(), a.end());
    }
    for (int i = 0; i < 4; ++i)
        if (!IsMarkerOpacity(v[i])) own[i] = v[i];
}

void OpacityField::Store(DisplayTree&, TreeNode& n, const Value& v) {
    n.spec.shown.opacity.assign(v.begin(), v.end());
}

bool OpacityField::Equal(const Value& a, const Value& b) {
    for (int i = 0; i < 4; ++i)
        if (!SameOpacity(a[i], b[i])) return false;
    return true;
}

OpacityField::Value OpacityField::Default(const DisplayTree&, const TreeNode& n) {
    return OpacityOfVector(MakeDefaultOpacity(n.spec.channelType));
}

// ---- include flags

void IncludeFlagsField::Merge(Value& run, const Value& c) {
    if (run == kIncludeUnset) {
        run = c;
        return;
    }
    const std::int32_t pairs[2][2] = {{kIncLower, kIncLowerMixed}, {kIncUpper, kIncUpperMixed}};
    for (const auto& p : pairs)
        if (!(run & p[1]) && ((run & p[0]) != 0) != ((c & p[0]) != 0)) run |= p[1];
}

void IncludeFlagsField::Write(DisplayTree&, TreeNode& n, const Value& v) {
    // Items with children hold only the merge of their leaves.
    if (n.HasChildren()) return;
    std::int32_t& own = n.spec.shown.includeFlags;
    if (!(v & kIncLowerMixed)) own = (own & ~kIncLower) | (v & kIncLower);
    if (!(v & kIncUpperMixed)) own = (own & ~kIncUpper) | (v & kIncUpper);
}

// ---- boundary mask

void BoundaryMaskField::Merge(Value& run, const Value& c) {
    if (run.state == kMaskUnset)
        run.state = c.state;
    else if (run.state != c.state)
        run.state = kMaskMixed;
    if (run.name == kMaskNameUnset)
        run.name = c.name;
    else if (run.name != c.name)
        run.name = kMaskNameMixed;
}

void BoundaryMaskField::Write(DisplayTree&, TreeNode& n, const Value& v) {
    if (v.state >= 0) n.spec.shown.maskState = v.state;
    if (v.name != kMaskNameMixed && v.name != kMaskNameUnset) n.spec.shown.maskName = v.name;
}

// ---- the rest

bool GetImportedFlagOfSubtree(const TreeNode* node) {
    if (!node->HasChildren()) return node->spec.imported != 0;
    for (const auto& c : node->children)
        if (GetImportedFlagOfSubtree(c.get())) return true;
    return false;
}

void UpdateAncestorImportedFlag(DisplayTree& tree, TreeNode* node) {
    UpdateImportedFlagsOf(tree, {node});
}

void UpdateImportedFlagsOf(DisplayTree& tree, const TreeItems& items) {
    // Each item and ancestor once, deepest first, so a parent reads its children's new flags.
    std::vector<TreeItems> byDepth;
    std::unordered_set<const TreeNode*> queued;
    for (TreeNode* s : items)
        for (TreeNode* n = s; n; n = n->parent) {
            if (!queued.insert(n).second) break;
            const std::size_t d = static_cast<std::size_t>(n->Depth());
            if (byDepth.size() <= d) byDepth.resize(d + 1);
            byDepth[d].push_back(n);
        }
    for (std::size_t d = byDepth.size(); d-- > 0;)
        for (TreeNode* n : byDepth[d]) {
            if (!n->HasChildren()) continue;
            bool any = false;
            for (const auto& c : n->children) {
                any = (c->HasChildren() && !queued.count(c.get())) ? GetImportedFlagOfSubtree(c.get())
                                                                   : c->spec.imported != 0;
                if (any) break;
            }
            const std::uint8_t flag = any ? 1 : 0;
            if (n->spec.imported == flag) continue;
            n->spec.imported = flag;
            tree.TouchItem(n);
        }
}

void ResetStatisticsOfSubtree(TreeNode* node) {
    node->spec.ResetStatistics();
    for (auto& c : node->children) ResetStatisticsOfSubtree(c.get());
}

void ResetStatisticsOfItems(const TreeItems& items, bool subtrees) {
    for (TreeNode* n : items) {
        if (subtrees)
            ResetStatisticsOfSubtree(n);
        else
            n->spec.ResetStatistics();
    }
}

void ClearBoundaryMaskIfMissing(TreeNode* node, const ZunImage& sample) {
    auto& shown = node->spec.shown;
    if (!shown.maskName.empty() && !sample.HasItemName(shown.maskName)) {
        shown.maskState = 0;
        shown.maskName.clear();
    }
    for (auto& c : node->children) ClearBoundaryMaskIfMissing(c.get(), sample);
}

void SaveDisplayState(const TreeItems& items) {
    DisplayItemsFamily::SaveOfItems(items);
    StatsItemsFamily::SaveOfItems(items);
    ColourKindFamily::SaveOfItems(items);
    DataColourFamily::SaveOfItems(items);
    BitColoursFamily::SaveOfItems(items);
    ValueColoursFamily::SaveOfItems(items);
    ColourSpectrumFamily::SaveOfItems(items);
    OpacityFamily::SaveOfItems(items);
    IncludeFlagsFamily::SaveOfItems(items);
    BoundaryMaskFamily::SaveOfItems(items);
}

void RestoreDisplayState(DisplayTree& tree, const TreeItems& items) {
    DisplayItemsFamily::RestoreChanged(tree, items);
    StatsItemsFamily::RestoreChanged(tree, items);
    ColourKindFamily::RestoreChanged(tree, items);
    DataColourFamily::RestoreChanged(tree, items);
    BitColoursFamily::RestoreChanged(tree, items);
    ValueColoursFamily::RestoreChanged(tree, items);
    ColourSpectrumFamily::RestoreChanged(tree, items);
    OpacityFamily::RestoreChanged(tree, items);
    IncludeFlagsFamily::RestoreChanged(tree, items);
    BoundaryMaskFamily::RestoreChanged(tree, items);
}

void UpdateMergedStatesOfItems(DisplayTree& tree, const TreeItems& items) {
    DisplayItemsFamily::UpdateAncestorsOf(tree, items);
    DataColourFamily::UpdateAncestorsOf(tree, items);
    OpacityFamily::UpdateAncestorsOf(tree, items);
    ColourKindFamily::UpdateAncestorsOf(tree, items);
    BitColoursFamily::UpdateAncestorsOf(tree, items);
    ColourSpectrumFamily::UpdateAncestorsOf(tree, items);
    UpdateImportedFlagsOf(tree, items);
}

void UpdateMergedStates(DisplayTree& tree, TreeNode* node) {
    UpdateMergedStatesOfItems(tree, {node});
}

}  // namespace zun
