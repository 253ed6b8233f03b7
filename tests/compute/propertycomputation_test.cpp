#include <gtest/gtest.h>

#include <limits>

#include <algorithm>
#include <cmath>

#include "compute/propertycomputation.h"
#include "compute/propertymap.h"
#include "platform/archive.h"
#include "plugintestdoc.h"

namespace zun {
namespace {

constexpr std::uint32_t NX = 6, NY = 5, NZ = 4, N = NX * NY * NZ;

// Three compositions whose fractions vary over the grid and sum to 16383 in every voxel, a CT
// channel, a boundary and two property channels.
class PropertyTest : public ::testing::Test {
protected:
    PropertyTest() : doc(NX, NY, NZ) {
        doc.AddChannel("Air", 0);
        doc.AddChannel("Water", 0);
        doc.AddChannel("Calcite", 0);
        doc.AddChannel("CT 30keV", 1, 500);
        doc.AddChannel("Sample", 3, 16383);
        doc.AddChannel("Conductivity", 2, 0x8000 | 77);
        doc.AddChannel("Labels", 2);
        for (std::uint32_t v = 0; v < N; ++v) {
            const std::uint16_t a = static_cast<std::uint16_t>((v * 97) % 8000);
            const std::uint16_t b = static_cast<std::uint16_t>((v * 31) % (16383 - a));
            doc.channels[0].words[v] = a;
            doc.channels[1].words[v] = b;
            doc.channels[2].words[v] = static_cast<std::uint16_t>(16383 - a - b);
        }
        methods.push_back(Record(kScalarAnalyticMap));
    }

    PropertyMethodSettings Record(int kind) {
        PropertyMethodSettings r;
        CPropertyComputation::ResetSettingsTables(doc, r);
        r.kind = kind;
        r.outputChannel = "Conductivity";
        r.compositions[0].value = 2.0f;
        r.compositions[1].value = 5.0f;
        r.compositions[2].value = 10.0f;
        return r;
    }

    double Fraction(int comp, std::uint32_t v) { return doc.channels[comp].words[v] / 16383.0; }
    double Decoded(std::uint32_t v) {
        const auto& ch = doc.channels[5];
        return ch.min + (ch.max - ch.min) * (ch.words[v] & 0x3FFF) / 16383.0;
    }
    template <class F>
    void ExpectProperty(F expected) {
        const double step = (doc.channels[5].max - doc.channels[5].min) / 16383.0;
        double sumGot = 0, sumWant = 0;
        for (std::uint32_t v = 0; v < N; ++v) {
            const double want = expected(v);
            ASSERT_NEAR(Decoded(v), want, step) << v;
            sumGot += Decoded(v);
            sumWant += want;
        }
        EXPECT_NEAR(sumGot / N, sumWant / N, step / 2);
    }

    test::TestPluginDocument doc;
    CPropertyComputation pc{&doc};
    std::vector<PropertyMethodSettings>& methods = pc.Methods();
};

TEST_F(PropertyTest, AnalyticMapGivesTheThreeMeans) {
    const double p[3] = {2.0, 5.0, 10.0};
    methods[0].voxelStructure = 1;
    methods[0].orientation = 1;
    EXPECT_EQ(pc.Apply(doc), 0);
    ExpectProperty([&](std::uint32_t v) {
        return Fraction(0, v) * p[0] + Fraction(1, v) * p[1] + Fraction(2, v) * p[2];
    });
    EXPECT_EQ(doc.states.back(), "Property computation: Scalar analytic map...");
    EXPECT_EQ(doc.log.back(), "Property method Scalar analytic map on 'Conductivity' completed (success)\n");
    EXPECT_EQ(doc.modifiedChannels, std::vector<int>{5});
    EXPECT_EQ(doc.modifiedCalls, 1);
    EXPECT_EQ(doc.progress.back(), 100.0f);
    // The error bit of the old words is gone.
    for (auto w : doc.channels[5].words) ASSERT_EQ(w & 0x8000, 0);

    methods[0].orientation = 0;
    EXPECT_EQ(pc.Apply(doc), 0);
    ExpectProperty([&](std::uint32_t v) {
        return 1.0 / (Fraction(0, v) / p[0] + Fraction(1, v) / p[1] + Fraction(2, v) / p[2]);
    });

    methods[0].voxelStructure = 0;
    EXPECT_EQ(pc.Apply(doc), 0);
    ExpectProperty([&](std::uint32_t v) {
        return std::pow(p[0], Fraction(0, v)) * std::pow(p[1], Fraction(1, v)) *
               std::pow(p[2], Fraction(2, v));
    });
}

TEST_F(PropertyTest, NonPositiveValuesAreHandledWithoutNonsense) {
    // Geometric mean with a value of 0: the arithmetic mean is used and a warning reported.
    methods[0].compositions[0].value = 0.0f;
    EXPECT_EQ(pc.Apply(doc), -101);
    ExpectProperty([&](std::uint32_t v) { return Fraction(1, v) * 5 + Fraction(2, v) * 10; });
    EXPECT_EQ(doc.log.back(),
              "Property method Scalar analytic map on 'Conductivity' completed (data warning 1)\n");
    // Harmonic mean: a present composition with value 0 makes the voxel 0.
    methods[0].voxelStructure = 1;
    methods[0].orientation = 0;
    EXPECT_EQ(pc.Apply(doc), 0);
    ExpectProperty([&](std::uint32_t v) {
        return Fraction(0, v) > 0 ? 0.0 : 1.0 / (Fraction(1, v) / 5 + Fraction(2, v) / 10);
    });
}

TEST_F(PropertyTest, FractionsAreNormalisedAndEmptyVoxelsAreZero) {
    for (int c = 0; c < 3; ++c) doc.channels[c].words[0] = 0;
    for (int c = 0; c < 3; ++c) doc.channels[c].words[1] = 1000;  // sums to 3000, not 16383
    methods[0].voxelStructure = 1;
    EXPECT_EQ(pc.Apply(doc), 0);
    const double step = (doc.channels[5].max - doc.channels[5].min) / 16383.0;
    EXPECT_NEAR(Decoded(0), 0.0, step);
    EXPECT_NEAR(Decoded(1), (2.0 + 5.0 + 10.0) / 3, step);
}

TEST_F(PropertyTest, FixedAndOutsideVoxelsKeepTheirValues) {
    auto& out = doc.channels[5];
    out.min = 100.0f, out.max = 200.0f;
    out.words[3] = 0x4000 | 16383;  // fixed at 200
    doc.channels[4].words[4] = 0;   // outside the sample: keeps 100 + 100*8192/16383
    out.words[4] = 8192;
    doc.activeBoundary = 4;
    methods[0].voxelStructure = 1;
    EXPECT_EQ(pc.Apply(doc), 0);
    EXPECT_FLOAT_EQ(out.max, 200.0f);
    const double step = (out.max - out.min) / 16383.0;
    EXPECT_NEAR(Decoded(3), 200.0, step);
    EXPECT_EQ(out.words[3] & 0x4000, 0x4000);
    EXPECT_NEAR(Decoded(4), 100.0 + 100.0 * 8192 / 16383, step);
    EXPECT_NEAR(Decoded(5), Fraction(0, 5) * 2 + Fraction(1, 5) * 5 + Fraction(2, 5) * 10, step);
    // All values equal: the range still has width 1.
    PropertyRange r =
        WritePropertyChannel(out.words.data(), 1, std::vector<float>{4.0f}.data(), nullptr, {}, 1);
    EXPECT_EQ(r.min, 4.0f);
    EXPECT_EQ(r.max, 5.0f);
}

TEST(PropertyChannel, NonFiniteValuesAndRangesGiveTheLowEnd) {
    // A damaged stored range or a NaN property value must not reach the word conversion.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::uint16_t> words = {0x4000 | 8000, 0, 0};
    const std::vector<float> values = {0.0f, nan, 3.0f};
    PropertyRange r = WritePropertyChannel(words.data(), 3, values.data(), nullptr, {nan, 1.0f}, 1);
    EXPECT_EQ(r.min, 3.0f);
    EXPECT_EQ(r.max, 4.0f);
    EXPECT_EQ(words[0], 0x4000);  // the fixed voxel's old value cannot be known: low end
    EXPECT_EQ(words[1], 0);
    EXPECT_EQ(words[2], 0);

    std::vector<std::uint16_t> all = {0, 0};
    const std::vector<float> none = {nan, nan};
    r = WritePropertyChannel(all.data(), 2, none.data(), nullptr, {}, 1);
    EXPECT_TRUE(std::isfinite(r.min));
    EXPECT_TRUE(std::isfinite(r.max));
    EXPECT_EQ(all, (std::vector<std::uint16_t>{0, 0}));
}

TEST_F(PropertyTest, ExtrapolationUsesTheFittedWeights) {
    PropertyMethodSettings r = Record(kScalarExtrapolation);
    r.columns.assign(4, ExtrapolationColumn{});
    r.columns[0] = {-1.5f, {0.5f, 0.2f}};
    r.columns[1] = {4.0f, {0.5f, 0.3f}};
    r.columns[2] = {8.0f, {0.0f, 0.5f}};
    r.columns[3] = {0.0f, {1.0f, 2.0f}};
    methods = {r};
    EXPECT_EQ(pc.Apply(doc), 0);
    ExpectProperty(
        [&](std::uint32_t v) { return -1.5 * Fraction(0, v) + 4 * Fraction(1, v) + 8 * Fraction(2, v); });
    EXPECT_EQ(doc.states.back(), "Property computation: Scalar extrapolation...");
}

TEST_F(PropertyTest, ClusterAnalysisWritesRawLabels) {
    PropertyMethodSettings r = Record(kLinkedClusterAnalysis);
    r.inputChannel = "CT 30keV";
    r.outputChannel = "Labels";
    auto& ct = doc.channels[3].words;
    std::fill(ct.begin(), ct.end(), 0);
    ct[0] = ct[1] = ct[2] = 16383;  // a 3-voxel cluster in a corner
    ct[N - 1] = 16383;              // and a single voxel in the other
    methods = {r};
    EXPECT_EQ(pc.Apply(doc), 0);
    const auto& out = doc.channels[6];
    EXPECT_EQ(out.words[0], 1);
    EXPECT_EQ(out.words[2], 1);
    EXPECT_EQ(out.words[N - 1], 2);
    EXPECT_EQ(out.words[7], 0);
    EXPECT_EQ(out.min, 0.0f);
    EXPECT_EQ(out.max, 2.0f);
    ASSERT_GE(doc.log.size(), 2u);
    EXPECT_EQ(doc.log[doc.log.size() - 2],
              "Linked clusters: 2 found, 2 kept after filter, 0 crossing the planes\nCluster 1: 3 voxels\n"
              "Cluster 2: 1 voxels\n");
    // No cluster at all is a warning.
    std::fill(ct.begin(), ct.end(), 0);
    EXPECT_EQ(pc.Apply(doc), -101);
    EXPECT_EQ(doc.channels[6].max, 1.0f);
}

TEST_F(PropertyTest, MergedResultsStopsAndNothingToDo) {
    PropertyMethodSettings bad = Record(kScalarAnalyticMap);
    bad.outputChannel = "Missing";
    methods.push_back(bad);
    methods.push_back(Record(kScalarAnalyticMap));
    methods[2].compositions[0].value = -1.0f;  // warning
    EXPECT_EQ(pc.Apply(doc), 101);             // the error wins
    EXPECT_NE(std::find(doc.log.begin(), doc.log.end(),
                        "Property method Scalar analytic map on 'Missing' completed (data error 1)\n"),
              doc.log.end());
    EXPECT_EQ(doc.log.back(),
              "Property method Scalar analytic map on 'Conductivity' completed (data warning 1)\n");

    doc.stopAtCall = 3;
    doc.progress.clear();
    EXPECT_EQ(pc.Apply(doc), kUserInterrupt);

    doc.stopAtCall = 0;
    for (auto& m : methods) m.enabled = 0;
    EXPECT_EQ(pc.Apply(doc), -1);
    methods[0].enabled = 1;
    doc.channels[5].kind = doc.channels[6].kind = 1;  // no property channel left
    EXPECT_EQ(pc.Apply(doc), -1);
    CPropertyComputation unbound;
    unbound.Methods() = methods;
    EXPECT_EQ(unbound.Apply(), -1);
}

}  // namespace
}  // namespace zun
