#pragma once
// What the boundary wizard's pages show, check and store, without their windows: the reference
// channel and threshold of the cluster-based page with its unit conversions and rule texts, the
// contributing channels of the value-based page, and the sizes of the geometric pages. Storing
// writes into the wizard's current definition; a failed check counts as a page error there.

#include <array>
#include <string>
#include <vector>

#include "model/bounddef.h"

namespace zun {

class Prompt;
class ZunImage;

namespace boundmsg {
extern const char kNoClusters[];       // "No channel clusters selected.\nCannot generate ..."
extern const char kRawRange[];         // "Raw value must be between 0 and 16383"
extern const char kNormalisedRange[];  // "Normalized value must be between 0.0 and 1.0"
extern const char kStrengthRange[];    // "Value must lie between 0 and 1"
}  // namespace boundmsg

// The controls of the "Channel cluster based" page.
struct ClusterPageFields {
    int row = -1;  // the reference channel's row, -1 when none is selected
    int unit = BoundDef::kNormalised;
    std::string threshold;
    std::string label;
    int lowCombine = BoundDef::kCombineOr;
    int highCombine = BoundDef::kCombineOr;
    std::string lowRule;
    std::string highRule;
};

class ClusterBoundaryPage {
public:
    // Every channel of the sample except the first target, in sample order.
    ClusterBoundaryPage(const ZunImage& sample, const std::string& firstTarget);

    const std::vector<std::string>& Rows() const { return rows_; }
    // The page's opening; a physical threshold never chosen becomes the selected channel's
    // mid-range value when the stored reference is not listed.
    ClusterPageFields Open(BoundDef& def) const;
    // The selected channel's range, printed trimmed, and its middle rounded to 6 decimals
    // ("channel threshold (min - max)"; 0 and no range with no channel).
    double MidRange(int row, std::string* label = nullptr) const;
    std::string UnitLabel(int unit, int row) const;

    void OnReferenceChanged(BoundDef& def, ClusterPageFields& f) const;
    void OnUnitChanged(const BoundDef& def, ClusterPageFields& f, int unit) const;
    // A combination button: each rule edit shows the definition's text of its choice.
    void OnCombinationChanged(const BoundDef& def, ClusterPageFields& f) const;
    static bool RuleEditEnabled(int combine) { return combine != BoundDef::kNotApplicable; }

    // Empty when the page may be applied; otherwise why not (an empty text with `*ready` false
    // when a field is missing).
    std::string ReadyProblem(const ClusterPageFields& f, bool* ready) const;
    // Stores the fields into the definition, rewriting the threshold and rule texts in `f` as
    // the edits show them afterwards. Returns the number of errors (each told to the prompt).
    int Store(BoundDef& def, ClusterPageFields& f, Prompt* prompt) const;

private:
    std::array<float, 2> Range(int row) const;

    const ZunImage& sample_;
    std::vector<std::string> rows_;
    std::vector<int> index_;  // the sample's index of each row
};

// The controls of the "Channel value based" page.
struct ValuePageFields {
    std::vector<bool> checks;  // one per row
    bool voidOutside = true;
    bool noisePresent = true;
    bool thresholdCheckOnly = false;
    bool smoothSurface = true;
    std::string strength = "0.5";
};

class ValueBoundaryPage {
public:
    // The first `channelCount` channels of the sample that are not targets.
    ValueBoundaryPage(const ZunImage& sample, int channelCount, const std::vector<std::string>& targets);

    const std::vector<std::string>& Rows() const { return rows_; }
    ValuePageFields Open(const BoundDef& def) const;
    static bool IsReady(const ValuePageFields& f);
    // The list, noise, check-only and strength controls follow "void outside"; smoothing also
    // needs check-only off.
    static bool DetailsEnabled(const ValuePageFields& f) { return f.voidOutside; }
    static bool SmoothingEnabled(const ValuePageFields& f) { return f.voidOutside && !f.thresholdCheckOnly; }
    // Leaving the strength edit: true when the text stands, else the previous value's text.
    static bool CheckStrength(const std::string& text, float previous, std::string* replacement);
    void Store(BoundDef& def, const ValuePageFields& f) const;

private:
    const ZunImage& sample_;
    std::vector<std::string> rows_;
    std::vector<int> index_;
};

// The geometric pages (kinds 2 to 4): their edit labels, their texts from the definition and
// back (each text read as a real and truncated).
std::vector<std::string> GeometryLabels(int kind);
std::vector<std::string> GeometryTexts(int kind, const BoundDef& def);
// The page's texts into the sizes of its kind; the number of texts refused (not finite, or beyond
// 32 bits), whose sizes stay as they were.
int StoreGeometry(int kind, const std::vector<std::string>& texts, BoundDef& def);

}  // namespace zun
