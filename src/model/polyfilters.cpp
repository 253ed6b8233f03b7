#include "model/polyfilters.h"

#include <cfloat>
#include <cmath>

#include "model/compound.h"

namespace zun {

ZUN_IMPLEMENT_SERIAL(PolyFilters, ::zun::Serializable, 0)
ZUN_IMPLEMENT_SERIAL(CombinedFilters, ::zun::Serializable, 0)

namespace {

constexpr float kDefaultStep = 0.1f;
// A step from a file may be absurdly small; each interval would then take billions of samples.
constexpr float kSmallestStep = 0.001f;

}  // namespace

PolyFilters::PolyFilters(const PolyFilters& other) : Serializable(other), maxStep(other.maxStep) {
    for (const auto& f : other.filters) filters.push_back(f->Clone());
}

PolyFilters& PolyFilters::operator=(const PolyFilters& other) {
    if (this == &other) return *this;
    std::vector<std::unique_ptr<BeamFilter>> copy;
    for (const auto& f : other.filters) copy.push_back(f->Clone());
    filters = std::move(copy);
    maxStep = other.maxStep;
    return *this;
}

bool PolyFilters::operator==(const PolyFilters& other) const {
    if (this == &other) return true;
    if (filters.size() != other.filters.size() || maxStep != other.maxStep) return false;
    for (std::size_t i = 0; i < filters.size(); ++i)
        if (filters[i].get() != other.filters[i].get()) return false;
    return true;
}

void PolyFilters::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(filters.size());
        for (const auto& f : filters) ar.WriteObject(f.get());
        ar << kRecordStamp << maxStep;
        return;
    }
    std::int32_t n = 0;
    ar >> n;
    std::vector<std::unique_ptr<BeamFilter>> loaded;
    for (std::int32_t i = 0; i < n; ++i) {
        if (auto f = ar.ReadOwnedObject<BeamFilter>()) loaded.push_back(std::move(f));
    }
    std::uint32_t version = 0;
    ar >> version >> maxStep;
    filters = std::move(loaded);
}

BeamFilter* PolyFilters::FindFilter(const std::string& name) const {
    for (const auto& f : filters)
        if (f->name == name) return f.get();
    return nullptr;
}

void PolyFilters::DeleteFilterByName(const std::string& name) {
    for (auto it = filters.begin(); it != filters.end(); ++it) {
        if ((*it)->name == name) {
            filters.erase(it);
            return;
        }
    }
}

DeviceFilter* PolyFilters::AddDeviceFilter(const std::string& name, bool enabled) {
    filters.push_back(std::make_unique<DeviceFilter>(name, enabled));
    return static_cast<DeviceFilter*>(filters.back().get());
}

MaterialFilter* PolyFilters::AddMaterialFilter(const std::string& name, bool enabled, float thickness,
                                               float energyMin, float energyMax, float energyStep) {
    auto f = std::make_unique<MaterialFilter>(name, enabled);
    f->thickness = thickness;
    f->energyMin = energyMin;
    f->energyMax = energyMax;
    f->energyStep = energyStep;
    filters.push_back(std::move(f));
    return static_cast<MaterialFilter*>(filters.back().get());
}

bool PolyFilters::IsStandardFilterName(const std::string& name) {
    return name == "Source" || name == "Detector" || name == "Beam Hardening";
}

float PolyFilters::GetMaxStep() const {
    if (!(maxStep > 0.0f)) return kDefaultStep;  // 0, negative or NaN from a file
    return maxStep < kSmallestStep ? kSmallestStep : maxStep;
}

int PolyFilters::GetCommonEnergyRange(float& maxEnergy, float& minEnergy, float& step) const {
    step = GetMaxStep();
    maxEnergy = -FLT_MIN;
    minEnergy = FLT_MAX;
    bool any = false;
    for (const auto& f : filters) {
        float hi = 0.0f, lo = 0.0f;
        if (f->GetEnergyRange(hi, lo) != 0) continue;
        minEnergy = std::min(minEnergy, lo);
        maxEnergy = std::max(maxEnergy, hi);
        any = true;
    }
    if (!any) {
        maxEnergy = minEnergy = 0.0f;
        return 1;
    }
    return 0;
}

void PolyFilters::BuildEnergyGrid(std::set<float>& grid) const {
    float maxEnergy = 0.0f, minEnergy = 0.0f, step = 0.0f;
    if (GetCommonEnergyRange(maxEnergy, minEnergy, step) != 0) return;
    grid.clear();
    for (const auto& f : filters) {
        float fMax = 0.0f, fMin = 0.0f;
        if (f->GetEnergyRange(fMax, fMin) != 0) continue;
        for (const auto& point : f->table) grid.insert(point.first);
        // One step outside a filter's range its product with the others falls to 0.
        if (minEnergy < fMin - step) grid.insert(fMin - step);
        if (fMax + step < maxEnergy) grid.insert(fMax + step);
    }
}

void PolyFilters::ComputeCombinedGain(std::vector<double>& energies) {
    std::set<float> grid;
    BuildEnergyGrid(grid);
    energies.assign(grid.begin(), grid.end());
    if (grid.empty()) return;  // nothing usable: the filters keep their tables
    for (auto& f : filters) f->Resample(grid);
}

std::unique_ptr<DeviceFilter> PolyFilters::MakeCombinedFilter(const std::string& name) const {
    auto combined = std::make_unique<DeviceFilter>(name, true);
    std::set<float> grid;
    BuildEnergyGrid(grid);
    for (float e : grid) {
        float v = 1.0f;
        for (const auto& f : filters) v *= f->GetValue(e);
        combined->table.emplace_hint(combined->table.end(), e, v);
    }
    return combined;
}

int PolyFilters::EffectiveAttenuation(const Compound& compound, float& lac, int method, int dataType) const {
    lac = 0.0f;
    std::size_t points = 0;
    const BeamFilter* line = nullptr;
    for (const auto& f : filters) {
        if (!f->enabled) continue;
        points += f->table.size();
        if (!line && f->table.size() == 1) line = f.get();
    }
    if (points == 0) return 1;

    if (line) {
        // A single-point filter makes the beam monochromatic, whatever the others hold.
        const float e = line->table.begin()->first;
        for (const auto& f : filters)
            if (f->enabled && f->GetValue(e) == 0.0f) return 1;
        lac =
            static_cast<float>(compound.MassAttenuation(method, dataType, kAttenTotal, e) * compound.density);
        return 0;
    }

    std::set<float> grid;
    BuildEnergyGrid(grid);
    const float step = GetMaxStep();
    double s = 0.0, w = 0.0;
    for (auto it = grid.begin(); it != grid.end() && std::next(it) != grid.end(); ++it) {
        const float e0 = *it;
        const float d = *std::next(it) - e0;
        int n = 1;
        float h = d;
        if (d > step) {
            n = static_cast<int>(std::ceil(d / step));
            h = d / static_cast<float>(n);
        }
        // Left ends of the sub-intervals: the last grid energy is never a sample.
        for (int i = 0; i < n; ++i) {
            const float e = e0 + static_cast<float>(i) * h;
            float gain = 1.0f;
            for (const auto& f : filters) gain *= f->GetValue(e);
            const double g = static_cast<double>(h) * gain;
            if (g == 0.0) continue;
            const double mu = compound.MassAttenuation(method, dataType, kAttenTotal, e) * compound.density;
            s += g * mu;
            w += g;
        }
    }
    if (w == 0.0) return 1;
    lac = static_cast<float>(s / w);
    return 0;
}

void CombinedFilters::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp << static_cast<std::uint32_t>(curves.size());
        for (const Curve& c : curves) ar << c.show << c.scaling;
        ar << static_cast<std::int32_t>(energyUnit);
        return;
    }
    std::uint32_t version = 0, n = 0;
    ar >> version >> n;
    for (std::uint32_t i = 0; i < n; ++i) {
        Curve c;
        ar >> c.show >> c.scaling;
        curves.push_back(c);
    }
    std::int32_t unit = 0;
    ar >> unit;
    energyUnit = unit;
}

}  // namespace zun
