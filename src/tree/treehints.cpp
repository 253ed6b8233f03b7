#include "tree/treehints.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "model/sample.h"
#include "tree/displaystate.h"
#include "tree/treestats.h"

namespace zun {

namespace {

std::string Number(std::uint32_t n) {
    return std::to_string(n);
}

// Relabels the slices of a channel item from row on with consecutive numbers from first on.
void Renumber(DisplayTree& tree, TreeNode* channel, int row, std::uint32_t first) {
    for (int r = std::max(row, 0); r < channel->ChildCount(); ++r) {
        TreeNode* s = channel->Child(r);
        tree.SetLabel(s, BuildItemLabel(Number(first++), s->spec));
    }
}

TreeItems ChannelsOf(const DisplayTree& tree) {
    TreeItems out;
    for (auto& c : tree.Root()->children) out.push_back(c.get());
    return out;
}

// Reset, compute and relabel one item alone (its children keep their caches).
void RecomputeAlone(DisplayTree& tree, TreeNode* item) {
    item->spec.ResetStatistics();
    ComputeStatistics(tree, item);
    tree.RefreshLabel(item);
}

void RecomputeCollected(DisplayTree& tree, const TreeItems& items) {
    for (TreeNode* n : items) n->spec.ResetStatistics();
    RefreshStatisticsOfItems(tree, items);
    // A slice's change moves its channel's total, and so the document's.
    std::set<TreeNode*> grand;
    for (TreeNode* n : items)
        if (n->parent && n->parent->parent) grand.insert(n->parent->parent);
    for (TreeNode* g : grand) RecomputeAlone(tree, g);
}

void InsertChannel(DisplayTree& tree, const InsertChanMod& m) {
    ZunImage* sample = tree.Sample();
    TreeNode* root = tree.Root();
    if (!sample || !root) return;
    const int index = sample->FindChanIndex(m.name);
    if (index < 0) return;
    const ZunChan* chan = sample->GetChan(index);
    int row = 0;
    if (!m.after.empty()) {
        TreeNode* before = tree.FindChannel(m.after);
        if (before) row = before->row + 1;
    }
    const std::int32_t type = chan->kind;
    const std::vector<float> opacity = MakeDefaultOpacity(type);
    const std::int32_t items = (type == ZunChan::kComposition && index != 1) ? DispSpec::kItemData : 0;
    const std::int32_t columns = type == ZunChan::kComposition ? DispSpec::kColAve : 0;
    DispSpec cs(items, columns, DispSpec::kChannel, &opacity, &tree.dataDisplay, type, false, false);
    for (std::size_t k = 0; k < 3 && k < chan->colours.size(); ++k)
        cs.shown.displayColours[k] = static_cast<std::uint32_t>(chan->colours[k]);
    cs.SaveState();
    auto node = DisplayTree::MakeNode(cs, chan->name);
    const int slices = sample->GetChanCount() > 0 ? sample->GetChan(0)->GetSliceCount() : 0;
    DispSpec ss = cs;
    ss.kind = DispSpec::kSlice;
    for (int z = 0; z < slices; ++z) {
        auto sn = DisplayTree::MakeNode(ss, Number(static_cast<std::uint32_t>(z)));
        sn->parent = node.get();
        sn->row = z;
        node->children.push_back(std::move(sn));
    }
    TreeNode* added = node.get();
    std::vector<std::unique_ptr<TreeNode>> one;
    one.push_back(std::move(node));
    tree.InsertChildren(root, row, std::move(one));
    ResetStatisticsOfSubtree(added);
    RefreshItemLabelsOfSubtree(tree, added);
    UpdateMergedStates(tree, added);
    RecomputeAlone(tree, root);
}

void DeleteChannels(DisplayTree& tree, const DeleteChanMod& m) {
    TreeNode* root = tree.Root();
    if (!root) return;
    for (const std::string& name : m.names)
        if (TreeNode* c = tree.FindChannel(name)) tree.RemoveChildren(root, c->row, 1);
    RecomputeAlone(tree, root);
    UpdateMergedStates(tree, root);
}

// A definite value for each marker part of a channel's merged state: the neighbour's own value.
void FillMarkers(DispSpec& spec, const DispSpec* neighbour) {
    DispSpec::Displayed& d = spec.shown;
    const DispSpec fallback(0, 0, DispSpec::kSlice, nullptr, nullptr, spec.channelType);
    const DispSpec::Displayed& n = neighbour ? neighbour->shown : fallback.shown;
    if (d.colourKind < 0) d.colourKind = n.colourKind;
    for (std::size_t i = 0; i < d.displayColours.size() && i < n.displayColours.size(); ++i)
        if (d.displayColours[i] == kMixedColour || d.displayColours[i] == kUnsetColour)
            d.displayColours[i] = n.displayColours[i];
    for (std::size_t i = 0; i < d.opacity.size() && i < n.opacity.size(); ++i)
        if (IsMixedOpacity(d.opacity[i]) || IsUnsetOpacity(d.opacity[i])) d.opacity[i] = n.opacity[i];
    auto entries = [](DatcolBaseSpec& e, const DatcolBaseSpec& from) {
        for (int i = 0; i < DatcolBaseSpec::kEntries; ++i) {
            if (e.colours[i] == kMixedColour || e.colours[i] == kUnsetColour) e.colours[i] = from.colours[i];
            if (IsMixedOpacity(e.opacities[i]) || IsUnsetOpacity(e.opacities[i]))
                e.opacities[i] = from.opacities[i];
        }
        e.RebuildDerivedLists();
    };
    entries(d.bitSpec, n.bitSpec);
    entries(d.valueSpec, n.valueSpec);
    for (int i = 0; i < DatcolMultiSpec::kStops; ++i)
        if (d.multiSpec.colours[i] == kMixedColour || d.multiSpec.colours[i] == kUnsetColour)
            d.multiSpec.colours[i] = n.multiSpec.colours[i];
}

void InsertSlices(DisplayTree& tree, const InsertSliceMod& m, TreeItems& collected) {
    TreeNode* root = tree.Root();
    if (!root || m.count == 0) return;
    for (auto& ch : root->children) {
        TreeNode* channel = ch.get();
        int row;
        if (m.first == 0) {
            row = 0;
        } else if (TreeNode* at = tree.FindSlice(channel, m.first)) {
            row = at->row;
        } else {
            row = channel->ChildCount();
        }
        // The new items take the channel's merged state; a neighbour fills what is mixed.
        const TreeNode* neighbour =
            row > 0 ? channel->Child(row - 1) : (channel->HasChildren() ? channel->Child(0) : nullptr);
        DispSpec spec(channel->spec.shown.displayItems, channel->spec.statColumns, DispSpec::kSlice,
                      &channel->spec.shown.opacity, nullptr, channel->spec.channelType,
                      channel->spec.active != 0, false);
        spec.shown.displayColours = channel->spec.shown.displayColours;
        spec.shown.colourKind = channel->spec.shown.colourKind;
        spec.shown.bitSpec.Assign(channel->spec.shown.bitSpec);
        spec.shown.valueSpec.Assign(channel->spec.shown.valueSpec);
        spec.shown.multiSpec = channel->spec.shown.multiSpec;
        FillMarkers(spec, neighbour ? &neighbour->spec : nullptr);
        spec.SaveState();
        std::vector<std::unique_ptr<TreeNode>> nodes;
        for (std::uint32_t k = 0; k < m.count; ++k)
            nodes.push_back(DisplayTree::MakeNode(spec, Number(m.first + k)));
        tree.InsertChildren(channel, row, std::move(nodes));
        for (std::uint32_t k = 0; k < m.count; ++k)
            collected.push_back(channel->Child(row + static_cast<int>(k)));
        Renumber(tree, channel, row + static_cast<int>(m.count), m.first + m.count);
    }
    UpdateMergedStatesOfItems(tree, ChannelsOf(tree));
}

template <class F>
void ForAddressedSlices(DisplayTree& tree, const std::optional<std::string>& channel, std::uint32_t first,
                        std::uint32_t count, const std::vector<ChanSliceRecord>& records, F f) {
    if (channel) {
        TreeNode* c = tree.FindChannel(*channel);
        if (!c) return;
        for (std::uint32_t z = first; z - first < count; ++z)
            if (TreeNode* s = tree.FindSlice(c, z)) f(c, s);
        return;
    }
    for (const ChanSliceRecord& r : records) {
        TreeNode* c = tree.FindChannel(r.channel);
        if (TreeNode* s = c ? tree.FindSlice(c, r.slice) : nullptr) f(c, s);
    }
}

void ImportSlices(DisplayTree& tree, const ImportSliceMod& m) {
    const ZunImage* sample = tree.Sample();
    TreeItems collected;
    std::vector<TreeNode*> channels;
    ForAddressedSlices(tree, m.channel, m.first, m.count, m.records, [&](TreeNode* c, TreeNode* s) {
        const ZunChan* chan = sample ? sample->FindChan(DisplayTree::GetItemName(c)) : nullptr;
        const bool kept = (chan && chan->retainImages) || m.imported;
        s->spec.imported = (!c->IsBoundaryChannel() && kept) ? 1 : 0;
        tree.TouchItem(s);
        collected.push_back(s);
        if (std::find(channels.begin(), channels.end(), c) == channels.end()) channels.push_back(c);
    });
    UpdateImportedFlagsOf(tree, collected);
    RecomputeCollected(tree, collected);
    DisplayItemsFamily::UpdateAncestorsOf(tree, channels);
}

void ClearSlices(DisplayTree& tree, const ClearSliceMod& m) {
    TreeItems collected;
    ForAddressedSlices(tree, m.channel, m.first, m.count, m.records, [&](TreeNode*, TreeNode* s) {
        if (s->spec.imported) {
            s->spec.imported = 0;
            tree.TouchItem(s);
        }
        collected.push_back(s);
    });
    UpdateImportedFlagsOf(tree, collected);
    RecomputeCollected(tree, collected);
}

void ReverseSlices(DisplayTree& tree, const ReverseSliceMod& m) {
    TreeNode* c = tree.FindChannel(m.channel);
    if (!c) return;
    for (std::uint32_t i = 0; i < m.count / 2; ++i) {
        TreeNode* a = tree.FindSlice(c, i);
        TreeNode* b = tree.FindSlice(c, m.count - 1 - i);
        if (!a || !b) continue;
        std::swap(a->spec, b->spec);
        std::swap(a->savedDisplayItems, b->savedDisplayItems);
        std::swap(a->savedStatColumns, b->savedStatColumns);
        tree.SetLabel(a, BuildItemLabel(Number(i), a->spec));
        tree.SetLabel(b, BuildItemLabel(Number(m.count - 1 - i), b->spec));
        tree.TouchItem(a);
        tree.TouchItem(b);
    }
}

void DeleteSlices(DisplayTree& tree, const DeleteSliceMod& m, unsigned hint) {
    TreeNode* root = tree.Root();
    if (!root) return;
    TreeItems recompute;
    for (auto& ch : root->children) {
        TreeNode* channel = ch.get();
        if (!m.numbers) {
            TreeNode* at = tree.FindSlice(channel, m.first);
            if (!at) continue;
            const int row = at->row;
            tree.RemoveChildren(channel, row, static_cast<int>(m.count));
            Renumber(tree, channel, row, m.first);
        } else {
            std::vector<std::uint32_t> numbers = *m.numbers;
            std::sort(numbers.begin(), numbers.end(), std::greater<>());
            numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
            if (numbers.empty()) continue;
            // From the highest number down, so the lower items stay where their numbers say;
            // runs of adjacent items go in one removal.
            int lowestRow = -1;
            std::uint32_t lowestNumber = 0;
            std::size_t i = 0;
            while (i < numbers.size()) {
                TreeNode* top = tree.FindSlice(channel, numbers[i]);
                if (!top) {
                    ++i;
                    continue;
                }
                int low = top->row, run = 1;
                std::size_t j = i + 1;
                while (j < numbers.size() && low > 0 && numbers[j] + 1 == numbers[j - 1] &&
                       DisplayTree::GetItemName(channel->Child(low - 1)) == Number(numbers[j])) {
                    --low;
                    ++run;
                    ++j;
                }
                tree.RemoveChildren(channel, low, run);
                lowestRow = low;
                lowestNumber = numbers[j - 1];
                i = j;
            }
            // The items after the lowest removed one close the gap.
            if (lowestRow >= 0) Renumber(tree, channel, lowestRow, lowestNumber);
        }
        recompute.push_back(channel);
    }
    UpdateMergedStatesOfItems(tree, recompute);
    for (TreeNode* channel : recompute) {
        if (hint == 0) {
            ResetStatisticsOfSubtree(channel);
            RefreshItemLabelsOfSubtree(tree, channel);
        } else {
            // The remaining slices keep their data: their caches make the channel's totals.
            RecomputeAlone(tree, channel);
        }
    }
    RecomputeAlone(tree, root);
}

void ChangeBoundaries(DisplayTree& tree, const ChangeBoundMod& m) {
    const std::set<std::string> names(m.channels.begin(), m.channels.end());
    TreeItems collected;
    for (auto& ch : tree.Root()->children) {
        const bool changed = names.count(DisplayTree::GetItemName(ch.get())) != 0;
        for (auto& s : ch->children)
            if (s->spec.statColumns != 0 && (changed || names.count(s->spec.shown.maskName)))
                collected.push_back(s.get());
    }
    RecomputeCollected(tree, collected);
}

void SetActive(DisplayTree& tree, TreeNode* channel, bool active) {
    const std::uint8_t flag = active ? 1 : 0;
    auto set = [&](TreeNode* n) {
        if (n->spec.active == flag) return;
        n->spec.active = flag;
        tree.TouchItem(n);
    };
    set(channel);
    for (auto& s : channel->children) set(s.get());
}

void MoveActiveBoundary(DisplayTree& tree, const ActiveBoundMod& m) {
    for (auto& ch : tree.Root()->children)
        if (ch->spec.active) SetActive(tree, ch.get(), false);
    if (!m.active || m.name.empty()) return;
    if (TreeNode* c = tree.FindChannel(m.name)) SetActive(tree, c, true);
}

void StatsChanged(DisplayTree& tree, const StatsMod& m) {
    if (!m.items) {
        ResetStatisticsOfSubtree(tree.Root());
        RefreshItemLabelsOfSubtree(tree, tree.Root());
        return;
    }
    // The set may come from another program: only items of this tree are taken.
    std::unordered_set<const void*> mine;
    for (TreeNode* n = tree.Root(); n; n = DisplayTree::NextInPreOrder(n)) mine.insert(n);
    for (TreeItemId id : *m.items) {
        if (!mine.count(id)) continue;
        TreeNode* n = const_cast<TreeNode*>(static_cast<const TreeNode*>(id));
        ResetStatisticsOfSubtree(n);
        RefreshItemLabelsOfSubtree(tree, n);
    }
}

}  // namespace

bool ReshapesTree(const ChangeHint* h) {
    return dynamic_cast<const InsertChanMod*>(h) || dynamic_cast<const DeleteChanMod*>(h) ||
           dynamic_cast<const InsertSliceMod*>(h) || dynamic_cast<const DeleteSliceMod*>(h);
}

TreeHintResult ApplyChangeHint(DisplayTree& tree, unsigned hint, const ChangeHint* h) {
    TreeHintResult result;
    result.statusBits = hint & (kTreeStatusText | kTreeStatusValues);
    if (!h || !tree.Root()) return result;
    TreeItems collected;
    if (auto* m = dynamic_cast<const InsertChanMod*>(h)) {
        InsertChannel(tree, *m);
        result.structureChanged = true;
    } else if (auto* m = dynamic_cast<const DeleteChanMod*>(h)) {
        DeleteChannels(tree, *m);
        result.structureChanged = true;
    } else if (auto* m = dynamic_cast<const RenameChanMod*>(h)) {
        if (TreeNode* c = tree.FindChannel(m->oldName)) {
            tree.SetLabel(c, BuildItemLabel(m->newName, c->spec));
            result.renamed = true;
            result.oldName = m->oldName;
            result.newName = m->newName;
        }
    } else if (auto* m = dynamic_cast<const InsertSliceMod*>(h)) {
        InsertSlices(tree, *m, collected);
        // New items get real statistics at once, or their labels would show the reset values.
        RecomputeCollected(tree, collected);
        result.structureChanged = true;
    } else if (auto* m = dynamic_cast<const ImportSliceMod*>(h)) {
        ImportSlices(tree, *m);
    } else if (auto* m = dynamic_cast<const ClearSliceMod*>(h)) {
        ClearSlices(tree, *m);
    } else if (auto* m = dynamic_cast<const ReverseSliceMod*>(h)) {
        ReverseSlices(tree, *m);
    } else if (auto* m = dynamic_cast<const DeleteSliceMod*>(h)) {
        DeleteSlices(tree, *m, hint);
        result.structureChanged = true;
    } else if (auto* m = dynamic_cast<const RenameDocMod*>(h)) {
        tree.SetLabel(tree.Root(), m->title);
    } else if (auto* m = dynamic_cast<const ChangeBoundMod*>(h)) {
        ChangeBoundaries(tree, *m);
    } else if (auto* m = dynamic_cast<const ActiveBoundMod*>(h)) {
        MoveActiveBoundary(tree, *m);
    } else if (auto* m = dynamic_cast<const StatsMod*>(h)) {
        StatsChanged(tree, *m);
    }
    return result;
}

std::string ReplaceQuotedName(const std::string& text, const std::string& oldName,
                              const std::string& newName) {
    const std::string from = "'" + oldName + "'", to = "'" + newName + "'";
    std::string out;
    std::size_t at = 0;
    for (std::size_t p; (p = text.find(from, at)) != std::string::npos; at = p + from.size()) {
        out.append(text, at, p - at);
        out += to;
    }
    out.append(text, at, std::string::npos);
    return out;
}

}  // namespace zun
