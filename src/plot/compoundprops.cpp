#include "plot/compoundprops.h"

#include <algorithm>
#include <cmath>

#include "compute/model.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/element.h"
#include "model/sample.h"
#include "model/zunchan.h"
#include "platform/prompt.h"

namespace zun {

CompoundPropsModel::CompoundPropsModel(CZunDoc& doc, int channel, Prompt* prompt)
    : doc_(doc), channel_(channel), prompt_(prompt) {}

const std::vector<std::string>& CompoundPropsModel::Symbols() {
    return ElementSymbolList();
}

Compound& CompoundPropsModel::Comp() const {
    return doc_.GetSample().GetChan(channel_)->compound;
}

const std::string& CompoundPropsModel::ChannelName() const {
    return doc_.GetSample().GetChan(channel_)->name;
}

bool CompoundPropsModel::Open() {
    const ZunImage& sample = doc_.GetSample();
    if (!sample.IsChanIndex(channel_) || sample.GetChan(channel_)->kind != ZunChan::kComposition)
        return false;
    saved_ = Comp();
    savedAccuracy_ = StoredAccuracy();
    formulaText = Comp().formula;
    densityText = FormatReal(-1, Comp().density, "%g");
    accuracyText = FormatReal(savedAccuracy_, -1, "%g");
    autoRename = sample.GetChan(channel_)->autoRename;
    estimateEnabled = true;
    applyEnabled = false;
    return true;
}

float CompoundPropsModel::StoredAccuracy() const {
    const auto& list = doc_.GetModel().GetParams().volumeFractionAccuracy;
    return channel_ < static_cast<int>(list.size()) ? list[static_cast<std::size_t>(channel_)] : 0.0f;
}

void CompoundPropsModel::StoreAccuracy(float value) {
    auto& p = doc_.GetModel().GetParams();
    auto& list = p.volumeFractionAccuracy;
    // A document without stored accuracies gets one per composition once the user sets one.
    const std::size_t need =
        std::max(static_cast<std::size_t>(channel_) + 1, static_cast<std::size_t>(p.compositionCount) + 1);
    if (list.size() < need) list.resize(need, 0.0f);
    list[static_cast<std::size_t>(channel_)] = value;
}

void CompoundPropsModel::OnFormulaChanged(const std::string& text) {
    formulaText = text;
    estimateEnabled = false;  // its estimate would be for the formula last applied
    applyEnabled = true;
}

void CompoundPropsModel::OnDensityChanged(const std::string& text) {
    densityText = text;
    applyEnabled = true;
}

void CompoundPropsModel::OnAccuracyChanged(const std::string& text) {
    accuracyText = text;
    applyEnabled = true;
}

void CompoundPropsModel::OnAutoRenameChanged(bool on) {
    autoRename = on;
    applyEnabled = true;
}

void CompoundPropsModel::EstimateDensity() {
    const double total = Comp().GetTotalAbundance();
    const double density = total != 0 ? Comp().GetDefaultDensity() / total : 0.0;
    densityText = FormatReal(-1, density, "%g");
}

static bool ReadNumber(const std::string& text, float* value) {
    if (text.empty()) {
        *value = 0.0f;
        return true;
    }
    float v = 0.0f;
    if (ScanString(text, "%f", &v) != 0 || v != v) return false;
    *value = v;
    return true;
}

bool CompoundPropsModel::ReadDensity(const std::string& text, float* value) {
    float v = 0.0f;
    // An infinite density would make every coefficient of the composition infinite.
    if (!ReadNumber(text, &v) || v < 0.0f || std::isinf(v)) return false;
    *value = v;
    return true;
}

bool CompoundPropsModel::ReadAccuracy(const std::string& text, float* value) {
    float v = 0.0f;
    if (!ReadNumber(text, &v) || v < 0.0f || v > 1.0f) return false;
    *value = v;
    return true;
}

CompoundPropsModel::ApplyResult CompoundPropsModel::Apply(bool refresh) {
    Compound work = Comp();
    float density = 0.0f;
    if (!ReadDensity(densityText, &density)) {
        if (prompt_) prompt_->Tell(compoundmsg::kInvalidDensity, PromptIcon::Information);
        return kBadDensity;
    }
    float accuracy = 0.0f;
    if (!ReadAccuracy(accuracyText, &accuracy)) {
        if (prompt_) prompt_->Tell(compoundmsg::kInvalidAccuracy, PromptIcon::Information);
        return kBadAccuracy;
    }
    if (formulaText != Comp().formula) {
        // The parser's own text says what is wrong; without it the refusal would be silent.
        if (work.SetFormula(formulaText, true) != 0) {
            if (prompt_) prompt_->Tell(work.parseMessage, PromptIcon::Information);
            return kBadFormula;
        }
        Comp() = work;
    }
    Comp().density = density;
    ZunChan& chan = *doc_.GetSample().GetChan(channel_);
    chan.autoRename = autoRename;

    if (!(Comp() == saved_) || accuracy != StoredAccuracy()) {
        saved_ = Comp();
        if (refreshDependents) refreshDependents(channel_);
        StoreAccuracy(accuracy);
        if (autoRename && !Comp().formula.empty()) {
            const std::string name = chan.name;
            doc_.RenameChannel(name, doc_.GetChannelDisplayName(name));
        }
        doc_.SetModifiedFlag(true);
    }
    if (refresh) {
        densityText = FormatReal(-1, Comp().density, "%g");
        accuracyText = FormatReal(accuracy, -1, "%g");
        estimateEnabled = true;
        applyEnabled = false;
    }
    return kApplied;
}

void CompoundPropsModel::Cancel() {
    if (Comp() == saved_ && StoredAccuracy() == savedAccuracy_) return;
    const bool compositionChanged = !(Comp() == saved_);
    Comp() = saved_;
    if (compositionChanged && compositionRestored) compositionRestored(channel_);
    StoreAccuracy(savedAccuracy_);
}

}  // namespace zun
