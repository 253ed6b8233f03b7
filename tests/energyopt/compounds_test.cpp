// The entry points on real compounds (attenuation tables of the model): a search whose result
// no point of a dense energy grid beats, and the phase-shift refusal of sources without phase data.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "compounds.h"
#include "energyopt/noisemodel.h"
#include "energyopt/optimise.h"

using namespace EnergyOpt;
using namespace EnergyOptTest;

namespace {

struct Mixture {
    std::vector<CompoundMaterial> materials;
    std::vector<MaterialFunctions> compositions;
    std::shared_ptr<const NoiseModel> model = std::make_shared<CommonRelError>();
    TargetMixtures targets{{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    explicit Mixture(int method) {
        materials.push_back(MakeCompound("", 0, method));
        materials.push_back(MakeCompound("H2O", 1.0, method));
        materials.push_back(MakeCompound("Ca5(PO4)3OH", 3.16, method));
        materials.push_back(MakeCompound("Fe", 7.87, method));
        compositions = FunctionsOf(materials);
    }

    double largestSensitivity(const std::vector<TypedEnergy>& energies) {
        std::vector<Metric> metrics;
        EvaluationProblem p{compositions, model, targets, energies, metrics};
        EXPECT_EQ(evaluateMetrics(p), kSuccess);
        double s = 0;
        for (const Metric& m : metrics) s = std::max(s, m.sensitivity);
        return s;
    }
};

TEST(RealCompounds, NoGridPointBeatsTheSearch) {
    Mixture mix(zun::kAttenTlacTrc);
    ASSERT_TRUE(mix.compositions[0].isVoid);
    const BeamDomainMap domains{{0, {3, 120, 20}}};
    std::vector<TypedEnergy> best;
    OptimisationProblem p{mix.compositions, mix.model, mix.targets, domains, 3000, best};
    ASSERT_EQ(optimiseEnergies(p), kSuccess);
    ASSERT_EQ(best.size(), 3u);
    for (const TypedEnergy& e : best) {
        EXPECT_EQ(e.type, 0);
        EXPECT_GE(e.energy, 20);
        EXPECT_LE(e.energy, 120);
    }
    const double found = mix.largestSensitivity(best);
    ASSERT_TRUE(std::isfinite(found));
    // Every energy triple on a 2 keV grid (the order of the energies does not matter).
    double grid = INFINITY;
    for (double a = 20; a <= 120; a += 2)
        for (double b = a + 2; b <= 120; b += 2)
            for (double c = b + 2; c <= 120; c += 2)
                grid = std::min(grid, mix.largestSensitivity({{a, 0}, {b, 0}, {c, 0}}));
    std::printf("search: %.6f %.6f %.6f keV, largest sensitivity %.9g; best on the grid %.9g\n",
                best[0].energy, best[1].energy, best[2].energy, found, grid);
    EXPECT_LE(found, grid * (1 + 1e-9));
}

TEST(RealCompounds, PhaseShiftNeedsASourceWithPhaseData) {
    Mixture nist(zun::kAttenNist);
    const BeamDomainMap phase{{0, {1, 100, 30}}, {2, {1, 100, 30}}};
    std::vector<TypedEnergy> result;
    OptimisationProblem p{nist.compositions, nist.model, nist.targets, phase, 1, result};
    EXPECT_EQ(optimiseEnergies(p), kPhiNotSupported);

    Mixture tables(zun::kAttenTlacTrc);
    OptimisationProblem q{tables.compositions, tables.model, tables.targets, phase, 50, result};
    EXPECT_EQ(optimiseEnergies(q), kSuccess);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[1].type, 2);
}

}  // namespace
