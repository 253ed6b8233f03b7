#include <gtest/gtest.h>

#include <random>

#include "compute/propertylib.h"

namespace zun {
namespace {

using Columns = std::vector<ExtrapolationColumn>;

// Rows of fractions (each row sums to 1), then the property column from the given weights.
Columns Table(const std::vector<std::vector<float>>& rows, const std::vector<double>& weights) {
    Columns c(weights.size() + 1);
    for (const auto& row : rows) {
        double p = 0;
        for (std::size_t i = 0; i < weights.size(); ++i) {
            c[i].values.push_back(row[i]);
            p += weights[i] * row[i];
        }
        c.back().values.push_back(static_cast<float>(p));
    }
    return c;
}

TEST(ScalarExtrapolationFit, RecoversTheWeightsOfAConsistentTable) {
    std::mt19937 rng(3);
    std::gamma_distribution<double> g(1.0);
    std::vector<std::vector<float>> rows;
    for (int r = 0; r < 25; ++r) {
        double a = g(rng), b = g(rng), c = g(rng), s = a + b + c;
        // Round to float first so that the property column is consistent with the stored fractions.
        float fa = static_cast<float>(a / s), fb = static_cast<float>(b / s);
        rows.push_back({fa, fb, 1.0f - fa - fb});
    }
    const std::vector<double> want{2.5, -1.0, 7.0};
    Columns c = Table(rows, want);
    ASSERT_EQ(zunlib::ScalarExtrapolationFit(c), 0);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(c[i].weight, want[i], 1e-4) << i;
    EXPECT_EQ(c[3].weight, 0.0f);  // the property column has no weight
    EXPECT_EQ(zunlib::CLibProperty::CheckTable(c, false), 0);

    // Noise on the properties: the least-squares answer stays close.
    std::normal_distribution<double> noise(0.0, 0.01);
    for (float& p : c[3].values) p += static_cast<float>(noise(rng));
    ASSERT_EQ(zunlib::ScalarExtrapolationFit(c), 0);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(c[i].weight, want[i], 0.05) << i;
}

TEST(ScalarExtrapolationFit, FewerRowsThanCompositionsGivesTheMinimumNormAnswer) {
    // Two rows, three compositions: any w with the two row sums fits; the smallest has w2 = 0
    // when composition 2 is absent.
    Columns c = Table({{0.2f, 0.8f, 0.0f}, {0.7f, 0.3f, 0.0f}}, {1.0, 3.0, 0.0});
    ASSERT_EQ(zunlib::ScalarExtrapolationFit(c), 0);
    EXPECT_NEAR(c[0].weight, 1.0, 1e-5);
    EXPECT_NEAR(c[1].weight, 3.0, 1e-5);
    EXPECT_NEAR(c[2].weight, 0.0, 1e-6);
}

TEST(PropertyTableCheck, EachBadTableGivesItsCode) {
    auto check = [](Columns c, bool forWeights) { return zunlib::CLibProperty::CheckTable(c, forWeights); };
    const Columns good = Table({{0.5f, 0.5f}, {0.2f, 0.8f}, {1.0f, 0.0f}}, {1.0, 2.0});
    EXPECT_EQ(check(good, true), 0);
    EXPECT_EQ(check({}, true), 1);
    EXPECT_EQ(check(Table({{0.5f, 0.5f}}, {1.0, 2.0}), true), 1);
    EXPECT_EQ(check(Columns{{0.0f, {1.0f, 2.0f}}}, true), 2);
    Columns ragged = good;
    ragged[1].values.pop_back();
    EXPECT_EQ(check(ragged, true), 13);
    Columns negative = good;
    negative[0].values[1] = -0.1f;
    negative[1].values[1] = 1.1f;
    EXPECT_EQ(check(negative, true), 3);
    Columns nan = good;
    nan[0].values[0] = NAN;
    EXPECT_EQ(check(nan, true), 3);
    Columns sum = good;
    sum[0].values[2] = 0.99f;
    EXPECT_EQ(check(sum, true), 4);
    sum[0].values[2] = 0.9995f;  // within the tolerance of 1e-3
    EXPECT_EQ(check(sum, true), 0);
    EXPECT_EQ(check(Table({{0.3f, 0.7f}, {0.3f, 0.7f}}, {1.0, 2.0}), true), 5);
    Columns flat = good;
    flat[2].values = {4.0f, 4.0f, 4.0f};
    EXPECT_EQ(check(flat, true), 6);
    EXPECT_EQ(check(flat, false), 0);  // only a fit needs varying properties
    // Compositions 1 and 2 always equal: the fractions cannot tell their weights apart.
    EXPECT_EQ(check(Table({{0.2f, 0.4f, 0.4f}, {0.6f, 0.2f, 0.2f}, {0.0f, 0.5f, 0.5f}}, {1, 2, 3}), true), 7);
    // A weighted composition that never occurs (possible only with fewer rows than compositions).
    Columns absent = Table({{0.2f, 0.8f, 0.0f}, {0.7f, 0.3f, 0.0f}}, {1.0, 3.0, 0.0});
    absent[2].weight = 2.0f;
    EXPECT_EQ(check(absent, false), 10);
    absent[2].weight = 0.0f;
    EXPECT_EQ(check(absent, false), 0);
}

TEST(ScalarExtrapolationFit, FailedFitLeavesWeightsAndHasAMessage) {
    Columns flat = Table({{0.5f, 0.5f}, {0.2f, 0.8f}}, {3.0, 3.0});
    flat[0].weight = 9.0f;
    EXPECT_EQ(zunlib::ScalarExtrapolationFit(flat), 6);
    EXPECT_EQ(flat[0].weight, 9.0f);
    EXPECT_STREQ(zunlib::PropertyFitMessage(0), "Normal completion");
    EXPECT_STREQ(zunlib::PropertyFitMessage(6), "Insufficient property value variations");
    EXPECT_STREQ(zunlib::PropertyFitMessage(10),
                 "Insufficient volume fraction variations for non-zero weight value");
    EXPECT_STREQ(zunlib::PropertyFitMessage(16), "Weight amplitude too small");
    EXPECT_STREQ(zunlib::PropertyFitMessage(17), "");
    EXPECT_STREQ(zunlib::PropertyFitMessage(-1), "");
}

}  // namespace
}  // namespace zun
