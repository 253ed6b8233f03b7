// The attenuation matrix, its truncated decomposition and the sensitivity and bias metrics,
// with a numpy peer on random (and deliberately rank-deficient) matrices.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "analytic.h"
#include "energyopt/metrics.h"

using namespace EnergyOpt;
using namespace EnergyOptTest;

namespace {

int32_t recordingAttenuation(void* context, double energy, double* result);
int32_t recordingPhase(void* context, double energy, double* result);

struct Recorder {
    int column;
    std::vector<std::string>* log;
};

int32_t recordingAttenuation(void* context, double energy, double* result) {
    auto* r = static_cast<Recorder*>(context);
    r->log->push_back("a" + std::to_string(r->column) + "@" + std::to_string(static_cast<int>(energy)));
    *result = 100 * r->column + energy;
    return 0;
}

int32_t recordingPhase(void* context, double energy, double* result) {
    auto* r = static_cast<Recorder*>(context);
    r->log->push_back("p" + std::to_string(r->column) + "@" + std::to_string(static_cast<int>(energy)));
    *result = -(100 * r->column + energy);
    return 0;
}

int32_t silentSuccess(void*, double, double*) {
    return 0;
}

TEST(AttenuationMatrix, RowOrderAndCallOrder) {
    std::vector<std::string> log;
    Recorder r0{0, &log}, r1{1, &log};
    MeasurementSetup setup;
    setup.compositions = {{&r0, recordingPhase, recordingAttenuation},
                          {&r1, recordingPhase, recordingAttenuation}};
    setup.c0 = 1;
    setup.c2 = 1;
    const Eigen::MatrixXd a = setup.attenuationMatrix(Eigen::Vector2d(30, 60));
    Eigen::MatrixXd expected(3, 2);
    expected << 30, 130, 60, 160, -60, -160;
    EXPECT_EQ(a, expected);
    EXPECT_EQ(log, (std::vector<std::string>{"a0@30", "a1@30", "a0@60", "a1@60", "p0@60", "p1@60"}));

    // Several type-2 energies: all attenuation rows first, phase rows after them, same order.
    log.clear();
    setup.c0 = 0;
    setup.c1 = 1;
    setup.c2 = 2;
    const Eigen::MatrixXd b = setup.attenuationMatrix(Eigen::Vector3d(20, 40, 50));
    const Eigen::VectorXd expectedColumn = (Eigen::VectorXd(5) << -20, 40, 50, -40, -50).finished();
    EXPECT_EQ(b.col(0), expectedColumn);
}

TEST(AttenuationMatrix, FailuresNameFunctionAndEnergy) {
    AnalyticMaterial a{1, 0}, b{2, 0};
    b.phaseStatus = 1;
    MeasurementSetup setup;
    setup.compositions = {Functions(a), Functions(b)};
    setup.c1 = 1;
    try {
        setup.attenuationMatrix(Eigen::VectorXd::Constant(1, 45.0));
        FAIL();
    } catch (const EvaluationFailureException& e) {
        EXPECT_EQ(e.status, 1);
        EXPECT_EQ(e.kind, 1);
        EXPECT_EQ(e.energy, 45.0);
        EXPECT_STREQ(e.what(), "EvaluationFailureException");
    }
    setup.compositions[0].attenuation = nullptr;
    setup.c0 = 1;
    setup.c1 = 0;
    try {
        setup.attenuationMatrix(Eigen::VectorXd::Constant(1, 70.0));
        FAIL();
    } catch (const EvaluationFailureException& e) {
        EXPECT_EQ(e.status, kUndefinedMaterialFunction);
        EXPECT_EQ(e.kind, 0);
        EXPECT_EQ(e.energy, 70.0);
    }
}

TEST(Metrics, RankDeficiencyAndZeroTargets) {
    const RowSumScaleFunction scale;
    // One energy, two compositions: one row, so at most one retained direction.
    AnalyticMaterial a{1, 0.01}, b{2, 0.0};
    MeasurementSetup setup;
    setup.compositions = {Functions(a), Functions(b)};
    setup.c0 = 1;
    setup.targets = {Eigen::Vector2d(1, 0), Eigen::Vector2d(0, 0)};
    const TruncatedSvd one = setup.decompose(scale, Eigen::VectorXd::Constant(1, 50.0));
    EXPECT_EQ(one.rank(), 1);
    const Eigen::Vector2d t(1, 0);
    EXPECT_NEAR(setup.biases(one)(0), std::abs(one.v().col(1).dot(t)), 1e-15);
    EXPECT_GT(setup.biases(one)(0), 0.1);
    EXPECT_EQ(setup.sensitivities(one)(1), 0.0);
    EXPECT_EQ(setup.biases(one)(1), 0.0);

    // Identical compositions at every energy: rank 1 and a bias for their difference.
    AnalyticMaterial c{3, 0.02}, d{3, 0.02};
    setup.compositions = {Functions(c), Functions(d)};
    setup.c0 = 3;
    setup.targets = {Eigen::Vector2d(1, -1), Eigen::Vector2d(1, 1)};
    const TruncatedSvd twin = setup.decompose(scale, Eigen::Vector3d(20, 50, 90));
    EXPECT_EQ(twin.rank(), 1);
    EXPECT_EQ(twin.singularValues().size(), 1);
    EXPECT_NEAR(setup.biases(twin)(0), std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(setup.biases(twin)(1), 0.0, 1e-12);
    EXPECT_TRUE(std::isfinite(setup.sensitivities(twin)(0)));
}

TEST(Metrics, DegenerateMatricesTerminate) {
    // A function that reports success without writing leaves a not-a-number entry; the
    // decomposition must still end, and the metrics carry the not-a-number.
    AnalyticMaterial a{1, 0.01};
    MeasurementSetup setup;
    setup.compositions = {Functions(a), {nullptr, nullptr, silentSuccess}};
    setup.c0 = 2;
    setup.targets = {Eigen::Vector2d(1, 0)};
    const RowSumScaleFunction scale;
    const TruncatedSvd svd = setup.decompose(scale, Eigen::Vector2d(30, 60));
    EXPECT_TRUE(std::isnan(setup.sensitivities(svd)(0)) || std::isinf(setup.sensitivities(svd)(0)) ||
                svd.rank() == 0);

    // A zero matrix keeps all its singular values; its sensitivity is not finite.
    const TruncatedSvd zero(Eigen::MatrixXd::Zero(2, 2), kDecompositionTolerance);
    EXPECT_EQ(zero.rank(), 2);

    // No measurement rows at all (every energy dropped): no retained direction.
    setup.compositions = {Functions(a), Functions(a)};
    setup.c0 = 0;
    const TruncatedSvd empty = setup.decompose(scale, Eigen::VectorXd());
    EXPECT_EQ(empty.rank(), 0);
    EXPECT_TRUE(std::isinf(setup.sensitivities(empty)(0)));
}

// Random matrices with duplicated columns for rank deficiency, both scalings, against numpy.
TEST(Metrics, AgreesWithNumpy) {
    const std::string path = std::string(ZUN_TEST_BINARY_DIR) + "/metrics_peer_cases.txt";
    std::mt19937 rng(20261207);
    std::uniform_real_distribution<double> uniform(0.1, 2.0);
    std::uniform_int_distribution<int> rowsOf(1, 8), colsOf(1, 6), kindOf(0, 1);
    struct Case {
        int kind;
        Eigen::MatrixXd a;
        Eigen::VectorXd fractions;
        DenseTargets targets;
    };
    std::vector<Case> cases;
    for (int c = 0; c < 200; ++c) {
        Case k;
        k.kind = kindOf(rng);
        const int rows = rowsOf(rng), cols = colsOf(rng);
        k.a.resize(rows, cols);
        for (int j = 0; j < cols; ++j) {
            if (j > 0 && c % 3 == 0 && j % 2 == 1)
                k.a.col(j) = k.a.col(j - 1);
            else
                for (int i = 0; i < rows; ++i) k.a(i, j) = uniform(rng);
        }
        k.fractions = Eigen::VectorXd::NullaryExpr(cols, [&] { return uniform(rng) / cols; });
        for (int t = 0; t < 2; ++t)
            k.targets.push_back(Eigen::VectorXd::NullaryExpr(cols, [&] { return uniform(rng) - 1; }));
        cases.push_back(std::move(k));
    }
    {
        std::ofstream out(path);
        out.precision(17);
        out << cases.size() << "\n";
        for (const auto& k : cases) {
            out << k.kind << " " << k.a.rows() << " " << k.a.cols() << " " << k.targets.size() << "\n";
            for (int i = 0; i < k.a.rows(); ++i)
                for (int j = 0; j < k.a.cols(); ++j) out << k.a(i, j) << " ";
            if (k.kind == 1)
                for (double f : k.fractions) out << f << " ";
            for (const auto& t : k.targets)
                for (double v : t) out << v << " ";
            out << "\n";
        }
    }
    const std::string command = std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/metrics_peer.py " + path;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
    if (pclose(pipe) != 0) GTEST_SKIP() << "python3 with numpy is not available";

    std::istringstream lines(output);
    int checkedBias = 0;
    for (const auto& k : cases) {
        int rank = 0, count = 0;
        ASSERT_TRUE(lines >> rank >> count);
        std::unique_ptr<ScaleFunction> scale;
        if (k.kind == 0)
            scale = std::make_unique<RowSumScaleFunction>();
        else
            scale = std::make_unique<VolumeFractionScaleFunction>(k.fractions);
        const TruncatedSvd svd(scale->evaluate(k.a), kDecompositionTolerance);
        ASSERT_EQ(svd.rank(), rank);
        ASSERT_EQ(svd.size(), count);
        const Eigen::VectorXd all = svd.singularValues();
        for (int i = 0; i < count; ++i) {
            double sigma = 0;
            lines >> sigma;
            if (i < rank) {
                EXPECT_NEAR(all(i), sigma, 1e-12 * sigma);
            }
        }
        const Eigen::VectorXd sens = ScaledTargetNorms(all, svd.v(), k.targets);
        const Eigen::VectorXd bias = TrailingTargetSums(all, svd.v(), k.targets);
        for (size_t t = 0; t < k.targets.size(); ++t) {
            std::string text;
            lines >> text;
            EXPECT_NEAR(sens(t), std::stod(text), 1e-10 * std::stod(text));
        }
        for (size_t t = 0; t < k.targets.size(); ++t) {
            std::string text;
            lines >> text;
            const double expected = std::stod(text);
            if (std::isnan(expected)) continue;
            EXPECT_NEAR(bias(t), expected, 1e-10);
            ++checkedBias;
        }
    }
    EXPECT_GT(checkedBias, 250);
}

}  // namespace
