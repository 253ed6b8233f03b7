// The two entry points: check order and status codes, every exception mapped to its status,
// the choice of the reference composition, and a synthetic problem with a known optimum.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analytic.h"
#include "energyopt/noisemodel.h"
#include "energyopt/optimise.h"

using namespace EnergyOpt;
using namespace EnergyOptTest;

namespace {

std::shared_ptr<const NoiseModel> common() {
    return std::make_shared<CommonRelError>();
}

std::shared_ptr<const NoiseModel> approx(std::vector<double> f) {
    return std::make_shared<CommonRelErrorApproxComposition>(std::move(f));
}

struct Optimisation {
    std::vector<AnalyticMaterial> materials;
    std::vector<MaterialFunctions> compositions;
    std::shared_ptr<const NoiseModel> model = common();
    TargetMixtures targets;
    BeamDomainMap domains{{0, {1, 100, 20}}};
    int maxIterations = 1;
    std::vector<TypedEnergy> result;

    // (void, A, B) with mu_A = 1, mu_B = E / 50 and the target pure A.
    Optimisation() : materials{{0, 0}, {1, 0, 1, 0}, {0, 1.0 / 50, 0, 100}} {
        compositions = FunctionsOf(materials);
        compositions[0].isVoid = true;
        targets = {{0, 1, 0}};
    }
    int run() {
        OptimisationProblem p{compositions, model, targets, domains, maxIterations, result};
        return optimiseEnergies(p);
    }
};

TEST(OptimiseEnergies, CheckOrder) {
    Optimisation o;
    o.compositions.clear();
    o.domains = {{0, {1, 10, 20}}};
    o.model = nullptr;
    EXPECT_EQ(o.run(), kNoMaterials);

    Optimisation inverted;
    inverted.domains = {{0, {0, 100, 20}}, {1, {1, 10, 20}}};
    inverted.model = approx({0.5});
    EXPECT_EQ(inverted.run(), kMinAboveMax);

    Optimisation empty;
    empty.domains = {{0, {0, 100, 20}}, {2, {0, 100, 20}}};
    empty.model = approx({0.5});
    EXPECT_EQ(empty.run(), kNoEnergies);

    Optimisation mismatch;
    mismatch.model = approx({0.5, 0.5});
    EXPECT_EQ(mismatch.run(), kFractionCountMismatch);
    Optimisation negative;
    negative.model = approx({0.5, 0.6, -0.2});
    EXPECT_EQ(negative.run(), kBadFractions);

    Optimisation single;
    single.compositions.resize(1);
    single.targets = {{1}};
    EXPECT_EQ(single.run(), kNoDegreesOfFreedom);
    single.compositions[0].isVoid = false;
    EXPECT_EQ(single.run(), kNoDegreesOfFreedom);
}

TEST(OptimiseEnergies, RefusesInputsItCannotSearch) {
    Optimisation noModel;
    noModel.model = nullptr;
    EXPECT_EQ(noModel.run(), kArgumentOutOfRange);
    Optimisation noTargets;
    noTargets.targets.clear();
    EXPECT_EQ(noTargets.run(), kArgumentOutOfRange);
    Optimisation shortTarget;
    shortTarget.targets = {{0, 1, 0}, {1, 0}};
    EXPECT_EQ(shortTarget.run(), kFractionCountMismatch);
    Optimisation negativeCount;
    negativeCount.domains = {{0, {2, 100, 20}}, {1, {-1, 100, 20}}};
    EXPECT_EQ(negativeCount.run(), kArgumentOutOfRange);
    Optimisation infinite;
    infinite.domains = {{0, {1, std::numeric_limits<double>::infinity(), 20}}};
    EXPECT_EQ(infinite.run(), kArgumentOutOfRange);
    EXPECT_TRUE(infinite.result.empty());
}

TEST(OptimiseEnergies, ExceptionsBecomeStatuses) {
    Optimisation phase;
    phase.domains = {{1, {1, 100, 20}}};
    phase.materials[1].phaseStatus = 1;
    EXPECT_EQ(phase.run(), kPhiNotSupported);
    EXPECT_STREQ(StatusTexts[phase.run()],
                 "phi values not supported in currently enabled attenuation tables (see Zun Properties)");

    Optimisation undefined;
    undefined.compositions[2].attenuation = nullptr;
    EXPECT_EQ(undefined.run(), kUndefinedMaterialFunction);

    Optimisation unexpected;
    unexpected.materials[1].throwStd = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(unexpected.run(), kUnexpectedError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "UNEXPECTED ERROR : 'material table missing'\n");

    Optimisation unknown;
    unknown.materials[2].throwOther = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(unknown.run(), kUnexpectedError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FATAL ERROR : unknown exception\n");
}

TEST(OptimiseEnergies, ReferenceComposition) {
    // (void, A, B): the void composition is eliminated and never asked for its coefficients.
    Optimisation voidFirst;
    EXPECT_EQ(voidFirst.run(), kSuccess);
    EXPECT_EQ(voidFirst.materials[0].calls, 0);
    EXPECT_GT(voidFirst.materials[1].calls, 0);

    // (A, B, C) without a void one: A is eliminated and the others keep their own coefficients.
    Optimisation noVoid;
    noVoid.materials.push_back({2, 0.01});
    noVoid.compositions = FunctionsOf(noVoid.materials);
    noVoid.targets = {{0, 1, 0, 0}};
    noVoid.domains = {{0, {3, 100, 20}}};
    EXPECT_EQ(noVoid.run(), kSuccess);
    EXPECT_EQ(noVoid.materials[0].calls, 0);

    // (A, void, void): the first void one goes, the second stays in the problem.
    Optimisation twoVoids;
    twoVoids.materials = {{1, 0.01}, {0, 0}, {0.5, 0}};
    twoVoids.compositions = FunctionsOf(twoVoids.materials);
    twoVoids.compositions[1].isVoid = twoVoids.compositions[2].isVoid = true;
    twoVoids.domains = {{0, {2, 100, 20}}};
    twoVoids.targets = {{1, 0, 0}};
    EXPECT_EQ(twoVoids.run(), kSuccess);
    EXPECT_EQ(twoVoids.materials[1].calls, 0);
    EXPECT_GT(twoVoids.materials[2].calls, 0);
}

TEST(OptimiseEnergies, KnownOptimumAndResultOrder) {
    Optimisation known;
    known.domains = {{0, {2, 100, 20}}};
    known.maxIterations = 1000;
    ASSERT_EQ(known.run(), kSuccess);
    ASSERT_EQ(known.result.size(), 2u);
    const double low = std::min(known.result[0].energy, known.result[1].energy);
    const double high = std::max(known.result[0].energy, known.result[1].energy);
    EXPECT_NEAR(low, 20, 1e-4);
    EXPECT_NEAR(high, 100, 1e-4);
    EXPECT_EQ(known.result[0].type, 0);

    // Appended: type 0 first, then type 2; earlier entries are kept.
    Optimisation mixed;
    mixed.domains = {{2, {1, 80, 30}}, {0, {2, 100, 20}}};
    mixed.result = {{1, 7}};
    ASSERT_EQ(mixed.run(), kSuccess);
    ASSERT_EQ(mixed.result.size(), 4u);
    EXPECT_EQ(mixed.result[1].type, 0);
    EXPECT_EQ(mixed.result[2].type, 0);
    EXPECT_EQ(mixed.result[3].type, 2);
    EXPECT_GE(mixed.result[3].energy, 30);
    EXPECT_LE(mixed.result[3].energy, 80);
}

TEST(OptimiseEnergies, ZeroTargetsFindNothing) {
    Optimisation zero;
    zero.targets = {{0.3, 0.3, 0.3}};  // reduced to (0, 0): every sensitivity is 0
    zero.domains = {{0, {2, 100, 20}}};
    zero.maxIterations = 200;
    EXPECT_EQ(zero.run(), kNoFeasibleSolution);
}

struct Evaluation {
    std::vector<AnalyticMaterial> materials{{0, 0}, {1, 0, 1, 0}, {0, 1.0 / 50, 0, 100}};
    std::vector<MaterialFunctions> compositions;
    std::shared_ptr<const NoiseModel> model = common();
    TargetMixtures targets{{0, 1, 0}, {0, 0.5, 0.5}};
    std::vector<TypedEnergy> energies{{20, 0}, {100, 0}};
    std::vector<Metric> metrics{{9, 9}};
    Evaluation() {
        compositions = FunctionsOf(materials);
        compositions[0].isVoid = true;
    }
    int run() {
        EvaluationProblem p{compositions, model, targets, energies, metrics};
        return evaluateMetrics(p);
    }
};

TEST(EvaluateMetrics, ChecksAndStatuses) {
    Evaluation none;
    none.compositions.clear();
    none.energies.clear();
    EXPECT_EQ(none.run(), kNoMaterials);
    Evaluation noEnergies;
    noEnergies.energies.clear();
    noEnergies.model = approx({1});
    EXPECT_EQ(noEnergies.run(), kNoEvaluationEnergies);
    Evaluation bad;
    bad.model = approx({0.5, 0.5, 0.5});
    EXPECT_EQ(bad.run(), kBadFractions);
    Evaluation noModel;
    noModel.model = nullptr;
    EXPECT_EQ(noModel.run(), kArgumentOutOfRange);
    Evaluation single;
    single.compositions.resize(1);
    single.targets = {{1}};
    EXPECT_EQ(single.run(), kNoDegreesOfFreedom);
    Evaluation phase;
    phase.energies = {{50, 2}};
    phase.materials[2].phaseStatus = 1;
    EXPECT_EQ(phase.run(), kPhiNotSupported);
    Evaluation thrown;
    thrown.materials[1].throwStd = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(thrown.run(), kUnexpectedError);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("UNEXPECTED ERROR"), std::string::npos);
}

TEST(EvaluateMetrics, MetricsPerTarget) {
    Evaluation at;
    ASSERT_EQ(at.run(), kSuccess);
    ASSERT_EQ(at.metrics.size(), 2u);
    EXPECT_NEAR(at.metrics[0].sensitivity, 0.951972, 1e-6);
    EXPECT_EQ(at.metrics[0].bias, 0.0);

    // Only phase-shift energies (and one of an unknown type, dropped): still one metric each.
    Evaluation phase;
    phase.energies = {{30, 1}, {90, 1}, {60, 5}};
    ASSERT_EQ(phase.run(), kSuccess);
    EXPECT_EQ(phase.metrics.size(), 2u);

    // Every energy of an unknown type: nothing is resolved, and nothing crashes.
    Evaluation unknown;
    unknown.energies = {{30, 4}};
    ASSERT_EQ(unknown.run(), kSuccess);
    EXPECT_TRUE(std::isinf(unknown.metrics[0].sensitivity));
    EXPECT_NEAR(unknown.metrics[0].bias, 1.0, 1e-12);
}

}  // namespace
