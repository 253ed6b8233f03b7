#include "plot/combinedfilters.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <set>
#include <sstream>

#include "foundation/numformat.h"
#include "platform/prompt.h"
#include "plot/tabletext.h"
#include "plot/tomographyprops.h"

namespace zun {

namespace {
bool Usable(const BeamFilter* f) {
    return f && f->enabled && !f->table.empty();
}
}  // namespace

CombinedFiltersModel::CombinedFiltersModel(TomographyPropsModel& owner, Prompt* prompt)
    : owner_(owner), prompt_(prompt) {}

void CombinedFiltersModel::Open() {
    owner_.GetCombinedFilters(current_);
    saved_ = current_;
    applyEnabled = false;
    Refresh();
}

void CombinedFiltersModel::Refresh() {
    UpdateAvailability();
    ShowScalings();
    BuildCurves();
}

void CombinedFiltersModel::UpdateAvailability() {
    const PolyFilters& f = owner_.Current().filters;
    const bool source = Usable(f.FindFilter("Source"));
    available[kSource] = source;
    available[kSourceDetector] = source && Usable(f.FindFilter("Detector"));
    // Any usable filter other than the two the first curves already show.
    bool other = false;
    for (const auto& b : f.filters)
        other = other || (Usable(b.get()) && b->name != "Source" && b->name != "Detector");
    available[kAll] = other;
    for (int c = 0; c < kCurveCount; ++c)
        if (!available[static_cast<std::size_t>(c)])
            current_.curves[static_cast<std::size_t>(c)].show = false;
}

void CombinedFiltersModel::ShowScalings() {
    for (int c = 0; c < kCurveCount; ++c)
        scalingTexts[static_cast<std::size_t>(c)] =
            FormatReal(current_.curves[static_cast<std::size_t>(c)].scaling, -1, "%g");
}

void CombinedFiltersModel::BuildCurves() {
    const PolyFilters& owned = owner_.Current().filters;
    PolyFilters working;
    working.maxStep = owned.maxStep;
    std::array<int, kCurveCount> slot{-1, -1, -1};
    const BeamFilter* source = owned.FindFilter("Source");
    if (current_.curves[kSource].show && source) {
        auto copy = std::make_unique<DeviceFilter>("Source", true);
        copy->table = source->table;
        slot[kSource] = static_cast<int>(working.filters.size());
        working.filters.push_back(std::move(copy));
    }
    if (current_.curves[kSourceDetector].show && source && owned.FindFilter("Detector")) {
        PolyFilters pair;
        pair.filters.push_back(source->Clone());
        pair.filters.push_back(owned.FindFilter("Detector")->Clone());
        slot[kSourceDetector] = static_cast<int>(working.filters.size());
        working.filters.push_back(pair.MakeCombinedFilter("Source+Detector"));
    }
    if (current_.curves[kAll].show) {
        slot[kAll] = static_cast<int>(working.filters.size());
        working.filters.push_back(owned.MakeCombinedFilter("All"));
    }
    std::vector<double> energies;
    working.ComputeCombinedGain(energies);
    if (working.filters.empty()) {
        // No curve shown: the export still lists the energies of the channel's filters.
        std::set<float> grid;
        owned.BuildEnergyGrid(grid);
        energies.assign(grid.begin(), grid.end());
    }
    x.clear();
    for (double e : energies) x.push_back(Unit() == 1 ? e : e * 1000.0);
    for (int c = 0; c < kCurveCount; ++c) {
        auto& g = gains_[static_cast<std::size_t>(c)];
        auto& out = y[static_cast<std::size_t>(c)];
        g.clear();
        out.clear();
        if (slot[static_cast<std::size_t>(c)] < 0) continue;
        const BeamFilter& f = *working.filters[static_cast<std::size_t>(slot[static_cast<std::size_t>(c)])];
        for (double e : energies) g.push_back(f.GetValue(static_cast<float>(e)));
        for (double v : g) out.push_back(v * current_.curves[static_cast<std::size_t>(c)].scaling);
    }
}

void CombinedFiltersModel::SetShown(Curve c, bool on) {
    if (!available[c]) on = false;
    current_.curves[c].show = on;
    BuildCurves();
    applyEnabled = true;
}

void CombinedFiltersModel::SetUnit(int unit) {
    current_.energyUnit = unit == 1 ? 1 : 0;
    BuildCurves();
    applyEnabled = true;
}

bool CombinedFiltersModel::ReadScalings(int* field) {
    CombinedFilters copy = current_;
    for (int c = 0; c < kCurveCount; ++c) {
        float v = 0.0f;
        if (ScanString(scalingTexts[static_cast<std::size_t>(c)], "%g", &v) != 0 || !std::isfinite(v) ||
            v < 0.0f) {
            if (prompt_) prompt_->Tell(combinedmsg::kScaling, PromptIcon::Warning);
            if (field) *field = c;
            return false;
        }
        copy.curves[static_cast<std::size_t>(c)].scaling = v;
    }
    current_ = copy;
    ShowScalings();
    BuildCurves();
    applyEnabled = true;
    return true;
}

float CombinedFiltersModel::StepScaling(float v, int delta) {
    if (delta == 0) return v;
    if (!(v > 0.0f)) return delta > 0 ? 0.1f : 0.0f;
    int e = static_cast<int>(std::floor(std::log10(v)));
    int k = static_cast<int>(10.0 * std::pow(10.0, std::log10(v) - e) + 0.5);
    if (delta > 0) {
        if (k == 100) {
            k = 10;
            ++e;
        }
        ++k;
    } else {
        if (k == 10) {
            k = 100;
            --e;
        }
        --k;
    }
    return static_cast<float>(k / 10.0 * std::pow(10.0, e));
}

void CombinedFiltersModel::Spin(Curve c, int delta) {
    float v = 0.0f;
    if (ScanString(scalingTexts[c], "%g", &v) != 0 || !std::isfinite(v) || v < 0.0f) {
        if (prompt_) prompt_->Tell(combinedmsg::kScaling, PromptIcon::Warning);
        return;
    }
    const float next = StepScaling(v, delta);
    if (next == current_.curves[c].scaling) return;
    current_.curves[c].scaling = next;
    scalingTexts[c] = FormatReal(next, -1, "%g");
    BuildCurves();
    applyEnabled = true;
}

std::string CombinedFiltersModel::ExportText() const {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << "# " << caption << '\n' << std::setw(20) << XTitle();
    for (int c = 0; c < kCurveCount; ++c)
        if (current_.curves[static_cast<std::size_t>(c)].show) s << std::setw(20) << kNames[c];
    s << '\n';
    for (std::size_t i = 0; i < x.size(); ++i) {
        s << std::setw(20) << x[i];
        for (int c = 0; c < kCurveCount; ++c)
            if (current_.curves[static_cast<std::size_t>(c)].show &&
                i < gains_[static_cast<std::size_t>(c)].size())
                s << std::setw(20) << gains_[static_cast<std::size_t>(c)][i];
        s << '\n';
    }
    return s.str();
}

bool CombinedFiltersModel::Export(const std::string& path) const {
    std::string error;
    if (SaveTextFile(path, ExportText(), &error)) return true;
    if (prompt_) prompt_->Tell(error, PromptIcon::Warning);
    return false;
}

bool CombinedFiltersModel::Apply() {
    if (!ReadScalings()) return false;
    owner_.PutCombinedFilters(current_);
    saved_ = current_;
    applyEnabled = false;
    return true;
}

bool CombinedFiltersModel::Ok() {
    if (!ReadScalings()) return false;
    owner_.PutCombinedFilters(current_);
    bool changed = saved_.curves.size() != current_.curves.size();
    for (std::size_t i = 0; !changed && i < current_.curves.size(); ++i)
        changed = !(saved_.curves[i] == current_.curves[i]);
    if (changed) owner_.EnableApply();
    return true;
}

}  // namespace zun
