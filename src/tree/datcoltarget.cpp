#include "tree/datcoltarget.h"

#include <unordered_set>
#include "document/changehints.h"

#include "model/sample.h"

namespace zun {

namespace {
template <class Family>
void Apply(DisplayTree& tree, const TreeItems& items, const typename Family::Value& v) {
    Family::SetOfItems(tree, items, v);
    Family::UpdateAncestorsOf(tree, items);
}

void Collect(TreeNode* n, std::vector<TreeNode*>& out) {
    out.push_back(n);
    for (auto& c : n->children) Collect(c.get(), out);
}
}  // namespace

TreeDatcolTarget::TreeDatcolTarget(DisplayTree& tree, TreeItems items, std::function<void(unsigned)> redraw)
    : tree_(tree), items_(std::move(items)), redraw_(std::move(redraw)) {
    std::vector<TreeNode*> nodes;
    for (TreeNode* n : items_) Collect(n, nodes);
    before_.reserve(nodes.size());
    for (TreeNode* n : nodes) {
        const auto& s = n->spec.shown;
        Colours c{n, s.colourKind, s.displayColours, {}, {}, s.multiSpec};
        c.bits.Assign(s.bitSpec);
        c.values.Assign(s.valueSpec);
        before_.push_back(std::move(c));
    }
}

TreeItems TreeDatcolTarget::LiveItems() {
    std::unordered_set<const TreeNode*> live;
    for (TreeNode* n = tree_.Root(); n; n = DisplayTree::NextInPreOrder(n)) live.insert(n);
    std::erase_if(items_, [&](TreeNode* n) { return !live.count(n); });
    std::erase_if(before_, [&](const Colours& c) { return !live.count(c.node); });
    return items_;
}

void TreeDatcolTarget::SetColourKind(std::int32_t kind) {
    Apply<ColourKindFamily>(tree_, LiveItems(), kind);
}

void TreeDatcolTarget::SetSingleColour(std::uint32_t colour) {
    // Only the data colour: the read-only and error colours of each item stay its own.
    Apply<DataColourFamily>(tree_, LiveItems(), {colour, kMixedColour, kMixedColour});
}

void TreeDatcolTarget::SetBitSpec(const DatcolBitSpec& spec) {
    Apply<BitColoursFamily>(tree_, LiveItems(), spec);
}

void TreeDatcolTarget::SetValueSpec(const DatcolValueSpec& spec) {
    Apply<ValueColoursFamily>(tree_, LiveItems(), spec);
}

void TreeDatcolTarget::SetSpectrum(const DatcolMultiSpec& spec) {
    Apply<ColourSpectrumFamily>(tree_, LiveItems(), spec);
}

void TreeDatcolTarget::RestoreColours() {
    LiveItems();
    for (Colours& c : before_) {
        auto& s = c.node->spec.shown;
        s.colourKind = c.kind;
        s.displayColours = c.displayColours;
        s.bitSpec.Assign(c.bits);
        s.valueSpec.Assign(c.values);
        s.multiSpec = c.spectrum;
    }
    ColourKindFamily::UpdateAncestorOfItems(tree_, items_);
    DataColourFamily::UpdateAncestorOfItems(tree_, items_);
    BitColoursFamily::UpdateAncestorOfItems(tree_, items_);
    ValueColoursFamily::UpdateAncestorOfItems(tree_, items_);
    ColourSpectrumFamily::UpdateAncestorOfItems(tree_, items_);
}

void TreeDatcolTarget::Redraw() {
    if (redraw_) redraw_(kHintColour);
}

bool TreeDatcolTarget::PhysicalRange(float& min, float& max) const {
    const ZunImage* sample = tree_.Sample();
    if (!sample || items_.empty()) return false;
    std::string channel;
    for (const TreeNode* n : items_) {
        const TreeNode* c = n->IsSlice() ? n->parent : n;
        if (!c || !c->IsChannel()) return false;
        const std::string name = DisplayTree::GetItemName(c);
        if (!channel.empty() && name != channel) return false;
        channel = name;
    }
    const ZunChan* chan = sample->FindChan(channel);
    if (!chan || chan->range.size() != 2) return false;
    min = chan->range[0];
    max = chan->range[1];
    return true;
}

}  // namespace zun
