#pragma once
// The beam settings record of one X-ray CT channel as its properties dialog edits it: data type,
// beam (one energy or a set of filters), the attenuation coefficients of image values 0.0 and 1.0
// and one coefficient row per composition.

#include <cstdint>
#include <string>
#include <vector>

#include "model/polyfilters.h"

namespace zun {

struct CompositionRow {
    std::string name;
    float defaultCoefficient = 0.0f;  // 1/cm
    float offset = 0.0f;              // 1/cm
    float actual = 0.0f;              // offset + default, what the computation uses
    float imageIntensity = 0.0f;
    bool intensityValid = false;
};

class CtBeamSettings {
public:
    explicit CtBeamSettings(float monoEnergy = 0.0f, float totalAtZero = 0.0f, float measuredAtZero = 0.0f,
                            float offsetAtZero = 0.0f, float totalAtOne = 0.0f, float measuredAtOne = 0.0f,
                            float offsetAtOne = 0.0f, float relativeAccuracy = 0.0f);

    // Equal floats (a NaN never is), flags, rows, filters filter by filter and combined settings;
    // the maximum integration step takes no part.
    static bool IsEqual(const CtBeamSettings& a, const CtBeamSettings& b);

    std::int32_t dataType = 0;  // 0 LAC, 1 LPC
    bool autoRename = true;
    bool polychromatic = false;
    PolyFilters filters;
    CombinedFilters combined;
    float monoEnergy;  // keV
    float totalAtZero;
    float measuredAtZero;
    float offsetAtZero;
    float totalAtOne;
    float measuredAtOne;
    float offsetAtOne;
    float relativeAccuracy;
    std::vector<CompositionRow> rows;
};

}  // namespace zun
