#include "tools/boundarypages.h"

#include <algorithm>
#include <cmath>

#include "foundation/numformat.h"
#include "model/rulelist.h"
#include "model/sample.h"
#include "model/zunchan.h"
#include "platform/prompt.h"

namespace zun {

namespace boundmsg {
const char kNoClusters[] = "No channel clusters selected.\nCannot generate channel-cluster-based boundary.";
const char kRawRange[] = "Raw value must be between 0 and 16383";
const char kNormalisedRange[] = "Normalized value must be between 0.0 and 1.0";
const char kStrengthRange[] = "Value must lie between 0 and 1";
}  // namespace boundmsg

namespace {

std::string SixDecimals(double v) {
    return FormatReal(6, v, "%f");
}

// The "<=" or ">=" rules of one side: normalised, parsed and formatted back. 0 or 1 error.
int StoreRules(const char* op, std::string& text, Prompt* prompt, int errorsSoFar) {
    int count = 0;
    text = LinkedClusterRules::Normalize(text, &count);
    if (count < 1) {
        if (prompt)
            prompt->Tell(std::string("Missing mapping ") + op + " rules definition", PromptIcon::Warning);
        text.clear();
        return 1;
    }
    std::vector<RuleRecord> records(static_cast<std::size_t>(count) + 1);
    if (LinkedClusterRules::Parse(text, kRuleRaw, count + 1, records.data()) != kRuleOk) {
        if (prompt)
            prompt->Tell(std::string("Invalid mapping ") + op + " rules definition.", PromptIcon::Warning);
        return 1;
    }
    if (errorsSoFar == 0) text = LinkedClusterRules::Format(records.data(), count, kRuleRaw);
    return 0;
}

}  // namespace

// ---- cluster page

ClusterBoundaryPage::ClusterBoundaryPage(const ZunImage& sample, const std::string& firstTarget)
    : sample_(sample) {
    for (int i = 0; i < sample.GetChanCount(); ++i) {
        const ZunChan* c = sample.GetChan(i);
        if (!c || c->name == firstTarget) continue;
        rows_.push_back(c->name);
        index_.push_back(i);
    }
}

std::array<float, 2> ClusterBoundaryPage::Range(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {0.0f, 0.0f};
    const ZunChan* c = sample_.GetChan(index_[static_cast<std::size_t>(row)]);
    if (!c || c->range.size() < 2) return {0.0f, 1.0f};
    return {c->range[0], c->range[1]};
}

double ClusterBoundaryPage::MidRange(int row, std::string* label) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return 0.0;
    const auto [min, max] = Range(row);
    if (label)
        *label = "channel threshold (" + FormatFloatTrimmed(min) + " - " + FormatFloatTrimmed(max) + ")";
    const double m = (static_cast<double>(min) + max) * 0.5;
    return m == 0.0 ? 0.0 : std::floor(m * 1e6 + 0.5) / 1e6;
}

std::string ClusterBoundaryPage::UnitLabel(int unit, int row) const {
    if (unit == BoundDef::kRaw) return "channel threshold (0 - 16383)";
    if (unit == BoundDef::kNormalised) return "channel threshold (0.0 - 1.0)";
    std::string label = "channel threshold";
    MidRange(row, &label);
    return label;
}

ClusterPageFields ClusterBoundaryPage::Open(BoundDef& def) const {
    ClusterPageFields f;
    const auto listed = std::find(rows_.begin(), rows_.end(), def.referenceChannel);
    if (!def.referenceChannel.empty()) {
        f.row = listed == rows_.end() ? -1 : static_cast<int>(listed - rows_.begin());
    } else {
        const int compositions = sample_.CountChansOfKind(ZunChan::kComposition);
        if (sample_.CountChansOfKind(ZunChan::kXrayCt) > 0)
            f.row = compositions;
        else
            f.row = compositions > 0 ? compositions - 1 : 0;
        if (f.row >= static_cast<int>(rows_.size())) f.row = -1;
    }
    f.unit = std::clamp(def.valueType, 0, 2);
    f.label = UnitLabel(f.unit, f.row);
    if (f.unit == BoundDef::kPhysical && listed == rows_.end())
        def.thresholdText[2] = SixDecimals(MidRange(f.row));
    f.threshold = def.thresholdText[static_cast<std::size_t>(f.unit)];
    f.lowCombine = std::clamp(def.lowCombination, 0, 2);
    f.highCombine = std::clamp(def.highCombination, 0, 2);
    f.lowRule = def.lowRuleText[static_cast<std::size_t>(f.lowCombine)];
    f.highRule = def.highRuleText[static_cast<std::size_t>(f.highCombine)];
    return f;
}

void ClusterBoundaryPage::OnReferenceChanged(BoundDef& def, ClusterPageFields& f) const {
    def.thresholdText[2] = SixDecimals(MidRange(f.row));
    f.label = UnitLabel(f.unit, f.row);
    if (f.unit == BoundDef::kPhysical) f.threshold = def.thresholdText[2];
}

void ClusterBoundaryPage::OnUnitChanged(const BoundDef& def, ClusterPageFields& f, int unit) const {
    if (unit == BoundDef::kPhysical) {
        if (f.row < 0) return;  // no channel, no physical range
        double stored = -1.0;
        if (ReadTextDouble(def.thresholdText[2], &stored) == 0 && stored >= 0.0)
            f.threshold = def.thresholdText[2];
        else
            f.threshold = SixDecimals(MidRange(f.row));
    } else {
        f.threshold = def.thresholdText[static_cast<std::size_t>(unit == BoundDef::kRaw ? 0 : 1)];
    }
    f.unit = unit;
    f.label = UnitLabel(unit, f.row);
}

void ClusterBoundaryPage::OnCombinationChanged(const BoundDef& def, ClusterPageFields& f) const {
    f.lowRule = def.lowRuleText[static_cast<std::size_t>(std::clamp(f.lowCombine, 0, 2))];
    f.highRule = def.highRuleText[static_cast<std::size_t>(std::clamp(f.highCombine, 0, 2))];
}

std::string ClusterBoundaryPage::ReadyProblem(const ClusterPageFields& f, bool* ready) const {
    *ready = false;
    if (f.row < 0 || f.row >= static_cast<int>(rows_.size()) ||
        rows_[static_cast<std::size_t>(f.row)].empty() || f.threshold.empty() || f.lowRule.empty() ||
        f.highRule.empty())
        return {};
    const float v = ReadTextFloat(f.threshold);
    if (f.unit == BoundDef::kPhysical) {
        const auto [min, max] = Range(f.row);
        if (!(v >= min && v <= max))
            return "Physical value must be between " + SixDecimals(min) + " and " + SixDecimals(max);
    } else if (f.unit == BoundDef::kRaw) {
        if (!(v >= 0.0f && v <= 16383.0f)) return boundmsg::kRawRange;
    } else if (!(v >= 0.0f && v <= 1.0f)) {
        return boundmsg::kNormalisedRange;
    }
    *ready = true;
    return {};
}

int ClusterBoundaryPage::Store(BoundDef& def, ClusterPageFields& f, Prompt* prompt) const {
    def.valueType = std::clamp(f.unit, 0, 2);
    def.lowCombination = std::clamp(f.lowCombine, 0, 2);
    def.highCombination = std::clamp(f.highCombine, 0, 2);
    if (f.row >= 0 && f.row < static_cast<int>(rows_.size()))
        def.referenceChannel = rows_[static_cast<std::size_t>(f.row)];
    std::string& text = def.thresholdText[static_cast<std::size_t>(def.valueType)];
    std::string& low = def.lowRuleText[static_cast<std::size_t>(def.lowCombination)];
    std::string& high = def.highRuleText[static_cast<std::size_t>(def.highCombination)];
    text = f.threshold;
    low = f.lowRule;
    high = f.highRule;

    if (def.valueType == BoundDef::kRaw) {
        int value = 0;
        ReadTextInt(text, &value);
        text = FormatInt(value, "%d");
        def.normThreshold = value / 16383.0;
    } else {
        const float value = ReadTextFloat(text);
        if (def.valueType == BoundDef::kNormalised) {
            def.normThreshold = value;
        } else {
            const auto [min, max] = Range(f.row);
            // A channel of one value has no width to divide by: its threshold is its bottom.
            def.normThreshold =
                max > min ? (static_cast<double>(value) - min) / (static_cast<double>(max) - min) : 0.0;
        }
        text = FormatFloatTrimmed(value);
        if (text.empty()) text = "0.0";
    }
    f.threshold = text;

    int errors = 0;
    if (def.lowCombination == BoundDef::kNotApplicable && def.highCombination == BoundDef::kNotApplicable) {
        if (prompt) prompt->Tell(boundmsg::kNoClusters, PromptIcon::Information);
        return 1;
    }
    if (RuleEditEnabled(def.lowCombination)) errors += StoreRules("<=", low, prompt, errors);
    if (RuleEditEnabled(def.highCombination)) errors += StoreRules(">=", high, prompt, errors);
    f.lowRule = low;
    f.highRule = high;
    return errors;
}

// ---- value page

ValueBoundaryPage::ValueBoundaryPage(const ZunImage& sample, int channelCount,
                                     const std::vector<std::string>& targets)
    : sample_(sample) {
    const int n = std::min(channelCount, sample.GetChanCount());
    for (int i = 0; i < n; ++i) {
        const ZunChan* c = sample.GetChan(i);
        if (!c) continue;
        if (c->kind == ZunChan::kBoundary &&
            std::find(targets.begin(), targets.end(), c->name) != targets.end())
            continue;
        rows_.push_back(c->name);
        index_.push_back(i);
    }
}

ValuePageFields ValueBoundaryPage::Open(const BoundDef& def) const {
    ValuePageFields f;
    f.checks.assign(rows_.size(), false);
    bool any = false;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        f.checks[r] = std::find(def.channels.begin(), def.channels.end(), rows_[r]) != def.channels.end();
        any = any || f.checks[r];
    }
    if (!any) {
        const std::int32_t kind =
            sample_.CountChansOfKind(ZunChan::kXrayCt) > 0 ? ZunChan::kXrayCt : ZunChan::kComposition;
        for (std::size_t r = 0; r < rows_.size(); ++r)
            f.checks[r] = index_[r] > 0 && sample_.GetChan(index_[r])->kind == kind;
    }
    f.voidOutside = def.voidOutside;
    f.noisePresent = def.noisePresent;
    f.thresholdCheckOnly = def.thresholdCheckOnly;
    f.smoothSurface = def.smoothing;
    f.strength = FormatReal(def.strength, -1, "%g");
    return f;
}

bool ValueBoundaryPage::IsReady(const ValuePageFields& f) {
    return std::find(f.checks.begin(), f.checks.end(), true) != f.checks.end();
}

bool ValueBoundaryPage::CheckStrength(const std::string& text, float previous, std::string* replacement) {
    float v = 0.0f;
    if (ScanString(text, "%f", &v) == 0 && v >= 0.0f && v <= 1.0f) return true;
    if (replacement) *replacement = FormatReal(previous, -1, "%g");
    return false;
}

void ValueBoundaryPage::Store(BoundDef& def, const ValuePageFields& f) const {
    def.voidOutside = f.voidOutside;
    def.noisePresent = f.noisePresent;
    def.thresholdCheckOnly = f.thresholdCheckOnly;
    def.smoothing = f.smoothSurface;
    def.strength = ReadTextFloat(f.strength);
    def.channels.clear();
    for (std::size_t r = 0; r < rows_.size() && r < f.checks.size(); ++r)
        if (f.checks[r]) def.channels.push_back(rows_[r]);
}

// ---- geometric pages

std::vector<std::string> GeometryLabels(int kind) {
    switch (kind) {
        case BoundDef::kCuboid:
            return {"X Size:", "Y Size:", "Z Size:"};
        case BoundDef::kSphere:
            return {"Diameter:"};
        case BoundDef::kCylinder:
            return {"X-Y Diameter:", "Z Length:"};
        default:
            return {};
    }
}

std::vector<std::string> GeometryTexts(int kind, const BoundDef& def) {
    auto text = [](std::int32_t v) { return FormatInt(v, "%d"); };
    switch (kind) {
        case BoundDef::kCuboid: {
            std::vector<std::string> t;
            for (std::size_t k = 0; k < 3; ++k)
                t.push_back(text(k < def.cuboidSize.size() ? def.cuboidSize[k] : 0));
            return t;
        }
        case BoundDef::kSphere:
            return {text(def.diameter)};
        case BoundDef::kCylinder:
            return {text(def.xyDiameter), text(def.zLength)};
        default:
            return {};
    }
}

int StoreGeometry(int kind, const std::vector<std::string>& texts, BoundDef& def) {
    int errors = 0;
    // A text that is no number reads 0; a number that is not finite or beyond 32 bits keeps the
    // size it would replace.
    auto store = [&](std::size_t k, std::int32_t& size) {
        float v = 0.0f;
        if (k < texts.size() &&
            (ReadFiniteFloat(texts[k], &v) == -2 || !(v >= -2147483648.0f && v < 2147483648.0f))) {
            ++errors;
            return;
        }
        size = static_cast<std::int32_t>(v);
    };
    switch (kind) {
        case BoundDef::kCuboid:
            def.cuboidSize.resize(3, 0);
            for (std::size_t k = 0; k < 3; ++k) store(k, def.cuboidSize[k]);
            break;
        case BoundDef::kSphere:
            store(0, def.diameter);
            break;
        case BoundDef::kCylinder:
            store(0, def.xyDiameter);
            store(1, def.zLength);
            break;
        default:
            break;
    }
    return errors;
}

}  // namespace zun
