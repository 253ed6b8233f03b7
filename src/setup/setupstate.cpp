#include "setup/setupstate.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <utility>

#include "compute/propertycomputation.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "setup/setupmessages.h"

namespace zun {

std::string PropertyKindId(int kind) {
    static const char* const ids[] = {"M-1", "M-2", "M-3"};
    return kind >= 0 && kind < 3 ? ids[kind] : "Unknown";
}

std::string PropertyKindDescription(int kind) {
    const char* d = PropertyMethodDescription(kind);
    return d && *d ? d : "Unknown";
}

std::int32_t ReadLeadingInteger(const std::string& text, bool allowSign) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (allowSign && i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        v = std::min<long long>(v * 10 + (text[i] - '0'), 1LL << 32);  // long digit strings saturate
    if (negative) v = -v;
    return static_cast<std::int32_t>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

SetupComputationState::SetupComputationState(CZunDoc& doc) : doc_(doc), params_(doc.GetModel().GetParams()) {
    for (int k = 0; k < 3; ++k) {
        const int step = kSetupSteps[static_cast<std::size_t>(k)];
        orderText[k] = FormatInt(params_.stepOrders[step], "%d");
        methodChecked[k] = (params_.stepFlags[step] & kStepEnabled) != 0;
    }
    compositionAvailable_ = params_.compositionCount != 0 && params_.ctChannelCount != 0;
    compositionControlsEnabled_ = compositionAvailable_ && jobs.composition;

    const ZunImage& sample = doc.GetSample();
    if (sample.CountChansOfKind(kChanProperty) > 0) {
        propertyBuilt_ = true;
        const PropertyDocument& pd = *doc.Properties();
        CPropertyComputation::ResetSettingsTables(pd, tables_);
        std::string findings;
        for (const PropertyMethodSettings& rec : doc.GetModel().PropertyMethods()) {
            PropertyMethodSettings copy = rec;
            CPropertyComputation::CheckSettings(copy, pd, &findings, &findings);
            selected.push_back(std::move(copy));
        }
        report_ = findings;
    }
    if (sample.CountChansOfKind(kChanBoundary) > 0) {
        const int last = sample.LastChanOfKind(kChanBoundary);
        for (int i = sample.FirstChanOfKind(kChanBoundary); i <= last; ++i)
            boundaryNames_.push_back(sample.GetChanNameCStr(i));
        maskEnabled = savedMaskEnabled_ = sample.boundaryMaskOn;
        maskName = savedMaskName_ = sample.activeBoundaryName;
    }
    if (doc.PluginsEnabled()) {
        pluginsBuilt_ = true;
        plugins = doc.GetModel().PluginRunList();
        RefreshPluginRunList(plugins, doc.PluginFolders());
    }
    seedText = FormatInt(params_.randomSeed, "%d");
    capText = FormatInt(params_.maxErrorReports, "%d");
}

void SetupComputationState::CheckMethod(int method, bool on) {
    methodChecked[method] = on;
    if (on) params_.stepFlags[kSetupSteps[static_cast<std::size_t>(method)]] = kStepEnabled | kStepChanged;
}

void SetupComputationState::SetParametersPressed(int method) {
    if (method != kSetupSegmentation && methodChecked[method])
        params_.stepFlags[kSetupSteps[static_cast<std::size_t>(method)]] = kStepEnabled | kStepChanged;
}

void SetupComputationState::SetJobs(const JobFlags& j) {
    jobs = j;
    EnableCompositionControls(compositionAvailable_ && j.composition);
    EnablePropertyControls(j.property);
}

void SetupComputationState::SetCompositionJob(bool on) {
    jobs.composition = on;
    EnableCompositionControls(on);
}

void SetupComputationState::SetPropertyJob(bool on) {
    jobs.property = on;
    EnablePropertyControls(on);
}

PropertyMethodSettings SetupComputationState::NewRecord(int kind) const {
    PropertyMethodSettings rec;
    rec.kind = kind;
    rec.allChannels = tables_.allChannels;
    rec.compositions = tables_.compositions;
    rec.boundaries = tables_.boundaries;
    rec.properties = tables_.properties;
    rec.voxelResolution = tables_.voxelResolution;
    rec.sampleDimensions = tables_.sampleDimensions;
    CPropertyComputation::CheckSettings(rec, *doc_.Properties(), nullptr, nullptr);
    return rec;
}

void SetupComputationState::DropSelected(int from, int to) {
    const int n = static_cast<int>(selected.size());
    if (from < 0 || from >= n) return;
    if (to >= 0 && to < n) {
        std::swap(selected[static_cast<std::size_t>(from)], selected[static_cast<std::size_t>(to)]);
    } else {
        PropertyMethodSettings moved = std::move(selected[static_cast<std::size_t>(from)]);
        selected.erase(selected.begin() + from);
        selected.push_back(std::move(moved));
    }
}

void SetupComputationState::MoveUp(int row) {
    if (row > 0 && row < static_cast<int>(selected.size()))
        std::swap(selected[static_cast<std::size_t>(row)], selected[static_cast<std::size_t>(row) - 1]);
}

void SetupComputationState::MoveDown(int row) {
    if (row >= 0 && row + 1 < static_cast<int>(selected.size()))
        std::swap(selected[static_cast<std::size_t>(row)], selected[static_cast<std::size_t>(row) + 1]);
}

void SetupComputationState::Delete(int row) {
    if (row >= 0 && row < static_cast<int>(selected.size())) selected.erase(selected.begin() + row);
}

std::vector<std::string> SetupComputationState::MaskEntries() const {
    std::vector<std::string> e{setupmsg::kNoneSelected};
    e.insert(e.end(), boundaryNames_.begin(), boundaryNames_.end());
    return e;
}

int SetupComputationState::MaskEntryIndex() const {
    if (maskName.empty()) return 0;
    const auto it = std::find(boundaryNames_.begin(), boundaryNames_.end(), maskName);
    return it == boundaryNames_.end() ? 0 : static_cast<int>(it - boundaryNames_.begin()) + 1;
}

void SetupComputationState::ChooseMaskEntry(int index) {
    maskName = index >= 1 && index <= static_cast<int>(boundaryNames_.size())
                   ? boundaryNames_[static_cast<std::size_t>(index) - 1]
                   : std::string();
}

void SetupComputationState::Restore() {
    maskEnabled = savedMaskEnabled_;
    maskName = savedMaskName_;
}

void SetupComputationState::OnOK() {
    Params& p = params_;
    const std::int32_t lastBefore = p.lastOrder;
    for (int k = 0; k < 3; ++k) {
        const int step = kSetupSteps[static_cast<std::size_t>(k)];
        const std::int32_t n = ReadLeadingInteger(orderText[k], false);
        p.firstOrder = std::min(p.firstOrder, n);
        p.lastOrder = std::max(p.lastOrder, n);
        const bool wasChecked = (p.stepFlags[step] & kStepEnabled) != 0;
        const bool changed = (methodChecked[k] && n != p.stepOrders[step]) || methodChecked[k] != wasChecked;
        if (changed) {
            p.stepOrders[step] = n;
            p.stepFlags[step] = (methodChecked[k] ? kStepEnabled : 0) | kStepChanged;
            for (auto& f : p.stepFlags) f |= kStepChanged;
            p.setupChanged = true;
        }
    }
    // A step ordered beyond the range that ran last has not run with these settings.
    for (int step : kSetupSteps)
        if (p.stepOrders[step] > lastBefore + 1) p.stepFlags[step] |= kStepChanged;

    const std::int32_t seed = ReadLeadingInteger(seedText, true);
    const std::int32_t cap = ReadLeadingInteger(capText, true);
    for (auto [value, field] : {std::pair{seed, &p.randomSeed}, std::pair{cap, &p.maxErrorReports}})
        if (*field != value) {
            *field = value;
            for (auto& f : p.stepFlags) f |= kStepChanged;
            p.setupChanged = true;
        }

    if (BoundarySectionBuilt() && RestoreEnabled()) doc_.SetBoundaryActive(maskEnabled, maskName);
    // A list whose section was not shown keeps what it holds: the user saw nothing to change.
    if (pluginsBuilt_) doc_.GetModel().SetPluginRunList(plugins);
    if (propertyBuilt_) doc_.GetModel().PropertyMethods() = selected;
}

}  // namespace zun
