// The energy search: cell placements and their order, the configuration counts and the
// resolution schedule, the budget rules, the objective and its constraints, and the local
// minimisation driver.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "analytic.h"
#include "energyopt/search.h"

using namespace EnergyOpt;
using namespace EnergyOptTest;

namespace {

std::vector<std::pair<double, double>> bounds(const std::vector<Cell>& cells) {
    std::vector<std::pair<double, double>> out;
    for (const Cell& c : cells) out.emplace_back(c.lower, c.upper);
    return out;
}

int64_t enumerate(const BeamDomainMap& domains, int resolution) {
    int64_t count = 0;
    for (ConfigurationGenerator g(domains, resolution); !g.done(); g.advance()) ++count;
    return count;
}

TEST(Configurations, CountsByEnumerationAndClosedForm) {
    const BeamDomainMap one{{0, {2, 80, 20}}};
    const std::vector<int64_t> expected{1, 3, 6, 10, 15, 21};
    for (int resolution = 2; resolution <= 7; ++resolution) {
        EXPECT_EQ(enumerate(one, resolution), expected[resolution - 2]);
        EXPECT_EQ(ConfigurationCount(one, resolution), expected[resolution - 2]);
    }
    const BeamDomainMap three{{0, {2, 80, 20}}, {1, {1, 90, 10}}, {2, {3, 60, 30}}};
    for (int resolution = 2; resolution <= 6; ++resolution)
        EXPECT_EQ(ConfigurationCount(three, resolution), enumerate(three, resolution));
    // Counts too large to enumerate saturate instead of overflowing.
    const BeamDomainMap huge{{0, {60, 100, 1}}, {1, {60, 100, 1}}};
    EXPECT_EQ(ConfigurationCount(huge, 9999), INT64_MAX);
}

TEST(Configurations, PlacementOrder) {
    ConfigurationGenerator g({{0, {2, 80, 20}}}, 3);
    std::vector<std::vector<std::pair<double, double>>> seen;
    for (; !g.done(); g.advance()) seen.push_back(bounds(g.current()[0]));
    EXPECT_EQ(seen, (std::vector<std::vector<std::pair<double, double>>>{
                        {{20, 50}, {20, 50}}, {{20, 50}, {50, 80}}, {{50, 80}, {50, 80}}}));

    // Type 2 varies fastest; absent types contribute one empty choice.
    ConfigurationGenerator both({{0, {1, 2, 0}}, {2, {1, 20, 10}}}, 3);
    std::vector<std::pair<double, double>> order;
    for (; !both.done(); both.advance()) {
        const CellsByType c = both.current();
        EXPECT_TRUE(c[1].empty());
        order.emplace_back(c[0][0].lower, c[2][0].lower);
    }
    EXPECT_EQ(order, (std::vector<std::pair<double, double>>{{0, 10}, {0, 15}, {1, 10}, {1, 15}}));
}

struct Fixture {
    // Two reduced compositions, mu_A = 1 and mu_B = E / 50, the target pure A.
    AnalyticMaterial a{1, 0}, b{0, 1.0 / 50};
    MeasurementSetup setup;
    NoiseModelScaleFunction scale{CommonRelError()};
    Fixture() {
        setup.compositions = {Functions(a), Functions(b)};
        setup.targets = {Eigen::Vector2d(1, 0)};
    }
};

TEST(Objective, ValueConstraintsAndRefusals) {
    Fixture fx;
    fx.setup.c0 = 2;
    const EnergyObjective objective(fx.setup, fx.scale, {std::vector<Cell>{{20, 50}, {50, 100}}, {}, {}});
    double x[2] = {20, 100};
    double f = 0;
    double con[4];
    EXPECT_EQ(evaluateTrialPoint(2, 4, x, &f, con, const_cast<EnergyObjective*>(&objective)), 0);
    // Every direction kept: f + 1 is the cube root of smax + 1, with smax 0.951972 here.
    EXPECT_NEAR(std::pow(f + 1, 3) - 1, 0.951972, 1e-6);
    EXPECT_EQ(std::vector<double>(con, con + 4), (std::vector<double>{30, 0, 0, 50}));

    // A discarded direction outweighs any sensitivity but stays finite.
    double same[2] = {50, 50};
    objective.value(same, &f);
    EXPECT_GT(f, 1e100);
    EXPECT_LE(f, DBL_MAX);

    EXPECT_EQ(evaluateTrialPoint(3, 6, x, &f, con, const_cast<EnergyObjective*>(&objective)), 1);
    EXPECT_EQ(evaluateTrialPoint(2, 5, x, &f, con, const_cast<EnergyObjective*>(&objective)), 1);
    EXPECT_EQ(evaluateTrialPoint(2, 4, x, &f, con, nullptr), 1);
}

TEST(Objective, LargestSensitivityRules) {
    const TruncatedSvd full(Eigen::Matrix2d::Identity(), kDecompositionTolerance);
    // p = 2 retained directions: f = (smax + 1)^(1/3) - 1.
    EXPECT_NEAR(ErrorObjective(full, Eigen::Vector3d(0.5, 2.0, 1.0)), std::cbrt(3.0) - 1, 1e-12);
    EXPECT_EQ(ErrorObjective(full, Eigen::Vector2d(0, 0)), 0.0);
    EXPECT_NEAR(ErrorObjective(full, Eigen::Vector2d(1.0, std::nan(""))), std::cbrt(2.0) - 1, 1e-12);
    // One of p = 2 directions discarded: f + 1 = cbrt((smax + 1) * DBL_MAX).
    const TruncatedSvd deficient(Eigen::Vector2d(1, 1e-12).asDiagonal().toDenseMatrix(),
                                 kDecompositionTolerance);
    ASSERT_EQ(deficient.rank(), 1);
    EXPECT_NEAR(
        ErrorObjective(deficient, Eigen::VectorXd::Constant(1, 0.5)) / (std::cbrt(1.5) * std::cbrt(DBL_MAX)),
        1.0, 1e-12);
    // A zero matrix keeps all its singular values, so it discards nothing.
    EXPECT_EQ(TruncatedSvd(Eigen::MatrixXd::Zero(1, 2), kDecompositionTolerance).rank(), 1);
    EXPECT_TRUE(std::isnan(ErrorObjective(full, Eigen::Vector2d(std::nan(""), 1.0))));
}

TEST(Minimise, ZeroWidthCellsAndDriverResult) {
    Fixture fx;
    fx.setup.c0 = 2;
    const EnergyObjective fixed(fx.setup, fx.scale, {std::vector<Cell>{{30, 30}, {70, 70}}, {}, {}});
    MinimiserOptions options;
    options.rhobeg = 0.0;
    const MinimisationResult r = minimise(fixed, Eigen::Vector2d(30, 70), options);
    EXPECT_EQ(r.evaluations, 1);
    EXPECT_EQ(r.variables, Eigen::Vector2d(30, 70));
    EXPECT_TRUE(std::isfinite(r.objective));

    // Two energies in [20, 100], started at the centre, end at the range's ends.
    const EnergyObjective open(fx.setup, fx.scale, {std::vector<Cell>{{20, 100}, {20, 100}}, {}, {}});
    options.rhobeg = 0.5 * std::sqrt(2 * 80.0 * 80.0);
    const MinimisationResult best = minimise(open, Eigen::Vector2d(60, 60), options);
    EXPECT_EQ(best.returnCode, 0);
    EXPECT_EQ(best.message, "");
    EXPECT_LE(best.evaluations, 200);
    EXPECT_NEAR(std::min(best.variables(0), best.variables(1)), 20, 1e-3);
    EXPECT_NEAR(std::max(best.variables(0), best.variables(1)), 100, 1e-3);
    EXPECT_NEAR(std::pow(best.objective + 1, 3) - 1, 0.951972, 1e-6);
}

TEST(Search, ResolutionScheduleAndBudget) {
    Fixture fx;
    // Zero-width cells make every run exactly one evaluation, so the budget counts runs.
    const BeamDomainMap pinned{{0, {2, 50, 50}}};
    const SearchOutcome forty = SearchEnergies(fx.setup, pinned, fx.scale, 40);
    EXPECT_EQ(forty.resolutions, (std::vector<int>{2, 3, 4, 5, 7}));  // 15 placements at 6 < 16
    EXPECT_EQ(forty.runs, 41);
    EXPECT_EQ(forty.used, 41);

    for (int budget : {0, 1}) {
        const SearchOutcome single = SearchEnergies(fx.setup, {{0, {2, 100, 20}}}, fx.scale, budget);
        EXPECT_EQ(single.runs, 1);
        EXPECT_TRUE(single.found);
        EXPECT_GT(single.used, 1);
    }
    const SearchOutcome none = SearchEnergies(fx.setup, {{0, {2, 100, 20}}}, fx.scale, -1);
    EXPECT_EQ(none.runs, 0);
    EXPECT_FALSE(none.found);
}

TEST(Search, ZeroTargetsAreNeverValid) {
    Fixture fx;
    fx.setup.targets = {Eigen::Vector2d(0, 0)};
    const SearchOutcome outcome = SearchEnergies(fx.setup, {{0, {2, 100, 20}}}, fx.scale, 300);
    EXPECT_FALSE(outcome.found);
    EXPECT_GT(outcome.runs, 1);
}

}  // namespace
