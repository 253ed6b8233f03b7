#pragma once
// What the "Display Properties" dialog shows and does, without its widgets: the merged display
// state of the items it was opened on, the effect of every control on those items (each change
// reaches the items, their ancestors and the 3-D view at once), the enabled state of every
// button, and "Cancel" putting back only the groups that changed. The dialog only draws this
// state and forwards clicks and texts.

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "document/changehints.h"
#include "document/datcolspec.h"
#include "tree/displaystate.h"

namespace zun {

extern const char kInvalidOpacityValue[];     // "Invalid opacity related value"
extern const char kMaskNoneSelected[];        // "<None selected>"
extern const char kMaskNoneExist[];           // "<None exist>"
extern const char kMixedText[];               // " ..."
extern const char kDisplayPropertiesTitle[];  // "Display Properties"

// Where the dialog's changes go besides the items: the 3-D view of the same window (update bits
// 8 display items, 16 colours, 64 opacity and include flags, 128 boundary mask) and the tree,
// which recomputes and relabels the items of a statistics hint.
class DisplayPropsSink {
public:
    virtual ~DisplayPropsSink() = default;
    virtual void UpdateView(unsigned bits) = 0;
    virtual void UpdateTreeStats(const std::set<TreeItemId>& items) = 0;
};

enum class CheckState { kUnchecked, kChecked, kIndeterminate };

// A colour swatch: a colour with no text, the window's button-face colour with a text, or one of
// the colour-kind pictures (1 per data bit, 2 spectrum, 3 per value).
struct SwatchLook {
    bool face = false;
    std::uint32_t colour = 0;
    std::string text;
    int picture = 0;
    bool operator==(const SwatchLook&) const = default;
};

// Statistics bits of the five check boxes, in the order "Ave", "Stdev", "Min", "Max", "N".
inline constexpr std::array<std::int32_t, 5> kStatsBoxBits{4, 8, 1, 2, 16};
inline constexpr std::int32_t kAllStatsColumns = 31;

// The items a "Display Properties" command opens on: the root when it is selected (or nothing
// is), else the selected channels, else the selected slices.
TreeItems DisplayPropertiesItems(const DisplayTree& tree);
// The dialog's title for those items: the document title, ": ", then "Display Properties",
// "Channel '<name>' Display Properties", "Multiple Channel Display Properties",
// "Slice <n> Display Properties" or "Multiple Slice Display Properties".
std::string DisplayPropertiesTitle(const std::string& docTitle, const TreeItems& items);

class DisplayPropsModel {
public:
    // The items must be items of the tree; the model saves their display state at once.
    DisplayPropsModel(DisplayTree& tree, TreeItems items, DisplayPropsSink* sink);

    // ---- what the dialog shows
    const TreeItems& Items() const { return items_; }
    const std::set<TreeItemId>& ItemSet() const { return itemSet_; }
    std::string title = kDisplayPropertiesTitle;
    // The Data Colour dialog's title: this title's part before "Display Properties", then
    // "Data Colour".
    std::string DataColourTitle() const;

    bool DisplayChecked(int box) const { return (displayItems_ & (1 << box)) != 0; }
    bool StatsChecked(int box) const {
        return (statColumns_ & kStatsBoxBits[static_cast<std::size_t>(box)]) != 0;
    }
    std::int32_t DisplayItems() const { return displayItems_; }
    std::int32_t StatColumns() const { return statColumns_; }
    bool TouchesBoundary() const { return touchesBoundary_; }

    std::int32_t ColourKind() const { return colourKind_; }
    const std::array<std::uint32_t, 3>& DisplayColours() const { return displayColours_; }
    const DatcolBitSpec& BitSpec() const { return bitSpec_; }
    const DatcolValueSpec& ValueSpec() const { return valueSpec_; }
    const DatcolMultiSpec& Spectrum() const { return multiSpec_; }
    // 0 Data, 1 RO, 2 ERR.
    SwatchLook Swatch(int index) const;

    const std::array<float, 4>& Opacity() const { return opacity_; }
    std::int32_t IncludeFlags() const { return includeFlags_; }
    // The field's text (" ..." for a mixed value) and its spin position.
    std::string OpacityText(int i) const;
    int SpinPosition(int i) const;
    CheckState IncLower() const;
    CheckState IncUpper() const;
    bool OpacityControlsEnabled() const { return colourKind_ != 1; }

    const BoundaryMaskValue& Mask() const { return mask_; }
    const std::vector<std::string>& MaskEntries() const { return maskEntries_; }
    int MaskSelection() const { return maskSelection_; }
    bool MaskChecked() const { return maskChecked_; }
    bool MaskBoxEnabled() const { return maskBoxEnabled_; }
    bool MaskComboEnabled() const { return maskComboEnabled_; }

    bool RoErrEnabled() const { return !touchesBoundary_; }

    struct Buttons {
        bool restoreItems = false;
        bool restoreStats = false;
        bool setAllStats = false;
        bool clearAllStats = false;
        bool restoreColours = false;
        bool setDefaultColours = false;
        bool restoreOpacity = false;
        bool setDefaultOpacity = false;
        bool restoreMask = false;
    };
    const Buttons& Enabled() const { return buttons_; }

    // ---- the controls
    void ClickDisplay(int box, bool checked);  // box 0 Data, 1 RO, 2 ERR
    void RestoreItems();
    void ClickStats(int box, bool checked);
    void SetAllStats();
    void ClearAllStats();
    void RestoreStats();
    // A colour chosen in the picker for RO (1) or ERR (2); an unchanged colour does nothing.
    void SetLayerColour(int index, std::uint32_t colour);
    void RestoreColours();
    void SetDefaultColours();
    // The final values of the Data Colour dialog (which changed the items itself while open).
    void ApplyDataColour(std::int32_t kind, const std::array<std::uint32_t, 3>& colours,
                         const DatcolBitSpec& bits, const DatcolValueSpec& values,
                         const DatcolMultiSpec& spectrum);
    // An opacity field lost the focus with this text.
    void OpacityFieldDone(int i, const std::string& text);
    // A spin button ended its scroll at this position (0..100).
    void SpinDone(int i, int position);
    void ClickIncLower();
    void ClickIncUpper();
    void RestoreOpacity();
    void SetDefaultOpacity();
    void ClickMask(bool checked);
    void MaskDropDown();
    void SelectMask(int entry);
    void RestoreMask();
    // Refills the mask entries from the sample's boundary channels and shows the mask.
    void FillBoundaryMaskCombo();
    // "OK": false when a field is invalid (the dialog shows kInvalidOpacityValue and stays);
    // else every field's text is applied as its own confirmation would, however OK was reached
    // (a field typed into and closed with Enter never saw its own confirmation).
    bool Ok(const std::array<std::string, 4>& fieldTexts);
    // "Cancel": every group that changed is restored.
    void Cancel();

    // Items the tree no longer holds are dropped (after the document deleted channels or
    // slices); false when none is left and the dialog must close.
    bool DropVanishedItems();

    // Parses an opacity field: the value (the current one for " ..."), or false when invalid.
    static bool ParseOpacityField(const std::string& text, float current, float& value);

private:
    void ReadMerged();
    void SetOpacityValue(int i, float v);
    void ApplyOpacity();
    void ApplyMask();
    void ShowMask();
    void UpdateColourButtons(bool fromDataColour);
    void UpdateOpacityButtons();
    void UpdateStatsButtons();
    void ApplyStats();
    void ClickInclude(std::int32_t on, std::int32_t mixed);
    bool ColoursUnchanged() const;
    bool ColoursDefault() const;
    void View(unsigned bits) {
        if (sink_) sink_->UpdateView(bits);
    }
    void TreeStats() {
        if (sink_) sink_->UpdateTreeStats(itemSet_);
    }

    DisplayTree& tree_;
    TreeItems items_;
    std::set<TreeItemId> itemSet_;
    DisplayPropsSink* sink_;
    bool touchesBoundary_ = false;

    std::int32_t displayItems_ = 0;
    std::int32_t statColumns_ = 0;
    std::int32_t colourKind_ = kKindUnset;
    std::array<std::uint32_t, 3> displayColours_{};
    DatcolBitSpec bitSpec_;
    DatcolValueSpec valueSpec_;
    DatcolMultiSpec multiSpec_;
    std::array<float, 4> opacity_{};
    std::int32_t includeFlags_ = kIncludeDefault;
    int movedThreshold_ = -1;  // the threshold set over a mixed other one, ordered per item
    BoundaryMaskValue mask_;

    std::vector<std::string> maskEntries_;
    int maskSelection_ = -1;
    bool maskChecked_ = false;
    bool maskBoxEnabled_ = true;
    bool maskComboEnabled_ = false;
    Buttons buttons_;
};

}  // namespace zun
