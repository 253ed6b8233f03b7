#pragma once
// Everything the "Composition Properties" dialog shows and decides, without its widgets: the
// formula, density and relative-accuracy texts of one composition channel, what Apply writes into
// the channel and the controller, what Cancel restores, and which buttons are live.

#include <functional>
#include <string>
#include <vector>

#include "model/compound.h"

namespace zun {

class CZunDoc;
class Prompt;

namespace compoundmsg {
inline constexpr const char* kInvalidDensity = "Invalid density entry";
inline constexpr const char* kInvalidAccuracy = "Invalid relative accuracy entry";
}  // namespace compoundmsg

class CompoundPropsModel {
public:
    enum ApplyResult { kApplied, kBadDensity, kBadAccuracy, kBadFormula };

    // channel: an index of the document's sample (a composition channel). prompt shows the
    // number-entry messages and the formula parser's message for a refused formula.
    CompoundPropsModel(CZunDoc& doc, int channel, Prompt* prompt);

    std::string title = "Composition Properties";

    // Takes the saved copies and fills the fields from the channel; false when the index is not a
    // composition channel.
    bool Open();

    // The element symbols the list offers, in their usual order.
    static const std::vector<std::string>& Symbols();

    // The fields as the dialog shows them; the dialog writes edits back through the On... calls.
    std::string formulaText;
    std::string densityText;
    std::string accuracyText;
    bool autoRename = false;
    bool estimateEnabled = true;
    bool applyEnabled = false;

    void OnFormulaChanged(const std::string& text);
    void OnDensityChanged(const std::string& text);
    void OnAccuracyChanged(const std::string& text);
    void OnAutoRenameChanged(bool on);

    // "Estimate Density": the element table's density for the channel's composition into the
    // density field; nothing is written to the channel.
    void EstimateDensity();

    // "Apply" (refresh: the fields are rewritten from what was stored) and OK (no refresh). A
    // rejected entry has had its message shown and leaves the channel as it was.
    ApplyResult Apply(bool refresh);
    // Cancel: the composition last applied (or the one at opening) and the accuracy at opening
    // go back into the channel. Neither renames nor marks the document modified.
    void Cancel();

    // The stored relative accuracy of the channel (0 when the controller keeps none).
    float StoredAccuracy() const;
    int Channel() const { return channel_; }
    const std::string& ChannelName() const;

    // A change was applied: the windows that show this channel's attenuation recompute it.
    std::function<void(int channel)> refreshDependents;
    // Cancel put an older composition back: the same windows follow.
    std::function<void(int channel)> compositionRestored;

    // Number fields: empty reads as 0; otherwise one "%f" value, >= 0 (density) or 0..1 (accuracy).
    static bool ReadDensity(const std::string& text, float* value);
    static bool ReadAccuracy(const std::string& text, float* value);

private:
    Compound& Comp() const;
    void StoreAccuracy(float value);

    CZunDoc& doc_;
    int channel_;
    Prompt* prompt_;
    Compound saved_;
    float savedAccuracy_ = 0.0f;
};

}  // namespace zun
