#pragma once
// Beam filters: transfer functions of energy (source spectrum, detector response, absorbing
// layers) whose product weights the energies of a polychromatic beam.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/archive.h"
#include "platform/runtimeclass.h"

namespace zun {

class BeamFilter : public Serializable {
    ZUN_DECLARE_SERIAL(BeamFilter)
public:
    BeamFilter() : BeamFilter("beam_filter", false) {}
    BeamFilter(std::string name, bool enabled) : name(std::move(name)), enabled(enabled) {}

    void Serialize(Archive& ar) override;

    // Same class, name (case-sensitive), attribute, enabled flag, energy unit and points.
    virtual bool operator==(const BeamFilter& other) const;
    bool operator!=(const BeamFilter& other) const { return !(*this == other); }
    // Copies name, attribute, enabled flag, energy unit and table (the class's own fields too
    // where both are of that class).
    virtual void Assign(const BeamFilter& other);
    // A new filter of the same class, equal to this one.
    std::unique_ptr<BeamFilter> Clone() const;

    // 1 when disabled or empty (outputs untouched); else the last and first table energy, 0.
    int GetEnergyRange(float& maxEnergy, float& minEnergy) const;
    // Transfer value: 1 when disabled or empty; 0 outside the table; linear in between.
    float GetValue(float energy) const;
    // Replaces the table by the values at the given energies.
    void Resample(const std::set<float>& energies);

    std::string name;
    int attribute = 255;  // kept, compared and stored; no computation reads it
    bool enabled = false;
    int energyUnit = 1;            // unit the editors show: 0 eV, 1 keV (the table is in keV)
    std::map<float, float> table;  // energy (keV) -> transfer value
};

// A source spectrum or detector response.
class DeviceFilter : public BeamFilter {
    ZUN_DECLARE_SERIAL(DeviceFilter)
public:
    DeviceFilter() : BeamFilter("device_filter", false) {}
    DeviceFilter(std::string name, bool enabled) : BeamFilter(std::move(name), enabled) {}
    void Serialize(Archive& ar) override;
};

struct FilterComposition {
    std::string formula;
    double density = 0.0;   // g/cm3
    double fraction = 0.0;  // share of the layer
    bool operator==(const FilterComposition&) const = default;
};

// An absorbing layer; its table holds the layer's transmission on the grid energyMin,
// energyMin + energyStep, ... (computed by its editor).
class MaterialFilter : public BeamFilter {
    ZUN_DECLARE_SERIAL(MaterialFilter)
public:
    MaterialFilter() : BeamFilter("material_filter", false) {}
    MaterialFilter(std::string name, bool enabled) : BeamFilter(std::move(name), enabled) {}
    void Serialize(Archive& ar) override;
    bool operator==(const BeamFilter& other) const override;
    void Assign(const BeamFilter& other) override;

    // Parses every composition (messages shown); -1 with text = the formula at the first one that
    // fails, else the number of elements the method cannot serve (their symbols in text).
    int CheckCompositions(int method, std::string& text) const;
    // energyStep, or 0.1 keV where a stored step is not a positive number.
    float GetEnergyStep() const;

    double thickness = 0.1;  // cm
    float energyMin = 0.0f;
    float energyMax = 100.0f;
    float energyStep = 0.1f;
    std::vector<FilterComposition> compositions;
};

}  // namespace zun
