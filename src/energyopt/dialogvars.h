#pragma once
// Everything the energy-optimisation sheet edits, computes and shows again next time it opens.
// The document owns one and writes it into the document file; the record holds data only.

#include <cstdint>
#include <string>
#include <vector>

#include "energyopt/problem.h"
#include "foundation/matrix.h"
#include "platform/archive.h"

namespace EnergyOpt {

// One page's inputs: the noise-model index (0 common relative error, 1 with an approximate
// composition) and one row of volume fractions per target mixture, one column per composition.
struct PageSetting {
    int32_t noiseModel = 0;
    zun::Matrix<float> targetMixtures;
};

// One beam domain's search range; a count of 0 leaves the domain out.
struct BeamDomainSetting {
    int32_t energyCount = 0;
    double minEnergy = 0.0;
    double maxEnergy = 0.0;
};

class DialogVars : public zun::Serializable {
    ZUN_DECLARE_SERIAL(DialogVars)

public:
    static constexpr int kPageCount = 2;
    static constexpr int kBeamDomainCount = 3;
    static constexpr uint32_t kVersionStamp = 2648;

    DialogVars();
    DialogVars(const DialogVars& other) = default;
    DialogVars& operator=(const DialogVars& other);

    // A damaged file that stores other page or domain counts loads the first entries and pads
    // with defaults, so the sheet always finds two pages and three domains.
    void Serialize(zun::Archive& ar) override;

    std::vector<std::string> compositionNames;
    std::vector<PageSetting> pages;
    int32_t maxIterations = 1;
    std::vector<BeamDomainSetting> beamDomains;
    std::vector<TypedEnergy> optimisedEnergies;
    std::vector<TypedEnergy> evaluationEnergies;
    std::vector<std::string> metricCompositionNames;
    zun::Matrix<float> metricMixtures;
    std::vector<Metric> metrics;
};

// Adds the record's run-time class to the program's class registry.
void RegisterEnergyOptClasses();

}  // namespace EnergyOpt
