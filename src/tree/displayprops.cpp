#include "tree/displayprops.h"

#include <cmath>
#include <unordered_set>

#include "foundation/numformat.h"
#include "model/sample.h"

namespace zun {

const char kInvalidOpacityValue[] = "Invalid opacity related value";
const char kMaskNoneSelected[] = "<None selected>";
const char kMaskNoneExist[] = "<None exist>";
const char kMixedText[] = " ...";
const char kDisplayPropertiesTitle[] = "Display Properties";

namespace {

constexpr int kOpacityMin = 0;
constexpr int kOpacityMax = 100;

bool AnyBoundary(const TreeItems& items) {
    for (const TreeNode* n : items) {
        if (n->IsBoundaryChannel() || n->IsBoundarySlice()) return true;
        if (n->Kind() == DispSpec::kRoot)
            for (const auto& c : n->children)
                if (c->IsBoundaryChannel()) return true;
    }
    return false;
}

// Writes a value to the items' subtrees, then brings the items and their ancestors up to date.
template <class Family>
void ApplyToItems(DisplayTree& tree, const TreeItems& items, const typename Family::Value& v) {
    Family::SetOfItems(tree, items, v);
    Family::UpdateAncestorsOf(tree, items);
}

template <class Family>
void RestoreFamily(DisplayTree& tree, const TreeItems& items) {
    Family::RestoreOfItems(tree, items);
    Family::UpdateAncestorsOf(tree, items);
}

template <class Family>
void DefaultItems(DisplayTree& tree, const TreeItems& items) {
    Family::SetDefaultOfItems(tree, items);
    Family::UpdateAncestorsOf(tree, items);
}

}  // namespace

TreeItems DisplayPropertiesItems(const DisplayTree& tree) {
    TreeNode* root = tree.Root();
    if (!root) return {};
    if (root->selected) return {root};
    TreeItems items;
    for (TreeNode* c = tree.FirstSelectedChannel(); c; c = tree.NextSelectedChannel(c)) items.push_back(c);
    if (!items.empty()) return items;
    for (TreeNode* s = tree.FirstSelectedSlice(); s; s = tree.NextSelectedSlice(s)) items.push_back(s);
    if (!items.empty()) return items;
    return {root};
}

std::string DisplayPropertiesTitle(const std::string& docTitle, const TreeItems& items) {
    std::string what = kDisplayPropertiesTitle;
    if (!items.empty() && items[0]->IsChannel())
        what = items.size() == 1 ? "Channel '" + DisplayTree::GetItemName(items[0]) + "' Display Properties"
                                 : "Multiple Channel Display Properties";
    else if (!items.empty() && items[0]->IsSlice())
        what = items.size() == 1 ? "Slice " + DisplayTree::GetItemName(items[0]) + " Display Properties"
                                 : "Multiple Slice Display Properties";
    return docTitle + ": " + what;
}

DisplayPropsModel::DisplayPropsModel(DisplayTree& tree, TreeItems items, DisplayPropsSink* sink)
    : tree_(tree), items_(std::move(items)), sink_(sink) {
    itemSet_.insert(items_.begin(), items_.end());
    touchesBoundary_ = AnyBoundary(items_);
    // Masks naming deleted channels are cleared before the state is saved, so that "Cancel"
    // cannot bring such a mask back.
    if (const ZunImage* sample = tree_.Sample()) {
        for (TreeNode* n : items_) ClearBoundaryMaskIfMissing(n, *sample);
        BoundaryMaskFamily::UpdateAncestorsOf(tree_, items_);
    }
    SaveDisplayState(items_);
    ReadMerged();

    buttons_.restoreItems = false;
    buttons_.restoreStats = false;
    UpdateStatsButtons();
    buttons_.restoreColours = false;
    buttons_.setDefaultColours = !DataColourFamily::IsDefaultOfItems(tree_, items_);
    UpdateOpacityButtons();
    buttons_.restoreOpacity = false;
    FillBoundaryMaskCombo();
}

void DisplayPropsModel::ReadMerged() {
    displayItems_ = DisplayItemsFamily::GetOfItems(items_);
    statColumns_ = StatsItemsFamily::GetOfItems(items_);
    colourKind_ = ColourKindFamily::GetOfItems(items_);
    displayColours_ = DataColourFamily::GetOfItems(items_);
    bitSpec_ = BitColoursFamily::GetOfItems(items_);
    valueSpec_ = ValueColoursFamily::GetOfItems(items_);
    multiSpec_ = ColourSpectrumFamily::GetOfItems(items_);
    opacity_ = OpacityFamily::GetOfItems(items_);
    includeFlags_ = IncludeFlagsFamily::GetOfItems(items_);
    mask_ = BoundaryMaskFamily::GetOfItems(items_);
}

std::string DisplayPropsModel::DataColourTitle() const {
    const std::size_t at = title.size() > 1 ? title.find(kDisplayPropertiesTitle, 1) : std::string::npos;
    if (at == std::string::npos) return "Data Colour";
    return title.substr(0, at) + "Data Colour";
}

// ---- swatches and fields

SwatchLook DisplayPropsModel::Swatch(int index) const {
    SwatchLook s;
    auto colourOrMixed = [&](std::uint32_t c) {
        if (c == kMixedColour || c == kUnsetColour) {
            s.face = true;
            s.text = kMixedText;
        } else {
            s.colour = c;
        }
    };
    if (index != 0) {
        colourOrMixed(displayColours_[static_cast<std::size_t>(index)]);
        return s;
    }
    switch (colourKind_) {
        case kKindMixed:
            s.face = true;
            s.text = kMixedText;
            break;
        case kKindUnset:
            s.face = true;
            s.text = " ?";
            break;
        case 0:
            colourOrMixed(displayColours_[0]);
            break;
        default:
            s.picture = colourKind_;
            break;
    }
    return s;
}

std::string DisplayPropsModel::OpacityText(int i) const {
    const float v = opacity_[static_cast<std::size_t>(i)];
    if (IsMixedOpacity(v)) return kMixedText;
    return FormatInt(SpinPosition(i), "%d");
}

int DisplayPropsModel::SpinPosition(int i) const {
    const float v = opacity_[static_cast<std::size_t>(i)];
    if (IsMixedOpacity(v)) return kOpacityMin;
    return static_cast<int>(std::floor(v * 100.0f + 0.49f));
}

CheckState DisplayPropsModel::IncLower() const {
    if (includeFlags_ & kIncLowerMixed) return CheckState::kIndeterminate;
    return (includeFlags_ & kIncLower) ? CheckState::kChecked : CheckState::kUnchecked;
}

CheckState DisplayPropsModel::IncUpper() const {
    if (includeFlags_ & kIncUpperMixed) return CheckState::kIndeterminate;
    return (includeFlags_ & kIncUpper) ? CheckState::kChecked : CheckState::kUnchecked;
}

bool DisplayPropsModel::ParseOpacityField(const std::string& text, float current, float& value) {
    if (text == kMixedText) {
        value = current;
        return true;
    }
    int n = 0;
    if (ScanString(text, "%d", &n) != 0 || n < kOpacityMin || n > kOpacityMax) return false;
    value = static_cast<float>(n) / 100.0f;
    return true;
}

// ---- display items

void DisplayPropsModel::ClickDisplay(int box, bool checked) {
    const std::int32_t bit = 1 << box;
    const std::int32_t v = checked ? (displayItems_ | bit) : (displayItems_ & ~bit);
    ApplyToItems<DisplayItemsFamily>(tree_, items_, v);
    displayItems_ = DisplayItemsFamily::GetOfItems(items_);
    buttons_.restoreItems = !DisplayItemsFamily::IsUnchangedOfItems(items_);
    View(kHintDisplayItems);
}

void DisplayPropsModel::RestoreItems() {
    RestoreFamily<DisplayItemsFamily>(tree_, items_);
    displayItems_ = DisplayItemsFamily::GetOfItems(items_);
    buttons_.restoreItems = false;
    View(kHintDisplayItems);
}

// ---- statistics

void DisplayPropsModel::UpdateStatsButtons() {
    buttons_.setAllStats = statColumns_ != kAllStatsColumns;
    buttons_.clearAllStats = statColumns_ != 0;
}

void DisplayPropsModel::ApplyStats() {
    StatsItemsFamily::SetOfItems(tree_, items_, statColumns_);
    StatsItemsFamily::UpdateAncestorsOf(tree_, items_);
    buttons_.restoreStats = !StatsItemsFamily::IsUnchangedOfItems(items_);
    UpdateStatsButtons();
    TreeStats();
}

void DisplayPropsModel::ClickStats(int box, bool checked) {
    const std::int32_t bit = kStatsBoxBits[static_cast<std::size_t>(box)];
    statColumns_ = checked ? (statColumns_ | bit) : (statColumns_ & ~bit);
    ApplyStats();
}

void DisplayPropsModel::SetAllStats() {
    statColumns_ = kAllStatsColumns;
    ApplyStats();
}

void DisplayPropsModel::ClearAllStats() {
    statColumns_ = 0;
    ApplyStats();
}

void DisplayPropsModel::RestoreStats() {
    // Each item gets its own columns back: writing the merged columns to every item, as a
    // change does, would give them all the union.
    RestoreFamily<StatsItemsFamily>(tree_, items_);
    statColumns_ = StatsItemsFamily::GetOfItems(items_);
    buttons_.restoreStats = false;
    UpdateStatsButtons();
    TreeStats();
}

// ---- colours

bool DisplayPropsModel::ColoursUnchanged() const {
    return ColourKindFamily::IsUnchangedOfItems(items_) && DataColourFamily::IsUnchangedOfItems(items_) &&
           BitColoursFamily::IsUnchangedOfItems(items_) && ValueColoursFamily::IsUnchangedOfItems(items_) &&
           ColourSpectrumFamily::IsUnchangedOfItems(items_);
}

bool DisplayPropsModel::ColoursDefault() const {
    return ColourKindFamily::IsDefaultOfItems(tree_, items_) &&
           DataColourFamily::IsDefaultOfItems(tree_, items_) &&
           BitColoursFamily::IsDefaultOfItems(tree_, items_) &&
           ValueColoursFamily::IsDefaultOfItems(tree_, items_) &&
           ColourSpectrumFamily::IsDefaultOfItems(tree_, items_);
}

void DisplayPropsModel::UpdateColourButtons(bool allFive) {
    buttons_.restoreColours = allFive ? !ColoursUnchanged() : !DataColourFamily::IsUnchangedOfItems(items_);
    buttons_.setDefaultColours = !ColoursDefault();
}

void DisplayPropsModel::SetLayerColour(int index, std::uint32_t colour) {
    if (index < 1 || index > 2 || !RoErrEnabled()) return;
    if (displayColours_[static_cast<std::size_t>(index)] == colour) return;
    displayColours_[static_cast<std::size_t>(index)] = colour;
    ApplyToItems<DataColourFamily>(tree_, items_, displayColours_);
    displayColours_ = DataColourFamily::GetOfItems(items_);
    UpdateColourButtons(false);
    View(kHintColour);
}

void DisplayPropsModel::RestoreColours() {
    RestoreFamily<ColourKindFamily>(tree_, items_);
    RestoreFamily<DataColourFamily>(tree_, items_);
    RestoreFamily<BitColoursFamily>(tree_, items_);
    RestoreFamily<ValueColoursFamily>(tree_, items_);
    RestoreFamily<ColourSpectrumFamily>(tree_, items_);
    ReadMerged();
    buttons_.restoreColours = false;
    buttons_.setDefaultColours = !ColoursDefault();
    View(kHintColour);
}

void DisplayPropsModel::SetDefaultColours() {
    DefaultItems<ColourKindFamily>(tree_, items_);
    DefaultItems<DataColourFamily>(tree_, items_);
    DefaultItems<BitColoursFamily>(tree_, items_);
    DefaultItems<ValueColoursFamily>(tree_, items_);
    DefaultItems<ColourSpectrumFamily>(tree_, items_);
    ReadMerged();
    buttons_.restoreColours = !ColoursUnchanged();
    buttons_.setDefaultColours = false;
    View(kHintColour);
}

void DisplayPropsModel::ApplyDataColour(std::int32_t kind, const std::array<std::uint32_t, 3>& colours,
                                        const DatcolBitSpec& bits, const DatcolValueSpec& values,
                                        const DatcolMultiSpec& spectrum) {
    bool changed = false;
    if (kind != colourKind_) colourKind_ = kind, changed = true;
    if (colours != displayColours_) displayColours_ = colours, changed = true;
    if (bits != bitSpec_) bitSpec_.Assign(bits), changed = true;
    if (values != valueSpec_) valueSpec_.Assign(values), changed = true;
    if (spectrum != multiSpec_) multiSpec_ = spectrum, changed = true;
    if (!changed) return;
    UpdateColourButtons(true);
}

// ---- opacity

void DisplayPropsModel::UpdateOpacityButtons() {
    buttons_.restoreOpacity =
        !(OpacityFamily::IsUnchangedOfItems(items_) && IncludeFlagsFamily::IsUnchangedOfItems(items_));
    buttons_.setDefaultOpacity =
        !OpacityFamily::IsDefaultOfItems(tree_, items_) || includeFlags_ != kIncludeDefault;
}

void DisplayPropsModel::SetOpacityValue(int i, float v) {
    opacity_[static_cast<std::size_t>(i)] = v;
    // The thresholds stay ordered: the other one follows the one just set. A mixed other one is
    // ordered item by item when the setting is written.
    const float other = opacity_[i == 0 ? 1 : 0];
    movedThreshold_ = -1;
    if (i > 1) return;
    if (IsMixedOpacity(other))
        movedThreshold_ = i;
    else if (i == 0 && other < v)
        opacity_[1] = v;
    else if (i == 1 && other > v)
        opacity_[0] = v;
}

namespace {
// Each leaf of the subtree keeps its low threshold at or below its high one, the threshold just
// set winning; the leaves changed are collected.
void OrderThresholds(TreeNode* node, int moved, TreeItems& changed) {
    if (node->HasChildren()) {
        for (auto& c : node->children) OrderThresholds(c.get(), moved, changed);
        return;
    }
    auto& o = node->spec.shown.opacity;
    if (o.size() < 2 || o[0] <= o[1]) return;
    if (moved == 0)
        o[1] = o[0];
    else
        o[0] = o[1];
    changed.push_back(node);
}
}  // namespace

void DisplayPropsModel::ApplyOpacity() {
    OpacityFamily::SetOfItems(tree_, items_, opacity_);
    TreeItems starts = items_;
    if (movedThreshold_ >= 0)
        for (TreeNode* n : items_) OrderThresholds(n, movedThreshold_, starts);
    movedThreshold_ = -1;
    OpacityFamily::UpdateAncestorsOf(tree_, starts);
    opacity_ = OpacityFamily::GetOfItems(items_);
    UpdateOpacityButtons();
    View(kHintOpacity);
}

void DisplayPropsModel::OpacityFieldDone(int i, const std::string& text) {
    if (!OpacityControlsEnabled()) return;
    float v = 0;
    if (!ParseOpacityField(text, opacity_[static_cast<std::size_t>(i)], v)) {
        buttons_.restoreOpacity = true;
        buttons_.setDefaultOpacity = true;
        return;
    }
    if (SameOpacity(v, opacity_[static_cast<std::size_t>(i)])) return;
    SetOpacityValue(i, v);
    ApplyOpacity();
}

void DisplayPropsModel::SpinDone(int i, int position) {
    if (!OpacityControlsEnabled()) return;
    SetOpacityValue(i, static_cast<float>(position) / 100.0f);
    ApplyOpacity();
}

void DisplayPropsModel::ClickInclude(std::int32_t on, std::int32_t mixed) {
    if ((includeFlags_ & on) && !(includeFlags_ & mixed))
        includeFlags_ &= ~(on | mixed);
    else
        includeFlags_ = (includeFlags_ | on) & ~mixed;
    ApplyToItems<IncludeFlagsFamily>(tree_, items_, includeFlags_);
    includeFlags_ = IncludeFlagsFamily::GetOfItems(items_);
    UpdateOpacityButtons();
    View(kHintOpacity);
}

void DisplayPropsModel::ClickIncLower() {
    ClickInclude(kIncLower, kIncLowerMixed);
}

void DisplayPropsModel::ClickIncUpper() {
    ClickInclude(kIncUpper, kIncUpperMixed);
}

void DisplayPropsModel::RestoreOpacity() {
    RestoreFamily<OpacityFamily>(tree_, items_);
    RestoreFamily<IncludeFlagsFamily>(tree_, items_);
    opacity_ = OpacityFamily::GetOfItems(items_);
    includeFlags_ = IncludeFlagsFamily::GetOfItems(items_);
    UpdateOpacityButtons();
    buttons_.restoreOpacity = false;
    View(kHintOpacity);
}

void DisplayPropsModel::SetDefaultOpacity() {
    DefaultItems<OpacityFamily>(tree_, items_);
    opacity_ = OpacityFamily::GetOfItems(items_);
    ApplyToItems<IncludeFlagsFamily>(tree_, items_, kIncludeDefault);
    includeFlags_ = IncludeFlagsFamily::GetOfItems(items_);
    UpdateOpacityButtons();
    buttons_.setDefaultOpacity = false;
    View(kHintOpacity);
}

// ---- boundary mask

void DisplayPropsModel::FillBoundaryMaskCombo() {
    maskEntries_.clear();
    if (const ZunImage* sample = tree_.Sample())
        for (int i = 0; i < sample->GetChanCount(); ++i)
            if (sample->GetChan(i)->kind == ZunChan::kBoundary)
                maskEntries_.push_back(sample->GetChan(i)->name);
    maskEntries_.insert(maskEntries_.begin(), maskEntries_.empty() ? kMaskNoneExist : kMaskNoneSelected);
    ShowMask();
}

void DisplayPropsModel::ShowMask() {
    if (maskEntries_.size() == 1 && maskEntries_[0] == kMaskNoneExist) {
        maskChecked_ = false;
        maskBoxEnabled_ = false;
        maskComboEnabled_ = false;
        maskSelection_ = 0;
        buttons_.restoreMask = false;
        return;
    }
    maskBoxEnabled_ = true;
    maskChecked_ = mask_.state > 0 || mask_.state == kMaskMixed;
    // A mixed name is shown as its own first entry until the list is opened.
    const bool hasMixed = maskEntries_[0] == kMixedText;
    if (mask_.name == kMaskNameMixed) {
        if (!hasMixed) maskEntries_.insert(maskEntries_.begin(), kMixedText);
        maskSelection_ = 0;
    } else {
        const std::string wanted = mask_.name.empty() ? kMaskNoneSelected : mask_.name;
        maskSelection_ = -1;
        for (std::size_t i = 0; i < maskEntries_.size(); ++i)
            if (maskEntries_[i] == wanted && maskEntries_[i] != kMixedText) {
                maskSelection_ = static_cast<int>(i);
                break;
            }
    }
    maskComboEnabled_ = maskChecked_;
    buttons_.restoreMask = !BoundaryMaskFamily::IsUnchangedOfItems(items_);
}

void DisplayPropsModel::ApplyMask() {
    ApplyToItems<BoundaryMaskFamily>(tree_, items_, mask_);
    mask_ = BoundaryMaskFamily::GetOfItems(items_);
}

void DisplayPropsModel::ClickMask(bool checked) {
    if (!maskBoxEnabled_) return;
    mask_.state = checked ? 1 : 0;
    ApplyMask();
    ShowMask();
    TreeStats();
    View(kHintMask);
}

void DisplayPropsModel::MaskDropDown() {
    if (maskEntries_.empty() || maskEntries_[0] != kMixedText) return;
    maskEntries_.erase(maskEntries_.begin());
    for (std::size_t i = 0; i < maskEntries_.size(); ++i)
        if (maskEntries_[i] == kMaskNoneSelected) maskSelection_ = static_cast<int>(i);
}

void DisplayPropsModel::SelectMask(int entry) {
    if (entry < 0 || entry >= static_cast<int>(maskEntries_.size())) return;
    const std::string& text = maskEntries_[static_cast<std::size_t>(entry)];
    if (text == kMaskNoneExist || text == kMixedText) return;
    const std::string name = text == kMaskNoneSelected ? std::string() : text;
    maskSelection_ = entry;
    if (name == mask_.name) return;
    mask_.name = name;
    ApplyMask();
    ShowMask();
    TreeStats();
    View(kHintMask);
}

void DisplayPropsModel::RestoreMask() {
    RestoreFamily<BoundaryMaskFamily>(tree_, items_);
    mask_ = BoundaryMaskFamily::GetOfItems(items_);
    ShowMask();
    TreeStats();
    View(kHintMask);
}

// ---- closing

bool DisplayPropsModel::Ok(const std::array<std::string, 4>& fieldTexts) {
    for (int i = 0; i < 4; ++i) {
        float v = 0;
        if (!ParseOpacityField(fieldTexts[static_cast<std::size_t>(i)], opacity_[static_cast<std::size_t>(i)],
                               v))
            return false;
    }
    for (int i = 0; i < 4; ++i) OpacityFieldDone(i, fieldTexts[static_cast<std::size_t>(i)]);
    return true;
}

void DisplayPropsModel::Cancel() {
    if (!DisplayItemsFamily::IsUnchangedOfItems(items_)) RestoreItems();
    if (!StatsItemsFamily::IsUnchangedOfItems(items_)) RestoreStats();
    if (!ColoursUnchanged()) RestoreColours();
    if (!OpacityFamily::IsUnchangedOfItems(items_) || !IncludeFlagsFamily::IsUnchangedOfItems(items_))
        RestoreOpacity();
    if (!BoundaryMaskFamily::IsUnchangedOfItems(items_)) RestoreMask();
}

bool DisplayPropsModel::DropVanishedItems() {
    // Item pointers of deleted items are only compared, never followed.
    std::unordered_set<const TreeNode*> live;
    for (TreeNode* n = tree_.Root(); n; n = DisplayTree::NextInPreOrder(n)) live.insert(n);
    TreeItems kept;
    for (TreeNode* n : items_)
        if (live.count(n)) kept.push_back(n);
    if (kept.size() != items_.size()) {
        items_ = std::move(kept);
        itemSet_.clear();
        itemSet_.insert(items_.begin(), items_.end());
        if (!items_.empty()) {
            touchesBoundary_ = AnyBoundary(items_);
            ReadMerged();
        }
    }
    if (!items_.empty()) FillBoundaryMaskCombo();
    return !items_.empty();
}

}  // namespace zun
