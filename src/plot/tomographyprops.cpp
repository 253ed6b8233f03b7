#include "plot/tomographyprops.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "compute/model.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/channelrules.h"
#include "model/sample.h"
#include "model/zunchan.h"
#include "platform/prompt.h"

namespace zun {

namespace {

float At(const std::vector<float>& v, int n) {
    return n >= 0 && n < static_cast<int>(v.size()) ? v[static_cast<std::size_t>(n)] : 0.0f;
}

void Put(std::vector<float>& v, int n, float value) {
    if (n >= 0 && n < static_cast<int>(v.size())) v[static_cast<std::size_t>(n)] = value;
}

// Empty reads as 0; otherwise one "%f" number. NaN and infinities are not numbers here.
bool ReadReal(const std::string& text, float& value) {
    if (text.empty()) {
        value = 0.0f;
        return true;
    }
    float v = 0.0f;
    if (ScanString(text, "%f", &v) != 0 || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string StripMark(const std::string& name) {
    return !name.empty() && name.back() == '*' ? name.substr(0, name.size() - 1) : name;
}

std::string G5(float v) {
    return FormatReal(v, -1, "%.5g");
}

}  // namespace

TomographyPropsModel::TomographyPropsModel(CZunDoc& doc, int channel, Prompt* prompt)
    : doc_(doc), channel_(channel), prompt_(prompt) {}

TomographyPropsModel::~TomographyPropsModel() {
    CloseAllFilterWindows();
}

ZunChan& TomographyPropsModel::Chan() const {
    return *doc_.GetSample().GetChan(channel_);
}

int TomographyPropsModel::CtNumber() const {
    // The controller's per-CT tables keep slot 0 for the sum row.
    return channel_ - doc_.GetSample().FirstChanOfKind(ZunChan::kXrayCt) + 1;
}

// ---------------------------------------------------------------- engine

void TomographyPropsModel::LoadChannelSettings(CtBeamSettings& s, int dataType) const {
    const Model& model = doc_.GetModel();
    const Params& p = model.GetParams();
    const int n = CtNumber();
    s.dataType = dataType;
    s.measuredAtZero = At(p.ctAttenLowMeasured, n);
    s.offsetAtZero = At(p.ctAttenLowOffset, n);
    s.measuredAtOne = At(p.ctAttenHighMeasured, n);
    s.offsetAtOne = At(p.ctAttenHighOffset, n);
    s.monoEnergy = At(p.ctBeamEnergy, n);
    s.relativeAccuracy = At(p.ctRelativeAccuracy, n);
    s.totalAtZero = model.GetChannelAttenuation(channel_, 0);
    s.totalAtOne = model.GetChannelAttenuation(channel_, 1);
    const ZunChan& c = Chan();
    s.polychromatic = c.polychromatic;
    s.filters = c.filters;
    s.combined = c.combined;
    s.rows.clear();
    const ZunImage& sample = doc_.GetSample();
    for (int i = 0; i < sample.GetChanCount() && sample.GetChan(i)->kind == ZunChan::kComposition; ++i) {
        CompositionRow row;
        // The per-composition offsets are kept in the controller's second CT-by-composition table.
        const std::size_t at = p.MatrixIndex(n, i);
        row.offset = at < p.lpcMatrix.size() ? p.lpcMatrix[at] : 0.0f;
        s.rows.push_back(row);
        ComputeRowCoefficients(s, s.rows.size() - 1);
    }
    s.autoRename = c.autoRename;
}

void TomographyPropsModel::LoadCurrentChannel(CtBeamSettings& s) const {
    LoadChannelSettings(s, Chan().dataType);
}

int TomographyPropsModel::ComputeRowCoefficients(CtBeamSettings& s, std::size_t i) const {
    const ZunImage& sample = doc_.GetSample();
    if (i >= s.rows.size() || !sample.IsChanIndex(static_cast<int>(i))) return 0;
    const ZunChan& comp = *sample.GetChan(static_cast<int>(i));
    const DocSettings& settings = doc_.Settings();
    CompositionRow& row = s.rows[i];
    row.name = comp.name;
    int failed = 0;
    if (s.polychromatic) {
        float lac = 0.0f;
        if (s.filters.EffectiveAttenuation(comp.compound, lac, settings.attenuationMethod, s.dataType) != 0) {
            failed = 1;
            lac = 0.0f;
        }
        row.defaultCoefficient = lac;
    } else {
        row.defaultCoefficient = static_cast<float>(
            comp.compound.MassAttenuation(settings.attenuationMethod, s.dataType, settings.coefficientKind,
                                          static_cast<double>(s.monoEnergy)) *
            comp.compound.density);
    }
    row.actual = row.offset + row.defaultCoefficient;
    const float span = s.totalAtOne - s.totalAtZero;
    row.imageIntensity =
        span != 0.0f ? (row.actual - s.totalAtZero) / span : std::numeric_limits<float>::quiet_NaN();
    row.intensityValid = span != 0.0f && row.imageIntensity >= 0.0f;  // false for NaN
    return failed;
}

int TomographyPropsModel::ComputeCompositionCoefficients(CtBeamSettings& s) const {
    int failed = 0;
    for (std::size_t i = 0; i < s.rows.size(); ++i) failed += ComputeRowCoefficients(s, i);
    return failed;
}

void TomographyPropsModel::ApplySettings(const CtBeamSettings& s) {
    ZunChan& c = Chan();
    Model& model = doc_.GetModel();
    Params& p = model.GetParams();
    const int n = CtNumber();
    c.dataType = s.dataType;
    model.SetChannelAttenuationOffset(channel_, s.offsetAtZero, 0);
    model.SetChannelAttenuationOffset(channel_, s.offsetAtOne, 1);
    Put(p.ctBeamEnergy, n, s.monoEnergy);
    Put(p.ctRelativeAccuracy, n, s.relativeAccuracy);
    for (std::size_t i = 0; i < s.rows.size(); ++i) {
        const std::size_t at = p.MatrixIndex(n, static_cast<int>(i));
        if (at < p.lpcMatrix.size()) p.lpcMatrix[at] = s.rows[i].offset;
        if (at < p.lacMatrix.size()) p.lacMatrix[at] = s.rows[i].actual;
    }
    c.polychromatic = s.polychromatic;
    c.filters = s.filters;
    c.combined = s.combined;
    c.autoRename = s.autoRename;
}

void TomographyPropsModel::ReapplyChannelSettings() {
    CtBeamSettings s;
    LoadCurrentChannel(s);
    ComputeCompositionCoefficients(s);
    ApplySettings(s);
}

// ---------------------------------------------------------------- dialog

bool TomographyPropsModel::Open() {
    const ZunImage& sample = doc_.GetSample();
    if (!sample.IsChanIndex(channel_) || sample.GetChan(channel_)->kind != ZunChan::kXrayCt) return false;
    if (!newChannel) {
        LoadCurrentChannel(current_);
        baseline_ = current_;
    } else {
        LoadChannelSettings(current_, 0);
        baseline_ = current_;
        baseline_.dataType = 1;  // so that OK always applies and marks the document modified
        ComputeCompositionCoefficients(current_);
    }
    restore_ = current_;
    autoRename = Chan().autoRename;
    FillTexts(current_);
    FillCombo();
    deleteEnabled = false;
    applyEnabled = newChannel;
    return true;
}

void TomographyPropsModel::FillTexts(const CtBeamSettings& s) {
    energyText = G5(s.monoEnergy);
    totalZeroText = G5(s.totalAtZero);
    measuredZeroText = G5(s.measuredAtZero);
    offsetZeroText = G5(s.offsetAtZero);
    totalOneText = G5(s.totalAtOne);
    measuredOneText = G5(s.measuredAtOne);
    offsetOneText = G5(s.offsetAtOne);
    accuracyText = G5(s.relativeAccuracy);
    stepText = G5(s.filters.maxStep);
}

void TomographyPropsModel::OnEditChanged(Field field, const std::string& text) {
    switch (field) {
        case kEnergyField:
            energyText = text;
            break;
        case kOffsetZeroField:
            offsetZeroText = text;
            break;
        case kOffsetOneField:
            offsetOneText = text;
            break;
        case kAccuracyField:
            accuracyText = text;
            break;
        case kStepField:
            stepText = text;
            break;
        case kNoField:
            return;
    }
    applyEnabled = true;
}

void TomographyPropsModel::OnAutoRenameChanged(bool on) {
    autoRename = on;
    applyEnabled = true;
}

void TomographyPropsModel::OnBeamType(bool polychromatic) {
    current_.polychromatic = polychromatic;
    ComputeCompositionCoefficients(current_);
    const std::string name = ComboSelectedName();
    deleteEnabled = polychromatic && !name.empty() && name != ctmsg::kSelect && name != ctmsg::kDisplayAll &&
                    !PolyFilters::IsStandardFilterName(name);
    applyEnabled = true;
}

void TomographyPropsModel::OnDataType(int dataType) {
    if (dataType == current_.dataType) return;
    current_.dataType = dataType;
    ComputeCompositionCoefficients(current_);
    applyEnabled = true;
}

bool TomographyPropsModel::LpcAvailable() const {
    const int method = doc_.Settings().attenuationMethod;
    return method == 1 || method == 3;
}

std::string TomographyPropsModel::GroupTitle() const {
    return current_.dataType == 0 ? "Linear Attenuation Coefficients (LAC) for All Compositions (1/cm)"
                                  : "Linear Phase-Shift Coefficients (LPC) for All Compositions (1/cm)";
}

std::string TomographyPropsModel::RowLabel(int which) const {
    const std::string value = which == 0 ? "0.0" : "1.0";
    return (current_.dataType == 0 ? "Linear attenuation coefficient for image value "
                                   : "Linear Phase-Shift coefficient for image value ") +
           value + " (1/cm)";
}

std::vector<std::string> TomographyPropsModel::ColumnHeaders() const {
    const std::string p = current_.dataType == 0 ? "LAC" : "LPC";
    return {"Composition", p + " Default", p + " Offset", p + " Actual", " Image Intensity"};
}

std::string TomographyPropsModel::CellText(std::size_t row, int column) const {
    if (row >= current_.rows.size()) return {};
    const CompositionRow& r = current_.rows[row];
    switch (column) {
        case 0:
            return r.name;
        case 1:
            return FormatReal(r.defaultCoefficient, -1, "%.4g");
        case 2:
            return FormatReal(r.offset, -1, "%.4g");
        case 3:
            return FormatReal(r.actual, -1, "%.4g");
        case 4:
            return r.intensityValid ? FormatReal(r.imageIntensity, -1, "%.2g") : ctmsg::kInvalidValue;
        default:
            return {};
    }
}

bool TomographyPropsModel::EditOffset(std::size_t row, const std::string& text) {
    if (row >= current_.rows.size()) return false;
    float v = 0.0f;
    if (ScanString(text, "%f", &v) != 0 || !std::isfinite(v)) {
        if (prompt_) prompt_->Tell(ctmsg::kInvalidEntry, PromptIcon::Information);
        return false;
    }
    if (current_.rows[row].defaultCoefficient + v < 0.0f) {
        if (prompt_) prompt_->Tell(ctmsg::kNegativeActual, PromptIcon::Information);
        return false;
    }
    current_.rows[row].offset = v;
    ComputeRowCoefficients(current_, row);
    applyEnabled = true;
    return true;
}

bool TomographyPropsModel::ReadFields(CtBeamSettings& t) {
    auto fail = [this](const std::string& text, Field field) {
        if (prompt_) prompt_->Tell(text, PromptIcon::Information);
        failedField = field;
        return false;
    };
    failedField = kNoField;
    t.polychromatic = current_.polychromatic;
    float v = 0.0f;
    if (!ReadReal(energyText, v) || v < 0.0f) return fail(ctmsg::kInvalidEnergy, kEnergyField);
    // The check of the data file readers and the remote command, so that no coefficient becomes 0
    // for want of data; 0 keeps its own meaning, and a polychromatic beam does not use the value.
    if (!t.polychromatic && v > 0.0f)
        if (const std::string why = CheckBeamEnergy(doc_.Settings().attenuationMethod, v); !why.empty())
            return fail(std::string(ctmsg::kInvalidEnergy) + ": " + why, kEnergyField);
    t.monoEnergy = v;
    if (!ReadReal(offsetZeroText, v)) return fail(ctmsg::kInvalidOffsetZero, kOffsetZeroField);
    t.offsetAtZero = v;
    if (!ReadReal(offsetOneText, v)) return fail(ctmsg::kInvalidOffsetOne, kOffsetOneField);
    t.offsetAtOne = v;
    if (!ReadReal(accuracyText, v) || v < 0.0f || v > 1.0f)
        return fail(ctmsg::kInvalidAccuracy, kAccuracyField);
    t.relativeAccuracy = v;
    // The step is scanned as it stands: an empty text is refused.
    float step = 0.0f;
    if (ScanString(stepText, "%f", &step) != 0 || !std::isfinite(step) || step <= 0.0f)
        return fail(ctmsg::kInvalidStep, kNoField);
    t.filters.maxStep = step;
    t.totalAtZero = t.measuredAtZero + t.offsetAtZero;
    t.totalAtOne = t.measuredAtOne + t.offsetAtOne;
    return true;
}

bool TomographyPropsModel::ApplyCommon(CtBeamSettings& t) {
    t = current_;
    if (!ReadFields(t)) return false;
    if (t.polychromatic) {
        const std::string warning = EnergyRangeWarning(t.filters);
        if (!warning.empty() && prompt_ &&
            prompt_->Ask({warning, {}, {}, PromptButtons::YesNo, PromptIcon::Information}) != kPromptYes)
            return false;
    }
    if (ComputeCompositionCoefficients(t) != 0 && prompt_ &&
        prompt_->Ask({ctmsg::kZeroGain, {}, {}, PromptButtons::YesNo, PromptIcon::Information}) != kPromptYes)
        return false;
    t.autoRename = autoRename;
    current_ = t;
    ApplySettings(current_);
    if (autoRename) {
        const std::string name = Chan().name;
        doc_.RenameChannel(name, doc_.GetChannelDisplayName(name));
    }
    return true;
}

bool TomographyPropsModel::Ok() {
    CtBeamSettings t;
    if (!ApplyCommon(t)) return false;
    if (!CtBeamSettings::IsEqual(current_, baseline_)) doc_.SetModifiedFlag(true);
    CloseAllFilterWindows();
    return true;
}

bool TomographyPropsModel::Apply() {
    CtBeamSettings t;
    if (!ApplyCommon(t)) return false;
    // What Apply wrote into the channel and the controller must not be lost on closing.
    if (!CtBeamSettings::IsEqual(current_, baseline_)) doc_.SetModifiedFlag(true);
    baseline_ = current_;
    restore_ = current_;
    RefreshAllFiltersWindow();
    FillTexts(current_);
    applyEnabled = false;
    return true;
}

void TomographyPropsModel::Cancel() {
    ApplySettings(restore_);
    CloseAllFilterWindows();
}

void TomographyPropsModel::RenameChannel(const std::string& oldName, const std::string& newName) {
    if (oldName != newName) {
        const std::string from = "'" + oldName + "'", to = "'" + newName + "'";
        for (std::size_t at = title.find(from); at != std::string::npos;
             at = title.find(from, at + to.size()))
            title.replace(at, from.size(), to);
    }
    const int index = doc_.GetSample().FindChanIndex(newName);
    if (index >= 0 && doc_.GetSample().GetChan(index)->kind == ZunChan::kComposition)
        ComputeCompositionCoefficients(current_);
    for (auto& [name, window] : windows_) window->RenameChannel(oldName, newName);
}

void TomographyPropsModel::RefreshCompositions() {
    ComputeCompositionCoefficients(current_);
}

// ---------------------------------------------------------------- filter list

void TomographyPropsModel::FillCombo() {
    comboEntries = {ctmsg::kSelect};
    for (const auto& f : current_.filters.filters) comboEntries.push_back(f->name + (f->enabled ? "*" : ""));
    comboEntries.push_back(ctmsg::kDisplayAll);
    comboSelection = 0;
}

int TomographyPropsModel::ComboFind(const std::vector<std::string>& entries, const std::string& name,
                                    bool* marked) {
    const std::string bare = Lower(StripMark(name));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (Lower(entries[i]) == bare) {
            if (marked) *marked = false;
            return static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (Lower(entries[i]) == bare + "*") {
            if (marked) *marked = true;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TomographyPropsModel::ComboMark(const std::string& name, bool mark) {
    bool marked = false;
    const int i = ComboFind(comboEntries, name, &marked);
    if (i < 0 || marked == mark) return;
    comboEntries[static_cast<std::size_t>(i)] = StripMark(name) + (mark ? "*" : "");
}

std::string TomographyPropsModel::ComboSelectedName() const {
    if (comboSelection < 0 || comboSelection >= static_cast<int>(comboEntries.size())) return {};
    const std::string& text = comboEntries[static_cast<std::size_t>(comboSelection)];
    const std::size_t star = text.rfind('*');
    return star == std::string::npos ? text : text.substr(0, star);
}

void TomographyPropsModel::OnComboSelection(int index) {
    comboSelection = index;
    const std::string name = ComboSelectedName();
    if (name == ctmsg::kSelect || name == ctmsg::kDisplayAll) deleteEnabled = false;
    if (!name.empty() && name != ctmsg::kSelect) ShowFilterProperties(name);
}

bool TomographyPropsModel::HasFilter(const std::string& name) const {
    return current_.filters.FindFilter(name) != nullptr;
}

bool TomographyPropsModel::GetDeviceFilter(const std::string& name, DeviceFilter& out) const {
    auto* f = dynamic_cast<DeviceFilter*>(current_.filters.FindFilter(name));
    if (!f) return false;
    out.Assign(*f);
    return true;
}

void TomographyPropsModel::PutDeviceFilter(const std::string& name, const DeviceFilter& in) {
    auto* f = dynamic_cast<DeviceFilter*>(current_.filters.FindFilter(name));
    if (!f) return;
    f->Assign(in);
    ComboMark(name, in.enabled);
}

bool TomographyPropsModel::GetMaterialFilter(const std::string& name, MaterialFilter& out) const {
    auto* f = dynamic_cast<MaterialFilter*>(current_.filters.FindFilter(name));
    if (!f) return false;
    out.Assign(*f);
    return true;
}

void TomographyPropsModel::PutMaterialFilter(const std::string& name, const MaterialFilter& in) {
    auto* f = dynamic_cast<MaterialFilter*>(current_.filters.FindFilter(name));
    if (!f) return;
    f->Assign(in);
    ComboMark(name, in.enabled);
}

void TomographyPropsModel::GetCombinedFilters(CombinedFilters& out) const {
    out.curves = current_.combined.curves;
    out.energyUnit = current_.combined.energyUnit;
    // A list of any other length cannot be matched to the three curves: it starts afresh.
    if (out.curves.size() != 3) out.curves = {{true, 1.0f}, {false, 1.0f}, {false, 1.0f}};
}

void TomographyPropsModel::PutCombinedFilters(const CombinedFilters& in) {
    current_.combined.curves = in.curves;
    current_.combined.energyUnit = in.energyUnit;
}

void TomographyPropsModel::AddDeviceFilter(const std::string& name) {
    current_.filters.AddDeviceFilter(name, true);
    comboEntries.push_back(name + "*");
}

void TomographyPropsModel::AddMaterialFilter(const std::string& name) {
    float minimum = 0.0f, maximum = 100.0f, interval = 0.1f;
    DefaultMaterialGrid(current_.filters, minimum, maximum, interval);
    current_.filters.AddMaterialFilter(name, true, 0.1f, minimum, maximum, interval);
    comboEntries.push_back(name + "*");
}

std::string TomographyPropsModel::CheckNewFilterName(const std::string& name) const {
    // Names are told apart ignoring case, as the list box finds them, and may not be one of its
    // own entries.
    const std::string lower = Lower(name);
    if (lower == Lower(ctmsg::kSelect) || lower == Lower(ctmsg::kDisplayAll)) return ctmsg::kNameExists;
    for (const auto& f : current_.filters.filters)
        if (Lower(f->name) == lower) return ctmsg::kNameExists;
    if (name.find('*') != std::string::npos) return ctmsg::kNameStar;
    return {};
}

bool TomographyPropsModel::DeleteSelectedFilter() {
    const std::string name = ComboSelectedName();
    if (name.empty() || name == ctmsg::kSelect || name == ctmsg::kDisplayAll) return false;
    if (PolyFilters::IsStandardFilterName(name)) {
        if (prompt_) prompt_->Tell("Cannot delete predefined filter '" + name + "'");
        return false;
    }
    if (prompt_ &&
        prompt_->Ask(
            {"Delete filter '" + name + "'?", {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) !=
            kPromptOk)
        return false;
    CloseFilterWindow(name);
    current_.filters.DeleteFilterByName(name);
    const int i = ComboFind(comboEntries, name, nullptr);
    if (i >= 0) comboEntries.erase(comboEntries.begin() + i);
    comboSelection = 0;
    deleteEnabled = false;
    RefreshAllFiltersWindow();
    return true;
}

// ---------------------------------------------------------------- filter windows

int TomographyPropsModel::MaterialUnavailable(const MaterialFilter& f, std::string& list) const {
    return std::max(0, f.CheckCompositions(doc_.Settings().attenuationMethod, list));
}

void TomographyPropsModel::ShowFilterProperties(const std::string& name) {
    deleteEnabled = !PolyFilters::IsStandardFilterName(name) && name != ctmsg::kDisplayAll;
    if (auto it = windows_.find(name); it != windows_.end()) {
        it->second->Raise();
        return;
    }
    const int method = doc_.Settings().attenuationMethod;
    const std::string head = doc_.GetTitle() + ": '" + Chan().name + "'";
    CtFilterWindow* window = nullptr;
    if (name == ctmsg::kDisplayAll) {
        std::string list;
        int n = 0;
        for (const auto& f : current_.filters.filters)
            if (auto* m = dynamic_cast<const MaterialFilter*>(f.get())) n += MaterialUnavailable(*m, list);
        if (n > 0) {
            if (prompt_)
                prompt_->Tell(
                    UnavailableElementsText("At least one filter's composition material contains the ", n,
                                            list, method),
                    PromptIcon::Information);
            return;
        }
        if (windowFactory)
            window = windowFactory(WindowKind::Combined, name, head + " All Filters Display", 0);
        if (!window) {
            if (prompt_) prompt_->Tell("Could not display Combined Filters Properties", PromptIcon::Warning);
            return;
        }
    } else {
        BeamFilter* f = current_.filters.FindFilter(name);
        if (!f) return;
        const std::string caption = head + " Filter '" + name + "' Properties";
        if (auto* m = dynamic_cast<MaterialFilter*>(f)) {
            std::string list;
            const int n = MaterialUnavailable(*m, list);
            if (n > 0) {
                if (prompt_)
                    prompt_->Tell(UnavailableElementsText("This filter's composition material contains the ",
                                                          n, list, method),
                                  PromptIcon::Information);
                if (name == "Beam Hardening") return;
            }
            if (windowFactory) window = windowFactory(WindowKind::Material, name, caption, n);
            if (!window) {
                if (prompt_)
                    prompt_->Tell("Could not display Material Filter Properties", PromptIcon::Warning);
                return;
            }
        } else {
            if (windowFactory) window = windowFactory(WindowKind::Device, name, caption, 0);
            if (!window) {
                if (prompt_) prompt_->Tell("Could not display Device Filter Properties", PromptIcon::Warning);
                return;
            }
        }
    }
    windows_[name] = window;
    openingOrder_.push_back(name);
    bool marked = false;
    const int i = ComboFind(comboEntries, name, &marked);
    if (i >= 0) comboSelection = i;
    const BeamFilter* f = current_.filters.FindFilter(name);
    ComboMark(name, f && f->enabled);
}

void TomographyPropsModel::CloseFilterWindow(const std::string& name) {
    auto it = windows_.find(name);
    if (it == windows_.end()) return;
    CtFilterWindow* window = it->second;
    windows_.erase(it);
    openingOrder_.erase(std::remove(openingOrder_.begin(), openingOrder_.end(), name), openingOrder_.end());
    window->Destroy();
}

void TomographyPropsModel::CloseAllFilterWindows() {
    while (!windows_.empty()) CloseFilterWindow(windows_.begin()->first);
}

void TomographyPropsModel::RefreshAllFiltersWindow() {
    if (auto it = windows_.find(ctmsg::kDisplayAll); it != windows_.end()) it->second->Refresh();
}

// ---------------------------------------------------------------- rules

std::string TomographyPropsModel::EnergyRangeWarning(const PolyFilters& filters) {
    const BeamFilter* source = filters.FindFilter("Source");
    // A source that is off or empty gives no range to hold the others against.
    if (!source || !source->enabled || source->table.empty()) return {};
    const float first = source->table.begin()->first, last = source->table.rbegin()->first;
    std::vector<std::string> names;
    for (const auto& f : filters.filters) {
        if (f.get() == source || !f->enabled || f->table.empty()) continue;
        if (f->table.rbegin()->first < last || f->table.begin()->first > first) names.push_back(f->name);
    }
    if (names.empty()) return {};
    if (names.size() == 1)
        return "Warning: The energy range of the " + names.front() + " filter\n" +
               "does not fully encompass that of the Source filter.\nContinue?";
    std::string text =
        "Warning: The energy ranges of the following filters\n"
        "do not fully encompass that of the Source filter:\n";
    std::string line;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) line += ", ";
        line += names[i];
        if (line.size() >= 60) {
            line += "\n";
            text += line;
            line.clear();
        }
    }
    return text + line + ". Continue?";
}

void TomographyPropsModel::DefaultMaterialGrid(const PolyFilters& filters, float& minimum, float& maximum,
                                               float& interval) {
    float hi = 0.0f, lo = 0.0f, step = 0.0f;
    if (filters.GetCommonEnergyRange(hi, lo, step) != 0) {
        minimum = 0.0f;
        maximum = 100.0f;
        interval = 0.1f;
        return;
    }
    minimum = lo;
    maximum = hi;
    interval = step;
    // A step that is not positive would never end the refinement.
    if (maximum > minimum && interval > 0.0f)
        while (interval > 0.0f && (maximum - minimum) / interval < 11.0f) interval /= 10.0f;
}

std::string TomographyPropsModel::UnavailableElementsText(const std::string& prefix, int count,
                                                          const std::string& list, int method) {
    return prefix + (count == 1 ? "element " : "elements ") + list + ".\n" +
           (count == 1 ? "This is " : "These are ") + "not available with the " +
           Compound::GetAttenMethodName(method) + " attenuation method.\n" +
           "Change the formula or select an appropriate method in the Zun Properties dialog.";
}

}  // namespace zun
