#include "view3d/viewsettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "document/dispspec.h"
#include "document/docsettings.h"
#include "platform/archive.h"
#include "platform/bytestream.h"

namespace zun {
namespace {

TEST(FitDisplayDims, ScalesUniformlyIntoTheBudget) {
    Dims d{1000, 1000, 1000};
    EXPECT_TRUE(FitDisplayDims(d, 1'000'000, Dims{}));
    EXPECT_EQ(d, (Dims{103, 103, 103}));
    // Already fitting: unchanged, and no change reported against the same extents.
    Dims small{300, 200, 100};
    EXPECT_FALSE(FitDisplayDims(small, kDefaultDisplayMaxSize, Dims{300, 200, 100}));
    EXPECT_EQ(small, (Dims{300, 200, 100}));
    EXPECT_TRUE(FitDisplayDims(small, kDefaultDisplayMaxSize, Dims{300, 200, 99}));
    // The 10 % slack: 29.7 million voxels still fit a 27 million budget.
    Dims slack{330, 300, 300};
    FitDisplayDims(slack, kDefaultDisplayMaxSize, Dims{});
    EXPECT_EQ(slack, (Dims{330, 300, 300}));
    // Every extent keeps at least one voxel.
    Dims thin{100000, 100000, 1};
    FitDisplayDims(thin, 1000, Dims{});
    EXPECT_GE(thin[2], 1);
    // A preference past the ceiling is held to it.
    Dims huge{100000, 100000, 100000};
    FitDisplayDims(huge, ~0ull, Dims{});
    EXPECT_LE(double(huge[0]) * huge[1] * huge[2], 64e9 * 1.001);
}

TEST(FitDisplayDims, ThinGridsAreHeldToTheLargestTexture) {
    Dims d{4000, 4000, 2};
    EXPECT_TRUE(FitDisplayDims(d, kDefaultDisplayMaxSize, Dims{}, 2048));
    EXPECT_LE(d[0], 2048);
    EXPECT_LE(d[1], 2048);
    EXPECT_GE(d[2], 1);
    Dims ok{512, 512, 64};
    FitDisplayDims(ok, kDefaultDisplayMaxSize, Dims{}, 2048);
    EXPECT_EQ(ok, (Dims{512, 512, 64}));
}

TEST(FitDisplayDims, AnEmptyAxisStaysEmpty) {
    // Raised to one voxel, the empty axis would make the view read a channel that holds none.
    for (int wide : {32767, 2147483647}) {
        Dims d{wide, 0, 24};
        FitDisplayDims(d, kDefaultDisplayMaxSize, Dims{}, 16384);
        EXPECT_EQ(d[1], 0) << wide;
        EXPECT_LE(d[0], 16384) << wide;
    }
}

TEST(SampleDensity, DefaultFollowsTheGridAndOutliersAreReplaced) {
    EXPECT_FLOAT_EQ(DefaultSampleDensity(64), 0.5f / 64);
    EXPECT_FLOAT_EQ(DefaultSampleDensity(300), 0.005f);
    ViewSettings s;
    s.sampleDensity = 0.004f;
    EXPECT_FALSE(ResetSampleDensity(s, 300));
    EXPECT_FLOAT_EQ(s.sampleDensity, 0.004f);
    s.sampleDensity = 0.03f;
    EXPECT_TRUE(ResetSampleDensity(s, 300));
    EXPECT_FLOAT_EQ(s.sampleDensity, 0.005f);
    s.sampleDensity = 0.03f;
    EXPECT_FALSE(ResetSampleDensity(s, 0));  // an empty grid leaves it alone
    EXPECT_FLOAT_EQ(s.sampleDensity, 0.03f);
    s.sampleDensity = NAN;
    s.RepairLoaded();
    EXPECT_GT(s.sampleDensity, 0);
}

TEST(ViewSettings, ResetKeepsModeBackgroundAxesAndBox) {
    ViewSettings s;
    s.renderMode = 3;
    s.background = 0x123456;
    s.axesShown = false;
    s.boundingBoxFlags = 0;
    s.stereoMode = 5;
    s.transparency = 0.2f;
    s.greyWeights = {1, 1, 1};
    s.ResetAdvanced();
    EXPECT_EQ(s.renderMode, 3);
    EXPECT_EQ(s.background, 0x123456u);
    EXPECT_FALSE(s.axesShown);
    EXPECT_EQ(s.boundingBoxFlags, 0);
    EXPECT_EQ(s.stereoMode, 2);
    EXPECT_FLOAT_EQ(s.transparency, 1.0f);
    EXPECT_FLOAT_EQ(s.greyWeights[1], 0.587f);
}

TEST(VolumeBox, DiagonalIsTheVoxelDiagonalAndProportionsFollowVoxelSizes) {
    const auto e = VolumeBoxExtents(Dims{100, 50, 20}, {1.0, 1.0, 2.0});
    const double diag = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    EXPECT_NEAR(diag, std::sqrt(100.0 * 100 + 50 * 50 + 20 * 20), 1e-9);
    EXPECT_NEAR(e[0] / e[2], 100.0 / 40.0, 1e-12);
    const auto zero = VolumeBoxExtents(Dims{10, 10, 10}, {0, 0, 0});
    EXPECT_NEAR(zero[0], 10, 1e-12);
}

TEST(ViewCamera, DistanceFollowsTheRadiusOnlyWhenBothAreKnown) {
    EXPECT_DOUBLE_EQ(RescaleDistance(10, 2, 4), 20);
    EXPECT_DOUBLE_EQ(RescaleDistance(10, 0, 4), 10);
    EXPECT_DOUBLE_EQ(RescaleDistance(10, 2, 0), 10);
    double a, x, y, z;
    const Quaternion q = QuatFromAngleAxis(0.7853981852531433, 0.707, 0.707, 0);
    QuatToAngleAxis(q, a, x, y, z);
    EXPECT_NEAR(a, 0.7853981852531433, 1e-12);
    EXPECT_NEAR(x, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(z, 0, 1e-12);
}

// The record's bytes, in the order and widths the document file has always carried.
struct Bytes {
    std::vector<std::uint8_t> b;
    template <class T>
    Bytes& operator<<(T v) {
        std::uint8_t tmp[sizeof(T)];
        std::memcpy(tmp, &v, sizeof(T));
        b.insert(b.end(), tmp, tmp + sizeof(T));
        return *this;
    }
};

std::vector<std::uint8_t> Store(ViewRecord r) {
    MemoryStream mem;
    {
        Archive ar(mem, Archive::Mode::Store);
        r.Serialize(ar, static_cast<std::int32_t>(kDocVersion));
    }
    return mem.Bytes();
}

ViewRecord Load(const std::vector<std::uint8_t>& bytes, std::int32_t version) {
    MemoryStream mem(bytes);
    Archive ar(mem, Archive::Mode::Load);
    ViewRecord r;
    r.Serialize(ar, version);
    return r;
}

TEST(ViewRecordBytes, StoredFieldsInOrder) {
    ViewSettings s;
    s.background = 0x00203040;
    s.renderMode = 4;
    s.sampleDensity = 0.0125f;
    s.isoValue = 0.25f;
    s.axesShown = false;
    const Quaternion q = QuatFromAngleAxis(1.5, 0, 0, 1);
    const auto bytes = Store(MakeViewRecord(s, q, 7.5, 3.25));
    Bytes e;
    e << std::int32_t(0x00203040) << std::uint8_t(0) << std::int32_t(12);
    e << 1.5 << 0.0 << 0.0 << 1.0 << 7.5 << 3.25;
    e << 0.05f << std::uint8_t(0) << std::int32_t(4) << std::uint8_t(1) << 0.25f << std::int32_t(2) << 0.0125f
      << std::uint8_t(1) << 0.299f << 0.587f << 0.114f << std::int32_t(42) << std::int32_t(42) << 0.000001f
      << 1.0f;
    ASSERT_EQ(bytes.size(), e.b.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], e.b[i]) << "byte " << i;
}

TEST(ViewRecordBytes, ReopenGivesTheSameCameraAndSettings) {
    ViewSettings s;
    s.renderMode = 4;
    s.background = 0x00FFFFFF;
    s.stereoMode = 3;
    s.transparency = 0.5f;
    s.boundingBoxFlags = 4;
    const Quaternion q = QuatFromAngleAxis(2.0, 1, 2, 3);
    const ViewRecord back =
        Load(Store(MakeViewRecord(s, q, 12.0, 4.0)), static_cast<std::int32_t>(kDocVersion));
    ViewSettings t;
    ViewCamera cam;
    ApplyViewRecord(back, t, cam);
    EXPECT_TRUE(cam.restored);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(cam.rotation[i], q[i], 1e-12);
    EXPECT_DOUBLE_EQ(cam.distance, 12.0);
    EXPECT_DOUBLE_EQ(cam.radius, 4.0);
    EXPECT_EQ(t.renderMode, 4);
    EXPECT_EQ(t.background, 0x00FFFFFFu);
    EXPECT_EQ(t.stereoMode, 3);
    EXPECT_EQ(t.boundingBoxFlags, 4);
    EXPECT_FLOAT_EQ(t.transparency, 0.5f);
}

TEST(ViewRecordBytes, OlderRecordReadsOnlyItsFieldsAndBadModesAreRepaired) {
    // A version 2100 record: leading word, box as a bool, no radius, no alpha and transparency.
    Bytes e;
    e << std::int32_t(99) << std::int32_t(0x000000FF) << std::uint8_t(1) << std::uint8_t(1);
    e << 0.5 << 1.0 << 0.0 << 0.0 << 9.0;
    e << 0.07f << std::uint8_t(1) << std::int32_t(17) << std::uint8_t(0) << 0.3f;
    e << std::int32_t(9) << 0.01f << std::uint8_t(1) << 0.f << 0.f << 0.5f;
    e << std::int32_t(10) << std::int32_t(11);
    const ViewRecord r = Load(e.b, 2100);
    ViewSettings s;
    ViewCamera cam;
    ApplyViewRecord(r, s, cam);
    EXPECT_EQ(s.background, 0xFFu);
    EXPECT_EQ(s.boundingBoxFlags, 4);
    EXPECT_EQ(s.renderMode, 0);                 // 17 is no mode
    EXPECT_EQ(s.stereoMode, 2);                 // nor is 9
    EXPECT_FLOAT_EQ(s.greyWeights[0], 0.299f);  // zero weights are repaired
    EXPECT_EQ(s.splitHorizontal, 10);
    EXPECT_DOUBLE_EQ(cam.distance, 9.0);
    EXPECT_DOUBLE_EQ(cam.radius, 0.0);
    // The alpha function and transparency the file lacks keep the view's defaults.
    EXPECT_FLOAT_EQ(s.alphaFunction, ViewSettings{}.alphaFunction);
    EXPECT_FLOAT_EQ(s.transparency, ViewSettings{}.transparency);
}

// Each group of fields a file older than it lacks keeps the view's value: a version 1000 record
// carries the eye settings but neither stereo mode, sample density, splits nor alpha function.
TEST(ViewRecordBytes, FieldsAnOlderFileLacksKeepTheViewsDefaults) {
    Bytes e;
    e << std::int32_t(77) << std::int32_t(0xFF) << std::uint8_t(1) << std::uint8_t(0);
    e << 0.5 << 0.0 << 1.0 << 0.0;
    e << 0.1f << std::uint8_t(1) << std::int32_t(3) << std::uint8_t(0) << 0.75f;
    const ViewRecord r = Load(e.b, 1000);
    ViewSettings s;
    s.stereoMode = 3;
    s.splitHorizontal = 42;
    s.splitVertical = 42;
    s.alphaFunction = 0.000001f;
    s.sampleDensity = 0.005f;
    ViewCamera cam;
    ApplyViewRecord(r, s, cam);
    EXPECT_EQ(s.renderMode, 3);
    EXPECT_FLOAT_EQ(s.isoValue, 0.75f);
    EXPECT_EQ(s.stereoMode, 3);
    EXPECT_EQ(s.splitHorizontal, 42);
    EXPECT_EQ(s.splitVertical, 42);
    EXPECT_FLOAT_EQ(s.alphaFunction, 0.000001f);
    EXPECT_FLOAT_EQ(s.sampleDensity, 0.005f);
    // A record made in memory carries every field.
    ViewRecord made;
    made.splitHorizontal = 7;
    ApplyViewRecord(made, s, cam);
    EXPECT_EQ(s.splitHorizontal, 7);
}

}  // namespace
}  // namespace zun
