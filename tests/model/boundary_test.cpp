#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "foundation/memoryguard.h"
#include "model/boundbuild.h"
#include "model/boundfill.h"
#include "model/boundthreshold.h"
#include "model/sample.h"
#include "platform/progress.h"
#include "platform/prompt.h"

namespace zun {
namespace {

struct Grid {
    int nx, ny, nz;
    std::size_t Count() const { return static_cast<std::size_t>(nx) * ny * nz; }
    std::size_t Index(int x, int y, int z) const { return (static_cast<std::size_t>(z) * ny + y) * nx + x; }
};

double Dist(int x, int y, int z, double cx, double cy, double cz) {
    return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz));
}

// A noisy ball (radius r) with a void cavity (radius rc) in void: void ~ voidLevel, sample ~ level.
std::vector<imtype> NoisyBall(const Grid& g, double r, double rc, int voidLevel, int level, int noise,
                              unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, noise);
    std::vector<imtype> w(g.Count());
    const double c = g.nx / 2.0;
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x) {
                const double d = Dist(x, y, z, c, c, c);
                const double v = (d <= r && d > rc ? level : voidLevel) + n(rng);
                w[g.Index(x, y, z)] = static_cast<imtype>(std::clamp(v, 0.0, 16383.0));
            }
    return w;
}

// Voxels of the region (bit 14) that differ from the filled ball by more than one voxel's distance.
int FarMismatches(const std::vector<imtype>& t, const Grid& g, double r) {
    const double c = g.nx / 2.0;
    int bad = 0;
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x) {
                const double d = Dist(x, y, z, c, c, c);
                const bool in = t[g.Index(x, y, z)] & 0x4000;
                if (in && d > r + 1.0) ++bad;
                if (!in && d < r - 1.0) ++bad;
            }
    return bad;
}

int CountRegion(const std::vector<imtype>& t) {
    int n = 0;
    for (imtype w : t) n += (w & 0x4000) != 0;
    return n;
}

TEST(HistogramSteps, GapsSpikesAndSmoothing) {
    std::vector<std::uint32_t> b{0, 0, 10, 0, 0, 40, 0, 0};
    FillHistogramGaps(b);
    EXPECT_EQ(b, (std::vector<std::uint32_t>{0, 0, 10, 20, 30, 40, 0, 0}));
    std::vector<std::uint32_t> spike(40, 100);
    for (std::size_t i = 0; i < spike.size(); ++i) spike[i] += static_cast<std::uint32_t>(i % 3);
    spike[20] = 5000;
    RemoveHistogramSpikes(spike);
    EXPECT_EQ(spike[20], (spike[19] + spike[21]) / 2);
    std::vector<std::uint32_t> ones(20, 11);
    const auto s = SmoothHistogram(ones);
    EXPECT_EQ(s[10], 11u);
    EXPECT_EQ(s[0], 6u);  // six bins of 11 over the fixed divisor 11
}

TEST(HistogramSteps, TwoPeaksGiveTwoPairs) {
    std::vector<std::uint32_t> h(200, 0);
    for (int i = 0; i < 200; ++i)
        h[i] = static_cast<std::uint32_t>(1000 * std::exp(-0.5 * std::pow((i - 40) / 8.0, 2)) +
                                          600 * std::exp(-0.5 * std::pow((i - 150) / 10.0, 2)));
    const auto ex = AnalyseThresholdHistogram(h);
    ASSERT_GE(ex.size(), 4u);
    EXPECT_TRUE(ex[0].maximum);
    EXPECT_TRUE(ex[1].maximum);
    EXPECT_FALSE(ex[ex.size() / 2].maximum);
    EXPECT_EQ(std::max(ex[0].position, ex[1].position), 150u);
    EXPECT_EQ(std::min(ex[0].position, ex[1].position), 40u);
    for (std::size_t k = 1; k < ex.size() / 2; ++k) EXPECT_GE(ex[k - 1].persistence, ex[k].persistence);
}

class SampleBuilderTest : public ::testing::Test {
protected:
    Grid g{48, 48, 48};
    HeadlessPrompt prompt;

    int Build(std::vector<imtype>& target, const std::vector<imtype>& data, BoundDef& def,
              ProgressSink* progress = nullptr) {
        return BuildSampleBoundaryOnBlocks(target.data(), g.nx, g.ny, g.nz, {data.data()}, def, progress,
                                           &prompt, 4);
    }
};

TEST_F(SampleBuilderTest, NoisySphereWithCavity) {
    const auto data = NoisyBall(g, 16, 6, 1200, 11000, 400, 1);
    std::vector<imtype> target(g.Count(), 0);
    target[5] = 16383;  // an existing mask voxel stays
    BoundDef def;
    def.channels = {"ct"};
    ASSERT_EQ(Build(target, data, def), 0);
    EXPECT_GT(def.threshold, 1200);
    EXPECT_LT(def.threshold, 11000);
    EXPECT_EQ(FarMismatches(target, g, 16), 0);
    EXPECT_TRUE(target[g.Index(24, 24, 24)] & 0x4000);  // the cavity is filled
    EXPECT_EQ(target[5] & 0xBFFF, 16383);
    for (imtype w : target) EXPECT_EQ(w & 0x8000, 0);
    for (std::size_t i = 0; i < target.size(); ++i)
        if (i != 5) {
            ASSERT_EQ(target[i] & 0x3FFF, 0);
        }
    EXPECT_TRUE(prompt.Requests().empty());
}

TEST_F(SampleBuilderTest, DataInALowRange) {
    // Values in 0..4000 only: the threshold must still land between void and sample.
    const auto data = NoisyBall(g, 15, 5, 400, 3200, 150, 2);
    std::vector<imtype> target(g.Count(), 0);
    BoundDef def;
    def.channels = {"ct"};
    ASSERT_EQ(Build(target, data, def), 0);
    EXPECT_GT(def.threshold, 400);
    EXPECT_LT(def.threshold, 3200);
    EXPECT_EQ(FarMismatches(target, g, 15), 0);
}

TEST_F(SampleBuilderTest, ThresholdCheckOnlyKeepsTheCavity) {
    const auto data = NoisyBall(g, 16, 6, 1200, 11000, 200, 3);
    std::vector<imtype> target(g.Count(), 0);
    BoundDef def;
    def.channels = {"ct"};
    def.thresholdCheckOnly = true;
    ASSERT_EQ(Build(target, data, def), 0);
    EXPECT_FALSE(target[g.Index(24, 24, 24)] & 0x4000);
    EXPECT_TRUE(target[g.Index(24 + 11, 24, 24)] & 0x4000);
}

TEST_F(SampleBuilderTest, KeepsMajorPiecesOnly) {
    // Two balls of similar size and a speck of 8 voxels: the speck (less than a tenth) goes.
    std::vector<imtype> data(g.Count(), 1000);
    std::mt19937 rng(4);
    for (auto& w : data) w = static_cast<imtype>(1000 + rng() % 200);
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x) {
                if (Dist(x, y, z, 12, 24, 24) <= 8 || Dist(x, y, z, 36, 24, 24) <= 7)
                    data[g.Index(x, y, z)] = 12000;
                if (x >= 40 && x < 42 && y >= 4 && y < 6 && z >= 4 && z < 6) data[g.Index(x, y, z)] = 12000;
            }
    std::vector<imtype> target(g.Count(), 0);
    BoundDef def;
    def.channels = {"ct"};
    def.smoothing = false;
    ASSERT_EQ(Build(target, data, def), 0);
    EXPECT_TRUE(target[g.Index(12, 24, 24)] & 0x4000);
    EXPECT_TRUE(target[g.Index(36, 24, 24)] & 0x4000);
    EXPECT_FALSE(target[g.Index(40, 4, 4)] & 0x4000);
}

TEST_F(SampleBuilderTest, FailuresLeaveTheMaskAlone) {
    std::vector<imtype> target(g.Count(), 0);
    for (std::size_t i = 0; i < target.size(); i += 7) target[i] = 16383;
    const std::vector<imtype> before = target;
    BoundDef def;
    EXPECT_EQ(BuildSampleBoundaryOnBlocks(target.data(), g.nx, g.ny, g.nz, {}, def, nullptr, &prompt), -1);
    // Three levels only.
    std::vector<imtype> flat(g.Count(), 100);
    flat[0] = 102;
    def.channels = {"ct"};
    EXPECT_EQ(Build(target, flat, def), -1);
    EXPECT_EQ(target, before);
    auto req = prompt.Requests();
    ASSERT_EQ(req.size(), 2u);
    EXPECT_EQ(req[0].text, "No channel selected.\nCannot generate sample-based boundary.");
    EXPECT_EQ(req[1].text, "Data has unexpected histogram profile.\nCannot generate sample-based boundary.");
    // No void outside: the whole grid at once.
    def.voidOutside = false;
    EXPECT_EQ(Build(target, flat, def), 0);
    EXPECT_EQ(CountRegion(target), static_cast<int>(g.Count()));
}

TEST_F(SampleBuilderTest, CancelInAnyStepRestoresTheMask) {
    g = Grid{32, 32, 32};
    const auto data = NoisyBall(g, 10, 4, 1200, 11000, 400, 5);
    std::vector<imtype> original(g.Count(), 0);
    for (std::size_t i = 0; i < original.size(); i += 5) original[i] = 16383;
    // Count the progress calls of a whole run, then cancel at calls spread over all of them.
    HeadlessProgress full;
    std::vector<imtype> target = original;
    BoundDef def;
    def.channels = {"ct"};
    ASSERT_EQ(Build(target, data, def, &full), 0);
    const int calls = full.Calls();
    ASSERT_GT(calls, 10);
    // The hole filling reports from the first thread only, so a run may make a few calls fewer;
    // a cancel point beyond a run's calls lets that run finish.
    const std::vector<imtype> finished = target;
    int cancelled = 0;
    for (int at = 1; at < calls; at += std::max(1, calls / 8)) {
        HeadlessProgress cancel;
        cancel.CancelAtCall(at);
        target = original;
        const int r = Build(target, data, def, &cancel);
        if (r == 0) {
            ASSERT_EQ(target, finished) << "call " << at;
            continue;
        }
        ++cancelled;
        EXPECT_EQ(r, kBoundaryCancelled) << "call " << at;
        ASSERT_EQ(target, original) << "call " << at;
    }
    EXPECT_GE(cancelled, 6);
}

TEST_F(SampleBuilderTest, RefusedMemoryRestoresTheMask) {
    g = Grid{32, 32, 32};
    const auto data = NoisyBall(g, 10, 4, 1200, 11000, 400, 7);
    std::vector<imtype> target(g.Count(), 0);
    for (std::size_t i = 0; i < target.size(); i += 3) target[i] = 16383;
    const auto before = target;
    SetMemoryPolicy({true, 5});
    SetMemoryStatusSource([](MemoryStatus& st) {
        st.totalPhysical = 100ull << 20;
        st.availablePhysical = 1ull << 20;
        return true;
    });
    BoundDef def;
    def.channels = {"ct"};
    EXPECT_THROW(Build(target, data, def), std::bad_alloc);
    SetMemoryStatusSource({});
    SetMemoryPolicy({});
    EXPECT_EQ(target, before);
}

TEST(SampleBoundaryOfChannels, LooksUpTheChannelsByName) {
    ZunImage s;
    s.Resize(Dims{20, 20, 20});
    s.InsertChan(1, 0, "ct_1", 1);
    s.InsertChan(3, 1, "bound_1", 2);
    HeadlessPrompt prompt;
    BoundDef def;
    def.channels = {"ct_1", "ct_9"};
    EXPECT_EQ(ZunChan::BuildSampleBoundary(nullptr, *s.GetChan(1), def, &prompt), -1);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_NE(prompt.Requests()[0].text.find("ct_9"), std::string::npos);
    def.channels = {"ct_1"};
    def.voidOutside = false;
    EXPECT_EQ(ZunChan::BuildSampleBoundary(nullptr, *s.GetChan(1), def, &prompt), 0);
    EXPECT_EQ(s.GetChan(1)->Data()[0], 0x4000);
}

TEST(FaceHoles, HoleOpenToAFaceIsFilled) {
    // A slab filling z = 0..5 with a hole through it at (10, 10): the hole lies on the z = 0 face.
    Grid g{20, 20, 12};
    std::vector<imtype> data(g.Count(), 500);
    std::mt19937 rng(6);
    for (auto& w : data) w = static_cast<imtype>(500 + rng() % 100);
    for (int z = 0; z < 6; ++z)
        for (int y = 2; y < 18; ++y)
            for (int x = 2; x < 18; ++x)
                if (!(x >= 9 && x <= 10 && y >= 9 && y <= 10)) data[g.Index(x, y, z)] = 9000;
    std::vector<imtype> target(g.Count(), 0);
    BoundDef def;
    def.channels = {"ct"};
    def.smoothing = false;
    HeadlessPrompt prompt;
    ASSERT_EQ(
        BuildSampleBoundaryOnBlocks(target.data(), g.nx, g.ny, g.nz, {data.data()}, def, nullptr, &prompt),
        0);
    EXPECT_TRUE(target[g.Index(9, 9, 0)] & 0x4000);
    EXPECT_TRUE(target[g.Index(10, 10, 3)] & 0x4000);
    EXPECT_FALSE(target[g.Index(10, 10, 9)] & 0x4000);
}

class GeometricTest : public ::testing::Test {
protected:
    Grid g{21, 20, 19};
    std::vector<imtype> t = std::vector<imtype>(g.Count(), 0);
    int Build(BoundDef& def) {
        return BuildBoundaryFromDefOnBlocks(t.data(), g.nx, g.ny, g.nz, def, nullptr, 3);
    }
};

TEST_F(GeometricTest, CuboidPlacementAndClipping) {
    BoundDef def;
    def.kind = BoundDef::kCuboid;
    def.cuboidSize = {4, 3, 2};
    t[0] = 16383;
    ASSERT_EQ(Build(def), 0);
    EXPECT_EQ(CountRegion(t), 24);
    // Centre (10, 10, 9); even size 4 starts at 10 - 2.
    EXPECT_TRUE(t[g.Index(8, 9, 8)] & 0x4000);
    EXPECT_TRUE(t[g.Index(11, 11, 9)] & 0x4000);
    EXPECT_FALSE(t[g.Index(12, 10, 9)] & 0x4000);
    EXPECT_EQ(t[0], 16383);
    std::fill(t.begin(), t.end(), 0);
    def.cuboidSize = {100, 100, 100};
    ASSERT_EQ(Build(def), 0);
    EXPECT_EQ(CountRegion(t), static_cast<int>(g.Count()));
}

TEST_F(GeometricTest, SphereAndCylinderDefinitionsAreStoredBack) {
    BoundDef def;
    def.kind = BoundDef::kSphere;
    def.diameter = 9;
    def.rotate = true;
    def.rotation = {30, 40, 50};
    ASSERT_EQ(Build(def), 0);
    EXPECT_FALSE(def.rotate);
    int expect = 0;
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x) {
                const bool box = std::abs(x - 10) <= 4 && std::abs(y - 10) <= 4 && std::abs(z - 9) <= 4;
                const bool in = box && Dist(x, y, z, 10, 10, 9) <= 4.5;
                expect += in;
                ASSERT_EQ((t[g.Index(x, y, z)] & 0x4000) != 0, in) << x << "," << y << "," << z;
            }
    EXPECT_EQ(CountRegion(t), expect);

    std::fill(t.begin(), t.end(), 0);
    BoundDef cyl;
    cyl.kind = BoundDef::kCylinder;
    cyl.xyDiameter = 6;
    cyl.zLength = 10;
    cyl.rotate = true;
    cyl.rotation = {0, 0, 33};
    ASSERT_EQ(Build(cyl), 0);
    EXPECT_EQ(cyl.rotation, (std::vector<float>{0, 0, 0}));
    EXPECT_TRUE(t[g.Index(10, 10, 4)] & 0x4000);
    EXPECT_FALSE(t[g.Index(10, 10, 3)] & 0x4000);
    EXPECT_TRUE(t[g.Index(10, 10, 13)] & 0x4000);
    EXPECT_FALSE(t[g.Index(10, 10, 14)] & 0x4000);
}

TEST_F(GeometricTest, RotationAndTranslation) {
    // A cuboid 9 x 3 x 1 turned by 90 degrees about Z lies along Y.
    BoundDef def;
    def.kind = BoundDef::kCuboid;
    def.cuboidSize = {9, 3, 1};
    def.rotate = true;
    def.rotation = {0, 0, 90};
    ASSERT_EQ(Build(def), 0);
    EXPECT_EQ(CountRegion(t), 27);
    EXPECT_TRUE(t[g.Index(10, 14, 9)] & 0x4000);
    EXPECT_TRUE(t[g.Index(10, 6, 9)] & 0x4000);
    EXPECT_FALSE(t[g.Index(14, 10, 9)] & 0x4000);
    std::fill(t.begin(), t.end(), 0);
    def.rotate = false;
    def.translate = true;
    def.translation = {5, -2, 3};
    ASSERT_EQ(Build(def), 0);
    EXPECT_EQ(CountRegion(t), 27);
    EXPECT_TRUE(t[g.Index(6 + 5, 9 - 2, 9 + 3)] & 0x4000);
    EXPECT_TRUE(t[g.Index(14 + 5, 11 - 2, 9 + 3)] & 0x4000);
}

TEST_F(GeometricTest, CancelLeavesNoRegion) {
    BoundDef def;
    def.kind = BoundDef::kCuboid;
    def.cuboidSize = {5, 5, 5};
    HeadlessProgress p;
    p.CancelAtCall(1);
    EXPECT_EQ(BuildBoundaryFromDefOnBlocks(t.data(), g.nx, g.ny, g.nz, def, &p, 2), kBoundaryCancelled);
    EXPECT_EQ(CountRegion(t), 0);
}

TEST(Transform, MovesMasksExactly) {
    Grid g{16, 14, 12};
    std::vector<imtype> a(g.Count(), 0), b(g.Count(), 0);
    std::mt19937 rng(8);
    for (auto& w : a) w = rng() % 3 == 0 ? 16383 : 0;
    for (auto& w : b) w = rng() % 5 == 0 ? 16383 : 0;
    const auto a0 = a, b0 = b;
    TransBoundParams p;
    p.translate = true;
    p.translation = {1, -2, 3};
    ASSERT_EQ(TransformBoundaryBlocks({a.data(), b.data()}, g.nx, g.ny, g.nz, p, nullptr, 3), 0);
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x) {
                const int sx = x - 1, sy = y + 2, sz = z - 3;
                const bool inside = sx >= 0 && sy < g.ny && sz >= 0;
                const imtype wa = inside ? a0[g.Index(sx, sy, sz)] : 0,
                             wb = inside ? b0[g.Index(sx, sy, sz)] : 0;
                ASSERT_EQ(a[g.Index(x, y, z)], wa);
                ASSERT_EQ(b[g.Index(x, y, z)], wb);
            }
    // Half a turn about Z maps (x, y) to (2c - x, 2c - y) with the centre (8, 7).
    a = a0;
    TransBoundParams r;
    r.rotate = true;
    r.rotation = {0, 0, 180};
    ASSERT_EQ(TransformBoundaryBlocks({a.data()}, g.nx, g.ny, g.nz, r, nullptr, 2), 0);
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x) {
                const int sx = 16 - x, sy = 14 - y;
                const imtype w = sx < g.nx && sy < g.ny ? a0[g.Index(sx, sy, z)] : 0;
                ASSERT_EQ(a[g.Index(x, y, z)], w) << x << "," << y << "," << z;
            }
    // A cancel leaves the masks as they were.
    a = a0;
    HeadlessProgress cancel;
    cancel.CancelAtCall(2);
    EXPECT_EQ(TransformBoundaryBlocks({a.data()}, g.nx, g.ny, g.nz, p, &cancel, 2), kBoundaryCancelled);
    EXPECT_EQ(a, a0);
}

class ClusterBuilderTest : public ::testing::Test {
protected:
    // Reference: a large block (high), a small block (high) and the rest low, with a low-valued
    // hole of 8 voxels inside the large block.
    Grid g{20, 20, 20};
    std::vector<imtype> ref = std::vector<imtype>(g.Count(), 100);
    std::vector<imtype> t = std::vector<imtype>(g.Count(), 0);
    HeadlessPrompt prompt;
    void SetUp() override {
        for (int z = 2; z < 10; ++z)
            for (int y = 2; y < 10; ++y)
                for (int x = 2; x < 10; ++x) ref[g.Index(x, y, z)] = 12000;
        for (int z = 4; z < 6; ++z)
            for (int y = 4; y < 6; ++y)
                for (int x = 4; x < 6; ++x) ref[g.Index(x, y, z)] = 200;
        for (int z = 14; z < 16; ++z)
            for (int y = 14; y < 16; ++y)
                for (int x = 14; x < 17; ++x) ref[g.Index(x, y, z)] = 13000;
    }
    int Build(BoundDef& def) {
        return BuildClusterBoundaryOnBlocks(t.data(), ref.data(), g.nx, g.ny, g.nz, def, nullptr, &prompt, 3);
    }
};

TEST_F(ClusterBuilderTest, DefaultRulesSelectLargestHighAndSmallerLow) {
    BoundDef def;
    def.normThreshold = 0.5;
    ASSERT_EQ(Build(def), 0);
    // High rule "1": the large block; low rule ">1": every low cluster but the largest (the hole).
    EXPECT_TRUE(t[g.Index(3, 3, 3)] & 0x4000);
    EXPECT_FALSE(t[g.Index(15, 15, 15)] & 0x4000);
    EXPECT_TRUE(t[g.Index(4, 4, 4)] & 0x4000);
    EXPECT_FALSE(t[g.Index(0, 0, 0)] & 0x4000);
    EXPECT_EQ(CountRegion(t), 512);
    for (imtype w : t) EXPECT_EQ(w & 0x8000, 0);
}

TEST_F(ClusterBuilderTest, RulesNeverSelectTheBackground) {
    BoundDef def;
    def.normThreshold = 0.5;
    def.lowCombination = BoundDef::kNotApplicable;
    def.highRuleText[0] = " <3 ;";
    ASSERT_EQ(Build(def), 0);
    EXPECT_EQ(def.highRuleText[0], "<3");
    EXPECT_EQ(CountRegion(t), 512 - 8 + 12);
    EXPECT_FALSE(t[g.Index(0, 0, 0)] & 0x4000);
}

TEST_F(ClusterBuilderTest, Messages) {
    BoundDef def;
    def.lowCombination = def.highCombination = BoundDef::kNotApplicable;
    t[3] = 0x4000 | 16383;
    EXPECT_EQ(Build(def), -1);
    EXPECT_EQ(t[3], 0x4000 | 16383);  // untouched
    t[3] = 16383;
    BoundDef missing;
    missing.highRuleText[0] = " , ,";
    EXPECT_EQ(Build(missing), -1);
    BoundDef invalid;
    invalid.lowRuleText[0] = "20-8";
    EXPECT_EQ(Build(invalid), -1);
    EXPECT_EQ(t[3], 16383);
    for (imtype w : t) ASSERT_EQ(w & 0xC000, 0);
    const auto req = prompt.Requests();
    ASSERT_EQ(req.size(), 3u);
    EXPECT_EQ(req[0].text, "No channel clusters selected.\nCannot generate channel-cluster-based boundary.");
    EXPECT_EQ(req[1].text, "Missing mapping >= rules definition.");
    EXPECT_EQ(req[2].text, "Invalid mapping <= rules definition.");
}

TEST_F(ClusterBuilderTest, ThresholdVoxelsBelongToBothSides) {
    std::fill(ref.begin(), ref.end(), 100);
    ref[g.Index(10, 10, 10)] = 8192;
    BoundDef def;
    def.normThreshold = 8192 / 16383.0;
    def.lowCombination = BoundDef::kNotApplicable;
    def.highRuleText[0] = "1";
    ASSERT_EQ(Build(def), 0);
    EXPECT_EQ(CountRegion(t), 1);
    std::fill(t.begin(), t.end(), 0);
    BoundDef low;
    low.normThreshold = def.normThreshold;
    low.highCombination = BoundDef::kNotApplicable;
    low.lowRuleText[0] = "1";
    ASSERT_EQ(Build(low), 0);
    EXPECT_EQ(CountRegion(t), static_cast<int>(g.Count()));
}

TEST(BoundDefRecord, DefaultsAndEquality) {
    BoundDef a, b;
    EXPECT_EQ(a.thresholdText[0], "8192");
    EXPECT_EQ(a.lowRuleText[2], "Not applicable");
    EXPECT_EQ(a.valueType, 1);
    EXPECT_TRUE(a == b);
    b.highRuleText[1] = "2";
    EXPECT_FALSE(a == b);
    b = a;
    b.normThreshold = 0.1;
    EXPECT_FALSE(a == b);
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

// The enclosed-voxel rule written out plainly: 60 spiral rays, 35 hits make a voxel sample.
std::vector<std::uint8_t> PlainEnclosedFill(const std::vector<std::uint8_t>& m, const Grid& g) {
    struct Dir {
        int axis, sign, o1, o2;
        double r1, r2;
    };
    std::vector<Dir> dirs;
    double phi = 0;
    for (int k = 0; k < 60; ++k) {
        const double h = 2.0 * k / 59 - 1, theta = std::acos(h);
        phi = (k == 0 || k == 59) ? 0 : std::fmod(phi + 3.809 / std::sqrt(60 * (1 - h * h)), 2 * M_PI);
        const double d[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                             -std::cos(theta)};
        int a = 0;
        for (int j = 1; j < 3; ++j)
            if (std::fabs(d[j]) > std::fabs(d[a])) a = j;
        const int o1 = (a + 1) % 3, o2 = (a + 2) % 3;
        dirs.push_back({a, d[a] >= 0 ? 1 : -1, o1, o2, d[o1] / std::fabs(d[a]), d[o2] / std::fabs(d[a])});
    }
    const int dims[3] = {g.nx, g.ny, g.nz};
    std::vector<std::uint8_t> out(m.size(), 0);
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y)
            for (int x = 0; x < g.nx; ++x) {
                const std::size_t i = g.Index(x, y, z);
                if (m[i] & 1) {
                    out[i] = 1;
                    continue;
                }
                const int p[3] = {x, y, z};
                int hits = 0;
                for (const Dir& r : dirs) {
                    for (int k = 1;; ++k) {
                        int c[3];
                        c[r.axis] = p[r.axis] + k * r.sign;
                        c[r.o1] = static_cast<int>(p[r.o1] + k * r.r1);
                        c[r.o2] = static_cast<int>(p[r.o2] + k * r.r2);
                        bool outside = false;
                        for (int j = 0; j < 3; ++j) outside = outside || c[j] < 0 || c[j] >= dims[j];
                        if (outside) break;
                        if (m[g.Index(c[0], c[1], c[2])] & 1) {
                            ++hits;
                            break;
                        }
                    }
                    if (hits == 35) break;
                }
                out[i] = hits == 35;
            }
    return out;
}

TEST(EnclosedFill, SkippingAgreesWithThePlainRule) {
    for (unsigned seed : {1u, 2u, 3u}) {
        Grid g{37, 29, 33};
        std::mt19937 rng(seed);
        std::vector<std::uint8_t> m(g.Count(), 0);
        for (int b = 0; b < 6; ++b) {
            const double cx = rng() % g.nx, cy = rng() % g.ny, cz = rng() % g.nz, r = 3 + rng() % 9,
                         rc = r * 0.5;
            for (int z = 0; z < g.nz; ++z)
                for (int y = 0; y < g.ny; ++y)
                    for (int x = 0; x < g.nx; ++x) {
                        const double d = Dist(x, y, z, cx, cy, cz);
                        if (d <= r && d > rc) m[g.Index(x, y, z)] = 1;
                    }
        }
        for (auto& v : m)
            if (rng() % 3000 == 0) v = 1;
        const auto expect = PlainEnclosedFill(m, g);
        std::vector<std::uint8_t> got = m;
        BuildProgress none(nullptr);
        ASSERT_TRUE(FillEnclosedVoxels(got.data(), MaskGrid{g.nx, g.ny, g.nz}, 4, none, 0, 100));
        ASSERT_EQ(got, expect) << "seed " << seed;
        std::size_t filled = 0;
        for (std::size_t i = 0; i < m.size(); ++i) filled += got[i] && !m[i];
        EXPECT_GT(filled, 0u);
    }
}

}  // namespace
}  // namespace zun
