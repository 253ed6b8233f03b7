#pragma once
// The filters of one polychromatic beam and the spectrum-weighted effective attenuation.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "model/filter.h"

namespace zun {

class Compound;

class PolyFilters : public Serializable {
    ZUN_DECLARE_SERIAL(PolyFilters)
public:
    PolyFilters() = default;
    PolyFilters(const PolyFilters& other);  // deep copy
    PolyFilters& operator=(const PolyFilters& other);
    PolyFilters(PolyFilters&&) noexcept = default;
    PolyFilters& operator=(PolyFilters&&) noexcept = default;

    void Serialize(Archive& ar) override;
    // The same object, or the same filter objects in the same order and equal maxStep: distinct
    // deep copies are equal only when both are empty.
    bool operator==(const PolyFilters& other) const;

    void Clear() { filters.clear(); }
    std::size_t size() const { return filters.size(); }
    BeamFilter* FindFilter(const std::string& name) const;
    void DeleteFilterByName(const std::string& name);
    DeviceFilter* AddDeviceFilter(const std::string& name, bool enabled);
    MaterialFilter* AddMaterialFilter(const std::string& name, bool enabled, float thickness, float energyMin,
                                      float energyMax, float energyStep);
    static bool IsStandardFilterName(const std::string& name);

    // maxStep, or 0.1 keV where the stored step is not a positive number; never below 0.001 keV.
    float GetMaxStep() const;
    // The span of the usable filters' ranges; 1 (energies 0) when no filter is usable.
    int GetCommonEnergyRange(float& maxEnergy, float& minEnergy, float& step) const;
    // The integration grid: the usable filters' energies, plus one step outside each filter's
    // range where the span goes on. Left as it was when no filter is usable.
    void BuildEnergyGrid(std::set<float>& grid) const;
    // Resamples every filter onto a fresh grid and returns the grid ascending.
    void ComputeCombinedGain(std::vector<double>& energies);
    // A new enabled filter holding the product of all filters on the grid.
    std::unique_ptr<DeviceFilter> MakeCombinedFilter(const std::string& name) const;
    // Spectrum-weighted linear coefficient (1/cm) of the compound: 0 success, 1 no usable
    // spectrum (lac 0).
    int EffectiveAttenuation(const Compound& compound, float& lac, int method, int dataType) const;

    std::vector<std::unique_ptr<BeamFilter>> filters;  // owned, in list order
    float maxStep = 0.1f;                              // keV
};

// Settings of the combined-filters plot of a CT channel.
class CombinedFilters : public Serializable {
    ZUN_DECLARE_SERIAL(CombinedFilters)
public:
    struct Curve {
        bool show = false;
        float scaling = 0.0f;
        bool operator==(const Curve&) const = default;
    };

    CombinedFilters() = default;
    CombinedFilters(const CombinedFilters& other)
        : Serializable(other), curves(other.curves), energyUnit(other.energyUnit) {}
    CombinedFilters& operator=(const CombinedFilters& other) {
        curves = other.curves;
        energyUnit = other.energyUnit;
        return *this;
    }
    bool operator==(const CombinedFilters& other) const {
        return curves == other.curves && energyUnit == other.energyUnit;
    }
    void Serialize(Archive& ar) override;

    std::vector<Curve> curves;
    int energyUnit = 1;
    PolyFilters filters;  // the editor's working set: not stored, copied or compared
};

}  // namespace zun
