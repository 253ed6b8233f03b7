#include "plot/ctbeamsettings.h"

namespace zun {

CtBeamSettings::CtBeamSettings(float monoEnergy, float totalAtZero, float measuredAtZero, float offsetAtZero,
                               float totalAtOne, float measuredAtOne, float offsetAtOne,
                               float relativeAccuracy)
    : monoEnergy(monoEnergy),
      totalAtZero(totalAtZero),
      measuredAtZero(measuredAtZero),
      offsetAtZero(offsetAtZero),
      totalAtOne(totalAtOne),
      measuredAtOne(measuredAtOne),
      offsetAtOne(offsetAtOne),
      relativeAccuracy(relativeAccuracy) {}

namespace {

bool SameRow(const CompositionRow& a, const CompositionRow& b) {
    return a.name == b.name && a.defaultCoefficient == b.defaultCoefficient && a.offset == b.offset &&
           a.actual == b.actual && a.imageIntensity == b.imageIntensity &&
           a.intensityValid == b.intensityValid;
}

// PolyFilters' own equality is object identity; a record compares its filters by value.
bool SameFilters(const PolyFilters& a, const PolyFilters& b) {
    if (a.filters.size() != b.filters.size()) return false;
    for (std::size_t i = 0; i < a.filters.size(); ++i)
        if (!(*a.filters[i] == *b.filters[i])) return false;
    return true;
}

}  // namespace

bool CtBeamSettings::IsEqual(const CtBeamSettings& a, const CtBeamSettings& b) {
    if (&a == &b) return true;
    if (!(a.monoEnergy == b.monoEnergy && a.totalAtZero == b.totalAtZero &&
          a.measuredAtZero == b.measuredAtZero && a.offsetAtZero == b.offsetAtZero &&
          a.totalAtOne == b.totalAtOne && a.measuredAtOne == b.measuredAtOne &&
          a.offsetAtOne == b.offsetAtOne && a.relativeAccuracy == b.relativeAccuracy))
        return false;
    if (a.dataType != b.dataType || a.autoRename != b.autoRename || a.polychromatic != b.polychromatic)
        return false;
    if (a.rows.size() != b.rows.size()) return false;
    for (std::size_t i = 0; i < a.rows.size(); ++i)
        if (!SameRow(a.rows[i], b.rows[i])) return false;
    return SameFilters(a.filters, b.filters) && a.combined == b.combined;
}

}  // namespace zun
