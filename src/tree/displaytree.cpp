#include "tree/displaytree.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "model/sample.h"
#include "tree/displaystate.h"
#include "tree/treestats.h"

namespace zun {

std::string ItemNameOfLabel(const std::string& label) {
    std::string name = label.substr(0, label.find('{'));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    return name;
}

int ItemImageIndex(const DispSpec& spec) {
    const int type = (spec.channelType >= 0 && spec.channelType <= 3) ? spec.channelType : 0;
    switch (spec.kind) {
        case DispSpec::kChannel:
            return 17 + 2 * type;
        case DispSpec::kSlice:
            return 25 + 2 * type;
        default:
            return 15;
    }
}

int ItemOverlayIndex(const DispSpec& spec) {
    const std::int32_t items = spec.shown.displayItems & 7;
    const bool data = (items & DispSpec::kItemData) != 0;
    const bool overlays = (items & (DispSpec::kItemRo | DispSpec::kItemErr)) != 0;
    int index;
    if (spec.active)
        index = items ? 5 : 4;
    else
        index = data ? (overlays ? 3 : 1) : (overlays ? 2 : 0);
    return index + (spec.imported ? 8 : 0);
}

std::string BuildItemLabel(const std::string& name, const DispSpec& spec) {
    if (spec.kind == DispSpec::kRoot || spec.statColumns == 0) return name;
    std::string label = name + " {";
    bool first = true;
    auto add = [&](const char* key, const char* text) {
        if (!first) label += ',';
        first = false;
        label += key;
        label += text;
    };
    char buf[64];
    const struct {
        int column;
        const char* key;
        float value;
    } reals[] = {{DispSpec::kColAve, "ave=", spec.statAve},
                 {DispSpec::kColStdev, "stdev=", spec.statStdev},
                 {DispSpec::kColMin, "min=", spec.statMin},
                 {DispSpec::kColMax, "max=", spec.statMax}};
    for (const auto& r : reals) {
        if (!(spec.statColumns & r.column)) continue;
        std::snprintf(buf, sizeof buf, "%.3g", static_cast<double>(r.value));
        add(r.key, buf);
    }
    if (spec.statColumns & DispSpec::kColN) {
        std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(spec.statCount));
        add("n=", buf);
    }
    return label + "}";
}

DisplayTree::DisplayTree() = default;
DisplayTree::~DisplayTree() = default;

std::unique_ptr<TreeNode> DisplayTree::MakeNode(const DispSpec& spec, std::string label) {
    auto n = std::make_unique<TreeNode>();
    n->spec = spec;
    n->label = std::move(label);
    n->savedDisplayItems = spec.shown.displayItems;
    n->savedStatColumns = spec.statColumns;
    return n;
}

void DisplayTree::Build(ZunImage& sample, const std::string& title) {
    if (built_) return;
    sample_ = &sample;
    auto root = MakeNode(DispSpec(0, 0, DispSpec::kRoot, nullptr, &dataDisplay), title);
    for (int i = 0; i < sample.GetChanCount(); ++i) {
        const ZunChan* chan = sample.GetChan(i);
        const std::int32_t type = chan->kind;
        const std::vector<float> opacity = MakeDefaultOpacity(type);
        const std::int32_t items = (type == ZunChan::kComposition && i != 0) ? DispSpec::kItemData : 0;
        const std::int32_t columns = type == ZunChan::kComposition ? DispSpec::kColAve : 0;
        const bool active = i == sample.activeBoundaryIndex;
        // Each channel shows in the colours the sample keeps for it, so that a fresh tree is at
        // its default colours.
        DispSpec cs(items, columns, DispSpec::kChannel, &opacity, &dataDisplay, type, active, false);
        for (std::size_t k = 0; k < 3 && k < chan->colours.size(); ++k)
            cs.shown.displayColours[k] = static_cast<std::uint32_t>(chan->colours[k]);
        cs.SaveState();
        auto cn = MakeNode(cs, chan->name);
        cn->parent = root.get();
        cn->row = i;
        for (int z = 0; z < chan->GetSliceCount(); ++z) {
            // Composition slices show their average too, so that the channel's figure is made of
            // them (a channel with no counted slice would show a zero average).
            DispSpec ss(items, columns, DispSpec::kSlice, &opacity, &dataDisplay, type, active,
                        chan->GetSlice(z)->imported);
            ss.shown.displayColours = cs.shown.displayColours;
            ss.SaveState();
            auto sn = MakeNode(ss, std::to_string(z));
            sn->parent = cn.get();
            sn->row = z;
            cn->children.push_back(std::move(sn));
        }
        root->children.push_back(std::move(cn));
    }
    ResetRoot(std::move(root));
    TreeItems channels;
    for (auto& c : root_->children) channels.push_back(c.get());
    UpdateMergedStatesOfItems(*this, channels);
    ResetStatisticsOfSubtree(root_.get());
    RefreshItemLabelsOfSubtree(*this, root_.get());
    built_ = true;
}

void DisplayTree::BuildCopy(ZunImage& sample, const DisplayTree& source) {
    if (built_) return;
    sample_ = &sample;
    viewOption = source.viewOption;
    dataDisplay = source.dataDisplay;
    std::function<std::unique_ptr<TreeNode>(const TreeNode*, TreeNode*, int)> copy =
        [&](const TreeNode* s, TreeNode* parent, int row) {
            auto n = MakeNode(s->spec, s->label);
            n->savedDisplayItems = s->savedDisplayItems;
            n->savedStatColumns = s->savedStatColumns;
            n->parent = parent;
            n->row = row;
            for (int i = 0; i < s->ChildCount(); ++i) n->children.push_back(copy(s->Child(i), n.get(), i));
            return n;
        };
    if (source.root_) ResetRoot(copy(source.root_.get(), nullptr, 0));
    built_ = true;
}

std::size_t DisplayTree::ItemCount() const {
    std::size_t n = 0;
    for (const TreeNode* p = root_.get(); p; p = NextInPreOrder(p)) ++n;
    return n;
}

TreeNode* DisplayTree::FindChildByName(const TreeNode* start, const std::string& name) const {
    const TreeNode* parent = start ? start : root_.get();
    if (!parent) return nullptr;
    for (const auto& c : parent->children)
        if (GetItemName(c.get()) == name) return c.get();
    return nullptr;
}

TreeNode* DisplayTree::FindSlice(const TreeNode* channel, std::uint32_t number) const {
    if (!channel) return nullptr;
    const std::string name = std::to_string(number);
    if (number < channel->children.size()) {
        TreeNode* guess = channel->children[number].get();
        if (GetItemName(guess) == name) return guess;
    }
    return FindChildByName(channel, name);
}

TreeNode* DisplayTree::FirstSelectedChannel() const {
    if (!root_) return nullptr;
    for (auto& c : root_->children)
        if (c->IsChannel() && c->selected) return c.get();
    return nullptr;
}

TreeNode* DisplayTree::NextSelectedChannel(const TreeNode* channel) const {
    if (!channel || !channel->parent) return nullptr;
    for (int i = channel->row + 1; i < channel->parent->ChildCount(); ++i) {
        TreeNode* c = channel->parent->Child(i);
        if (c->IsChannel() && c->selected) return c;
    }
    return nullptr;
}

TreeNode* DisplayTree::FirstSelectedBoundary() const {
    TreeNode* c = FirstSelectedChannel();
    while (c && !c->IsBoundaryChannel()) c = NextSelectedChannel(c);
    return c;
}

TreeNode* DisplayTree::NextSelectedBoundary(const TreeNode* channel) const {
    TreeNode* c = NextSelectedChannel(channel);
    while (c && !c->IsBoundaryChannel()) c = NextSelectedChannel(c);
    return c;
}

TreeNode* DisplayTree::NextInPreOrder(const TreeNode* node) {
    if (!node) return nullptr;
    if (node->HasChildren()) return node->Child(0);
    for (const TreeNode* n = node; n->parent; n = n->parent)
        if (n->row + 1 < n->parent->ChildCount()) return n->parent->Child(n->row + 1);
    return nullptr;
}

TreeNode* DisplayTree::FirstSelectedSlice() const {
    for (TreeNode* n = root_.get(); n; n = NextInPreOrder(n))
        if (n->IsSlice() && n->selected) return n;
    return nullptr;
}

TreeNode* DisplayTree::NextSelectedSlice(const TreeNode* slice) const {
    for (TreeNode* n = NextInPreOrder(slice); n; n = NextInPreOrder(n))
        if (n->IsSlice() && n->selected) return n;
    return nullptr;
}

bool DisplayTree::HasBoundaryChannel() const {
    if (!root_) return false;
    for (auto& c : root_->children)
        if (c->IsBoundaryChannel()) return true;
    return false;
}

void DisplayTree::RefreshLabel(TreeNode* node) {
    SetLabel(node, BuildItemLabel(GetItemName(node), node->spec));
}

void DisplayTree::SetLabel(TreeNode* node, std::string label) {
    if (node->label == label) return;
    node->label = std::move(label);
    TouchItem(node);
}

void DisplayTree::TouchItem(const TreeNode* node) const {
    if (listener_) listener_->ItemChanged(node);
}

void DisplayTree::Renumber(TreeNode* parent, int from) {
    for (int i = std::max(from, 0); i < parent->ChildCount(); ++i) parent->Child(i)->row = i;
}

void DisplayTree::InsertChildren(TreeNode* parent, int row, std::vector<std::unique_ptr<TreeNode>> nodes) {
    if (nodes.empty()) return;
    row = std::clamp(row, 0, parent->ChildCount());
    const int count = static_cast<int>(nodes.size());
    if (listener_) listener_->BeginInsert(parent, row, count);
    for (auto& n : nodes) n->parent = parent;
    parent->children.insert(parent->children.begin() + row, std::make_move_iterator(nodes.begin()),
                            std::make_move_iterator(nodes.end()));
    Renumber(parent, row);
    if (listener_) listener_->EndInsert();
}

void DisplayTree::RemoveChildren(TreeNode* parent, int row, int count) {
    if (row < 0 || count <= 0 || row >= parent->ChildCount()) return;
    count = std::min(count, parent->ChildCount() - row);
    if (listener_) listener_->BeginRemove(parent, row, count);
    parent->children.erase(parent->children.begin() + row, parent->children.begin() + row + count);
    Renumber(parent, row);
    if (listener_) listener_->EndRemove();
}

void DisplayTree::ResetRoot(std::unique_ptr<TreeNode> root) {
    if (listener_) listener_->BeginReset();
    root_ = std::move(root);
    if (root_) {
        root_->parent = nullptr;
        root_->row = 0;
    }
    if (listener_) listener_->EndReset();
}

}  // namespace zun
