// Noise models, their validation and elimination, the scale functions, and the support routines
// the problem checks are built from.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "energyopt/noisemodel.h"
#include "energyopt/support.h"

using namespace EnergyOpt;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

int validate(std::vector<double> fractions, int count) {
    return ValidateNoiseModel(CommonRelErrorApproxComposition(std::move(fractions)), count);
}

TEST(NoiseModel, ValidationTable) {
    EXPECT_EQ(validate({0.5, 0.5}, 2), kSuccess);  // a sum of exactly 1 passes
    EXPECT_EQ(validate({0.0, 0.0}, 2), kSuccess);
    EXPECT_EQ(validate({0.6, 0.5}, 2), kBadFractions);
    EXPECT_EQ(validate({-0.1, 0.5}, 2), kBadFractions);
    EXPECT_EQ(validate({-0.1, 2.0}, 2), kBadFractions);
    EXPECT_EQ(validate({0.2, 0.3, 0.5}, 2), kFractionCountMismatch);
    EXPECT_EQ(validate({0.2}, 2), kFractionCountMismatch);
    EXPECT_EQ(validate({}, 0), kSuccess);
    EXPECT_EQ(validate({}, 1), kFractionCountMismatch);
    // A not-a-number entry never lowers the minimum and makes the sum not-a-number, which is
    // not above 1.
    EXPECT_EQ(validate({kNaN, 0.5}, 2), kSuccess);
    EXPECT_EQ(validate({0.9, kNaN, 0.9}, 3), kSuccess);
    EXPECT_EQ(validate({kNaN, -0.5}, 2), kBadFractions);
    EXPECT_EQ(ValidateNoiseModel(CommonRelError(), 0), kSuccess);
    EXPECT_EQ(ValidateNoiseModel(CommonRelError(), 7), kSuccess);
}

TEST(NoiseModel, EliminationLeavesTheModelAndDoesNotRescale) {
    const CommonRelErrorApproxComposition model({0.2, 0.3, 0.5});
    auto reduced = EliminateNoiseModelComposition(model, 1);
    auto* approx = dynamic_cast<const CommonRelErrorApproxComposition*>(reduced.get());
    ASSERT_NE(approx, nullptr);
    EXPECT_EQ(approx->fractions(), (std::vector<double>{0.2, 0.5}));
    EXPECT_EQ(model.fractions(), (std::vector<double>{0.2, 0.3, 0.5}));
    auto unchanged = EliminateNoiseModelComposition(model, 7);
    EXPECT_EQ(dynamic_cast<const CommonRelErrorApproxComposition&>(*unchanged).fractions(),
              model.fractions());

    const CommonRelError common;
    auto other = EliminateNoiseModelComposition(common, 0);
    ASSERT_NE(dynamic_cast<const CommonRelError*>(other.get()), nullptr);
    EXPECT_NE(other.get(), &common);
}

TEST(NoiseModel, ScaleFunctionsOfTheTwoKinds) {
    Eigen::MatrixXd a(2, 2);
    a << 1, 3, 2, 2;
    const NoiseModelScaleFunction rowMean{CommonRelError()};
    Eigen::MatrixXd expected(2, 2);
    expected << 0.5, 1.5, 1, 1;
    EXPECT_TRUE(rowMean.evaluate(a).isApprox(expected, 1e-15));

    const NoiseModelScaleFunction mixture{CommonRelErrorApproxComposition({1.0, 0.0})};
    expected << 1, 3, 1, 1;
    EXPECT_TRUE(mixture.evaluate(a).isApprox(expected, 1e-15));

    // Copies share the inner function, so they scale alike.
    const NoiseModelScaleFunction copy = mixture;
    EXPECT_EQ(copy.evaluate(a), mixture.evaluate(a));

    // An all-zero approximate composition validates but predicts no signal.
    const CommonRelErrorApproxComposition zeros({0.0, 0.0});
    EXPECT_EQ(ValidateNoiseModel(zeros, 2), kSuccess);
    EXPECT_FALSE(NoiseModelScaleFunction(zeros).evaluate(a).allFinite());

    // Fractions that do not match the columns are refused rather than read past their end.
    EXPECT_THROW(NoiseModelScaleFunction(CommonRelErrorApproxComposition({1.0})).evaluate(a),
                 std::invalid_argument);
}

TEST(Support, TargetsAndCompositions) {
    EXPECT_EQ(ReduceTargets({{0.2, 0.3, 0.5}}, 0), (TargetMixtures{{0.3 - 0.2, 0.5 - 0.2}}));  // (0.1, 0.3)
    EXPECT_EQ(ReduceTargets({{0.2, 0.3, 0.5}, {1, 0, 0}}, 2),
              (TargetMixtures{{0.2 - 0.5, 0.3 - 0.5}, {1, 0}}));
    EXPECT_TRUE(ReduceTargets({}, 0).empty());

    int a = 0, b = 0, c = 0;
    std::vector<MaterialFunctions> compositions{{&a}, {&b}, {&c}};
    const auto kept = RemoveComposition(compositions, 1);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].context, &a);
    EXPECT_EQ(kept[1].context, &c);
    EXPECT_EQ(RemoveComposition(compositions, 5).size(), 3u);

    const DenseTargets dense = ToDenseTargets({{1, 2}, {3, 4, 5}});
    ASSERT_EQ(dense.size(), 2u);
    EXPECT_EQ(dense[1], Eigen::Vector3d(3, 4, 5));
}

TEST(Support, BeamDomainChecks) {
    EXPECT_EQ(CheckBeamDomains({{0, {2, 30, 40}}, {1, {0, 80, 20}}}), kMinAboveMax);
    EXPECT_EQ(CheckBeamDomains({{0, {0, 80, 20}}}), kNoEnergies);
    EXPECT_EQ(CheckBeamDomains({}), kNoEnergies);
    EXPECT_EQ(CheckBeamDomains({{0, {1, 50, 50}}}), kSuccess);
    // A later inverted domain is found even after a valid one.
    EXPECT_EQ(CheckBeamDomains({{0, {1, 80, 20}}, {2, {0, 10, 20}}}), kMinAboveMax);
}

TEST(Support, EvaluationProblemCheckOrder) {
    std::vector<MaterialFunctions> none;
    std::vector<MaterialFunctions> two(2);
    TargetMixtures targets;
    std::vector<TypedEnergy> noEnergies;
    std::vector<TypedEnergy> energies{{50, 0}};
    std::vector<Metric> metrics;
    auto badModel = std::make_shared<CommonRelErrorApproxComposition>(std::vector<double>{0.5});
    EvaluationProblem empty{none, badModel, targets, noEnergies, metrics};
    EXPECT_EQ(CheckEvaluationProblem(empty), kNoMaterials);
    EvaluationProblem noEnergy{two, badModel, targets, noEnergies, metrics};
    EXPECT_EQ(CheckEvaluationProblem(noEnergy), kNoEvaluationEnergies);
    EvaluationProblem mismatch{two, badModel, targets, energies, metrics};
    EXPECT_EQ(CheckEvaluationProblem(mismatch), kFractionCountMismatch);
    EvaluationProblem missingModel{two, nullptr, targets, energies, metrics};
    EXPECT_EQ(CheckEvaluationProblem(missingModel), kArgumentOutOfRange);
}

TEST(Support, EnergyGenerators) {
    EXPECT_EQ(EvenlySpaced(3, 20, 80), Eigen::Vector3d(20, 50, 80));
    const Eigen::VectorXd odd = EvenlySpaced(7, 0.1, 0.7);
    EXPECT_EQ(odd(0), 0.1);
    EXPECT_EQ(odd(6), (0.7 - 0.1) + 0.1);  // computed in this order, not exactly 0.7
    EXPECT_EQ(ConsecutivePairs(Eigen::Vector3d(1, 2, 4)),
              (std::vector<std::pair<double, double>>{{1, 2}, {2, 4}}));
    EXPECT_TRUE(ConsecutivePairs(Eigen::VectorXd::Constant(1, 3.0)).empty());

    const auto split = SplitEnergiesByKind({{60, 1}, {30, 0}, {70, 1}, {45, 3}});
    EXPECT_EQ(split[0], Eigen::VectorXd::Constant(1, 30.0));
    EXPECT_EQ(split[1], Eigen::Vector2d(60, 70));
    EXPECT_EQ(split[2].size(), 0);

    EXPECT_EQ(PairValues(Eigen::Vector3d(1, 2, 3), Eigen::Vector2d(4, 5)),
              (std::vector<std::pair<double, double>>{{1, 4}, {2, 5}}));
}

TEST(Support, MetricKernels) {
    const DenseTargets t{Eigen::Vector2d(2, 4)};
    const Eigen::VectorXd norms = ScaledTargetNorms(Eigen::Vector2d(2, 4), Eigen::Matrix2d::Identity(), t);
    EXPECT_DOUBLE_EQ(norms(0), std::sqrt(2.0));
    EXPECT_TRUE(std::isinf(ScaledTargetNorms(Eigen::VectorXd(), Eigen::Matrix2d::Identity(), t)(0)));

    Eigen::Matrix3d m;
    m << 1, 0, 0, 0, 0.6, -0.8, 0, 0.8, 0.6;
    const DenseTargets t3{Eigen::Vector3d(1, 1, -1)};
    // Columns 1 and 2 are discarded: |0.6 - 0.8| + |-0.8 - 0.6|.
    EXPECT_NEAR(TrailingTargetSums(Eigen::VectorXd::Zero(1), m, t3)(0), 0.2 + 1.4, 1e-15);
    EXPECT_EQ(TrailingTargetSums(Eigen::VectorXd::Zero(3), m, t3)(0), 0.0);
}

TEST(Support, OptimisationResultCopies) {
    const Eigen::Vector2d x(1, 2);
    const MinimisationResult r = MakeOptimisationResult(2, x, 3.5, "text", 17);
    EXPECT_EQ(r.returnCode, 2);
    EXPECT_EQ(r.objective, 3.5);
    EXPECT_EQ(r.message, "text");
    EXPECT_EQ(r.evaluations, 17);
    EXPECT_EQ(CopyResultVariables(r), x);
}

}  // namespace
