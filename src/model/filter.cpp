#include "model/filter.h"

#include <cmath>

#include "model/compound.h"

namespace zun {

ZUN_IMPLEMENT_SERIAL(BeamFilter, ::zun::Serializable, 0)
ZUN_IMPLEMENT_SERIAL(DeviceFilter, BeamFilter, 0)
ZUN_IMPLEMENT_SERIAL(MaterialFilter, BeamFilter, 0)

namespace {

// Material filters stored before this version carry one more byte after the energy step.
constexpr std::uint32_t kMaterialLegacyByteBefore = 91;
constexpr float kDefaultStep = 0.1f;

}  // namespace

// ---------------------------------------------------------------------------------------------
// BeamFilter

void BeamFilter::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp << name << static_cast<std::int32_t>(attribute) << enabled
           << static_cast<std::int32_t>(energyUnit) << static_cast<std::int32_t>(table.size());
        for (const auto& [e, v] : table) ar << e << v;
        return;
    }
    std::uint32_t version = 0;
    std::int32_t attr = 0, unit = 0, n = 0;
    ar >> version >> name >> attr >> enabled >> unit >> n;
    attribute = attr;
    energyUnit = unit;
    for (std::int32_t i = 0; i < n; ++i) {
        float e = 0.0f, v = 0.0f;
        ar >> e >> v;
        // A point without a finite energy and value cannot take part in the ordered table or the
        // spectrum sums; a damaged file loses it rather than poisoning every result.
        if (!std::isfinite(e) || !std::isfinite(v)) continue;
        table[e] = v;
    }
}

bool BeamFilter::operator==(const BeamFilter& other) const {
    return GetRuntimeClass() == other.GetRuntimeClass() && name == other.name &&
           attribute == other.attribute && enabled == other.enabled && energyUnit == other.energyUnit &&
           table == other.table;
}

void BeamFilter::Assign(const BeamFilter& other) {
    name = other.name;
    attribute = other.attribute;
    enabled = other.enabled;
    energyUnit = other.energyUnit;
    table = other.table;
}

std::unique_ptr<BeamFilter> BeamFilter::Clone() const {
    std::unique_ptr<Serializable> obj = GetRuntimeClass()->CreateObject();
    if (!obj) throw std::bad_alloc();
    std::unique_ptr<BeamFilter> f(static_cast<BeamFilter*>(obj.release()));
    f->Assign(*this);
    return f;
}

int BeamFilter::GetEnergyRange(float& maxEnergy, float& minEnergy) const {
    if (!enabled || table.empty()) return 1;
    maxEnergy = table.rbegin()->first;
    minEnergy = table.begin()->first;
    return 0;
}

float BeamFilter::GetValue(float e) const {
    if (!enabled || table.empty()) return 1.0f;
    if (!(e >= table.begin()->first && e <= table.rbegin()->first)) return 0.0f;  // outside, or NaN
    auto hi = table.lower_bound(e);
    if (hi->first == e) return hi->second;
    auto lo = std::prev(hi);
    return lo->second + (hi->second - lo->second) / (hi->first - lo->first) * (e - lo->first);
}

void BeamFilter::Resample(const std::set<float>& energies) {
    std::map<float, float> t;
    for (float e : energies) t.emplace_hint(t.end(), e, GetValue(e));
    table = std::move(t);
}

// ---------------------------------------------------------------------------------------------
// DeviceFilter, MaterialFilter

void DeviceFilter::Serialize(Archive& ar) {
    BeamFilter::Serialize(ar);
    if (ar.IsStoring()) {
        ar << kRecordStamp;
    } else {
        std::uint32_t version = 0;
        ar >> version;
    }
}

void MaterialFilter::Serialize(Archive& ar) {
    BeamFilter::Serialize(ar);
    if (ar.IsStoring()) {
        ar << kRecordStamp << thickness << energyMin << energyMax << energyStep
           << static_cast<std::uint32_t>(compositions.size());
        for (const auto& c : compositions) ar << c.formula << c.density << c.fraction;
        return;
    }
    std::uint32_t version = 0, n = 0;
    ar >> version >> thickness >> energyMin >> energyMax >> energyStep;
    if (version < kMaterialLegacyByteBefore) {
        bool legacy = false;
        ar >> legacy;
    }
    ar >> n;
    for (std::uint32_t i = 0; i < n; ++i) {
        FilterComposition c;
        ar >> c.formula >> c.density >> c.fraction;
        compositions.push_back(std::move(c));
    }
}

bool MaterialFilter::operator==(const BeamFilter& other) const {
    if (!BeamFilter::operator==(other)) return false;
    const auto& o = static_cast<const MaterialFilter&>(other);  // same class checked above
    return thickness == o.thickness && energyMin == o.energyMin && energyMax == o.energyMax &&
           energyStep == o.energyStep && compositions == o.compositions;
}

void MaterialFilter::Assign(const BeamFilter& other) {
    BeamFilter::Assign(other);
    if (const auto* o = dynamic_cast<const MaterialFilter*>(&other)) {
        thickness = o->thickness;
        energyMin = o->energyMin;
        energyMax = o->energyMax;
        energyStep = o->energyStep;
        compositions = o->compositions;
    }
}

int MaterialFilter::CheckCompositions(int method, std::string& text) const {
    Compound scratch;
    int count = 0;
    for (const auto& c : compositions) {
        if (scratch.SetFormula(c.formula, false) != 0) {
            text = c.formula;
            return -1;
        }
        count += scratch.CountUnavailableElements(method, text);
    }
    return count;
}

float MaterialFilter::GetEnergyStep() const {
    return energyStep > 0.0f ? energyStep : kDefaultStep;
}

}  // namespace zun
