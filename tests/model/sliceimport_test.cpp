#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

#include <unistd.h>

#include "foundation/craftedtiff.h"
#include "foundation/foundationclasses.h"
#include "foundation/memoryguard.h"
#include "foundation/slicefiles.h"
#include "foundation/tiffio.h"
#include "model/sample.h"
#include "model/sampleclasses.h"
#include "platform/archive.h"
#include "platform/archiveio.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

class SliceImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterModelClasses();
        RegisterFoundationClasses();
        dir = fs::path(ZUN_TEST_BINARY_DIR) / ("slices_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Make(const std::string& kind, const std::string& name) {
        const std::string path = (dir / name).string();
        Run(kind + " " + path);
        return path;
    }
    static void Run(const std::string& args) {
        const std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/slice_files.py " + args;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }

    fs::path dir;
};

TEST_F(SliceImportTest, EightBitTiffWithScaleCropAndPlacement) {
    const std::string path = Make("tiff8", "a.tif");
    ZunImage s;
    s.Resize(Dims{8, 6, 2});
    s.InsertChan(1, 0, "ct_1", 1);
    ZunChan& c = *s.GetChan(0);
    const float scale = 2.0f;
    ASSERT_EQ(c.ImportSliceFile(1, path.c_str(), &scale, nullptr, 1, 2, 1, true), 0);
    const Slice& sl = *c.GetSlice(1);
    ASSERT_TRUE(sl.image);
    EXPECT_TRUE(sl.imported);
    EXPECT_EQ(sl.import->bits, 8);
    EXPECT_EQ(sl.import->resolution, (ImportInfo::Pair{4, 3}));
    EXPECT_EQ(sl.import->cropRange, (ImportInfo::Pair{4, 3}));
    EXPECT_EQ(sl.import->path, path);
    EXPECT_EQ(c.importCounts[2], 1);
    EXPECT_TRUE(c.modified);
    // Image sample (x + 2) + 10 (y + 1), doubled, over 255.
    auto word = [](int v) {
        const float f = 2.0f * v * (16383.0f / 255.0f) + 0.5f;
        return static_cast<imtype>(0x4000 | (f >= 16383.0f ? 16383 : static_cast<int>(f)));
    };
    EXPECT_EQ(c.Data()[48 + 0], word(12));
    EXPECT_EQ(c.Data()[48 + 8 * 2 + 3], word(5 + 30));
    EXPECT_EQ(c.Data()[48 + 4], 0);   // beyond the cropped width
    EXPECT_EQ(c.Data()[48 + 24], 0);  // beyond the cropped height
    EXPECT_EQ(c.Data()[0], 0);        // other slice

    // Placing at a negative position shifts the image out at the left.
    c.GetSlice(1)->import->position = {-1, 2};
    c.PlaceSliceImage(1);
    EXPECT_EQ(c.Data()[48 + 8 * 2 + 0], word(13));
    EXPECT_EQ(c.Data()[48 + 0], 0);

    // Without keeping the image it is released; the record stays.
    ASSERT_EQ(c.ImportSliceFile(0, path.c_str(), nullptr, nullptr, 0, 0, 0, false), 0);
    EXPECT_FALSE(c.GetSlice(0)->image);
    EXPECT_FALSE(c.GetSlice(0)->imported);
    EXPECT_EQ(c.GetSlice(0)->import->resolution, (ImportInfo::Pair{6, 4}));
    EXPECT_EQ(c.Data()[8 + 1], 0x4000 | static_cast<int>(11 * (16383.0f / 255.0f) + 0.5f));

    // A crop beyond the image keeps no rows; a negative crop start reads from the image's start.
    ASSERT_EQ(c.ImportSliceFile(0, path.c_str(), nullptr, nullptr, 1, 2, 200, true), 0);
    EXPECT_EQ(c.GetSlice(0)->import->resolution, (ImportInfo::Pair{4, 0}));
    ASSERT_EQ(c.ImportSliceFile(0, path.c_str(), nullptr, nullptr, 1, -3, 0, true), 0);
    EXPECT_EQ(c.GetSlice(0)->import->resolution, (ImportInfo::Pair{6, 4}));
}

TEST_F(SliceImportTest, EightBitWordsFollowTheRuleWithScaleAndOffset) {
    const std::string path = Make("tiff8big", "big.tif");
    ZunImage s;
    s.Resize(Dims{20, 20, 1});
    s.InsertChan(1, 0, "ct_1", 1);
    s.InsertChan(3, 1, "bound_1", 2);
    const float scale = 1.5f, offset = -20.0f;
    ASSERT_EQ(s.GetChan(0)->ImportSliceFile(0, path.c_str(), &scale, &offset, 0, 0, 0, true), 0);
    ASSERT_EQ(s.GetChan(1)->ImportSliceFile(0, path.c_str(), nullptr, nullptr, 0, 0, 0, true), 0);
    const IntegerSampleRule rule(8, &scale, &offset), plain(8, nullptr, nullptr);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const ullong v = static_cast<ullong>((x * 13 + y * 7) % 256);
            ASSERT_EQ(s.GetChan(0)->Data()[y * 20 + x], rule(v));
            ASSERT_EQ(s.GetChan(1)->Data()[y * 20 + x], plain.Bound(v));
        }
    EXPECT_EQ(s.GetChan(1)->Data()[0], 0);
}

TEST_F(SliceImportTest, FloatTiffGridAndVoFiles) {
    const std::string ftif = Make("float", "f.tif"), grd = Make("grd", "g.grd"), vod = Make("vod", "v.vod");
    ZunImage s;
    s.Resize(Dims{5, 4, 3});
    s.InsertChan(1, 0, "ct_1", 1);
    s.InsertChan(3, 1, "bound_1", 2);
    ZunChan& c = *s.GetChan(0);
    c.range = {0.0f, 1.0f};
    ASSERT_EQ(c.ImportSliceFile(0, ftif.c_str(), nullptr, nullptr, 0, 0, 0, true), 0);
    EXPECT_EQ(c.GetSlice(0)->import->bits, 32);
    auto fword = [](float v) {
        if (v < 0) v = 0;
        const float f = v * 16383.0f / 1.0f + 0.5f;
        return static_cast<imtype>(f > 16383.0f ? 0x7FFF : (0x4000 | static_cast<int>(f)));
    };
    for (int i = 0; i < 15; ++i) EXPECT_EQ(c.Data()[i], fword(i / 14.0f * 2 - 0.5f)) << i;
    EXPECT_EQ(c.Data()[0], 0x4000);
    EXPECT_EQ(c.Data()[14], 0x7FFF);

    c.range = {0.0f, 11.0f};
    ASSERT_EQ(c.ImportSliceGrdVod(1, grd.c_str(), nullptr, nullptr, 0, 0, 0, true), 0);
    EXPECT_EQ(c.GetSlice(1)->import->bits, 32);
    EXPECT_EQ(c.GetSlice(1)->import->resolution, (ImportInfo::Pair{4, 3}));
    EXPECT_EQ(c.Data()[20 + 5 * 2 + 3], 0x7FFF);  // value 11 = the top of the range
    EXPECT_EQ(c.Data()[20 + 5 + 1], 0x4000 | static_cast<int>(5.0f * 16383.0f / 11.0f + 0.5f));
    ASSERT_EQ(c.ImportSliceGrdVod(2, vod.c_str(), nullptr, nullptr, 0, 0, 0, true), 0);
    EXPECT_EQ(c.Data()[40 + 5 + 1], 0x4000 | static_cast<int>(5.0f * 16383.0f / 11.0f + 0.5f));
    EXPECT_EQ(c.importCounts[2], 3);

    // Boundary channels: inside where the sample is above 0, no flags, not marked imported.
    ZunChan& b = *s.GetChan(1);
    ASSERT_EQ(b.ImportSliceGrdVod(0, grd.c_str(), nullptr, nullptr, 0, 0, 0, true), 0);
    EXPECT_EQ(b.Data()[0], 0);
    EXPECT_EQ(b.Data()[1], 16383);
    EXPECT_FALSE(b.GetSlice(0)->imported);

    // Reader failures change nothing.
    const std::vector<imtype> before(c.Data(), c.Data() + 60);
    EXPECT_EQ(c.ImportSliceFile(0, (dir / "missing.tif").c_str(), nullptr, nullptr, 0, 0, 0, true),
              kTiffCannotOpen);
    EXPECT_NE(c.ImportSliceGrdVod(0, ftif.c_str(), nullptr, nullptr, 0, 0, 0, true), 0);
    EXPECT_EQ(std::vector<imtype>(c.Data(), c.Data() + 60), before);
    EXPECT_EQ(c.importCounts[2], 3);
    EXPECT_EQ(c.GetSlice(0)->import->bits, 32);
}

TEST_F(SliceImportTest, SixteenBitStackEndToEnd) {
    const int nx = 40, ny = 30, nz = 64;
    std::vector<std::uint16_t> data(static_cast<std::size_t>(nx) * ny * nz);
    std::mt19937 rng(9);
    for (auto& v : data) v = static_cast<std::uint16_t>(rng());
    data[0] = 0;
    data[1] = 65535;
    data[2] = 32768;
    const std::string raw = (dir / "stack.raw").string();
    {
        std::ofstream f(raw, std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size() * 2));
    }
    Run("tiff16 " + raw + " " + std::to_string(nz) + " " + std::to_string(ny) + " " + std::to_string(nx) +
        " " + (dir / "stack").string());

    ZunImage s;
    s.Resize(Dims{nx, ny, nz});
    s.InsertChan(0, 0, "comp_1", s.PickUnusedColour());
    s.InsertChan(1, 1, "ct_1", s.PickUnusedColour());
    ZunChan& c = *s.GetChan(1);
    for (int z = 0; z < nz; ++z) {
        char name[16];
        std::snprintf(name, sizeof name, "s%03d.tif", z);
        ASSERT_EQ(c.ImportSliceFile(z, (dir / "stack" / name).c_str(), nullptr, nullptr, 0, 0, 0, z % 2 == 0),
                  0);
    }
    EXPECT_EQ(c.importCounts[2], nz);
    EXPECT_EQ(c.Data()[0], 0x4000);
    EXPECT_EQ(c.Data()[1], 0x7FFF);
    EXPECT_EQ(c.Data()[2], 0x4000 | 8192);

    auto back = test::ArchiveRoundTrip<ZunImage>(s);
    ASSERT_TRUE(back);
    const ZunChan& b = *back->GetChan(1);
    const IntegerSampleRule rule(16, nullptr, nullptr);
    for (std::size_t i = 0; i < data.size(); ++i) ASSERT_EQ(b.Data()[i], rule(data[i])) << i;
    EXPECT_EQ(b.importCounts[2], nz);
    EXPECT_TRUE(b.GetSlice(0)->image);
    EXPECT_FALSE(b.GetSlice(1)->image);
    EXPECT_EQ(b.GetSlice(5)->import->bits, 16);
}

// Every 16-bit sample, in an image small enough to convert pixel by pixel and in one large enough
// for a table of every sample: either way each word must be what the rule gives for its sample, for
// any scale and offset (negative, overflowing, NaN).
TEST_F(SliceImportTest, SixteenBitWordsMatchTheRuleForEverySample) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float cases[][2] = {{1.0f, 0.0f},  {0.37f, -100.0f}, {-2.5f, 70000.0f}, {3.0e38f, 1.0f},
                              {1.0f, -0.0f}, {-0.0f, 0.0f},    {nan, 0.0f},       {1.0f, nan},
                              {4.0f, -1.0f}, {1.0e-30f, 0.25f}};
    auto sample = [](int i) { return static_cast<ullong>((static_cast<std::uint64_t>(i) * 40503) % 65536); };
    for (const int rows : {256, 520}) {
        const std::string path = (dir / "every.tif").string();
        Run("every16 " + path + " " + std::to_string(rows));
        ZunImage s;
        s.Resize(Dims{256, rows, 1});
        s.InsertChan(1, 0, "ct_1", 1);
        s.InsertChan(3, 1, "bound_1", 2);
        for (int k = -1; k < static_cast<int>(std::size(cases)); ++k) {
            const float* scale = k < 0 ? nullptr : &cases[k][0];
            const float* offset = k < 0 ? nullptr : &cases[k][1];
            for (int ch = 0; ch < 2; ++ch)
                ASSERT_EQ(s.GetChan(ch)->ImportSliceFile(0, path.c_str(), scale, offset, 0, 0, 0, false), 0);
            const IntegerSampleRule rule(16, scale, offset);
            for (int i = 0; i < 256 * rows; ++i) {
                ASSERT_EQ(s.GetChan(0)->Data()[i], rule(sample(i))) << rows << " case " << k << " at " << i;
                ASSERT_EQ(s.GetChan(1)->Data()[i], rule.Bound(sample(i)))
                    << rows << " case " << k << " at " << i;
            }
        }
        // A crop start takes the window from the same samples.
        const float scale = 0.5f;
        ASSERT_EQ(s.GetChan(0)->ImportSliceFile(0, path.c_str(), &scale, nullptr, 1, 3, 200, true), 0);
        const IntegerSampleRule rule(16, &scale, nullptr);
        const int h = rows - 200;
        EXPECT_EQ(s.GetChan(0)->GetSlice(0)->import->resolution, (ImportInfo::Pair{253, h}));
        const imtype* stored = s.GetChan(0)->GetSlice(0)->image->Plane(0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 253; ++x)
                ASSERT_EQ(stored[y * 253 + x], rule(sample((y + 200) * 256 + x + 3)));
    }
}

// Wide integer samples, and files of several samples a pixel, of which the first is imported.
TEST_F(SliceImportTest, WideAndMultiSampleFiles) {
    const std::string wide = Make("wide", "wide.tif"), rgb = Make("rgb16", "rgb.tif");
    ZunImage s;
    s.Resize(Dims{10, 7, 2});
    s.InsertChan(1, 0, "ct_1", 1);
    ZunChan& c = *s.GetChan(0);
    const float scale = 1.0e-3f;
    ASSERT_EQ(c.ImportSliceFile(0, wide.c_str(), &scale, nullptr, 0, 0, 0, true), 0);
    EXPECT_EQ(c.GetSlice(0)->import->bits, 32);
    const IntegerSampleRule wideRule(32, &scale, nullptr);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(c.GetSlice(0)->image->Plane(0)[y * 9 + x], wideRule(65521ull * x + 7919ull * y + 3));
    ASSERT_EQ(c.ImportSliceFile(1, rgb.c_str(), nullptr, nullptr, 0, 0, 0, true), 0);
    const IntegerSampleRule rule(16, nullptr, nullptr);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(c.GetSlice(1)->image->Plane(0)[y * 10 + x], rule(static_cast<ullong>(100 * x + y)));
}

TEST_F(SliceImportTest, AHugeHeaderInATinyFileIsRefusedBeforeAnyMemoryIsAsked) {
    const std::string path = (dir / "huge.tif").string();
    testing::WriteFileBytes(path, testing::CraftTiff(100000, 100000, 1, 8, {1, 2, 3, 4}));
    ZunImage s;
    s.Resize(Dims{4, 4, 1});
    s.InsertChan(1, 0, "ct_1", 1);
    ZunChan& c = *s.GetChan(0);
    ASSERT_EQ(c.GetSliceCount(), 1);
    int queries = 0;
    SetMemoryPolicy({true, 10});
    SetMemoryStatusSource([&](MemoryStatus& m) {
        ++queries;
        m.totalPhysical = 1ull << 34;
        m.availablePhysical = 1ull << 32;
        return true;
    });
    const int r = c.ImportSliceFile(0, path.c_str(), nullptr, nullptr, 0, 0, 0, true);
    SetMemoryStatusSource({});
    SetMemoryPolicy({});
    EXPECT_EQ(r, kTiffUnsupported);
    EXPECT_EQ(queries, 0);
    EXPECT_FALSE(c.GetSlice(0)->image);
}

// Float samples against the rule sample by sample, special values included, for ranges in either
// order, an empty range, and with and without scale and offset.
TEST_F(SliceImportTest, FloatWordsMatchTheRule) {
    const std::string path = Make("floatmix", "mix.tif");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Image2d<float> file;
    ASSERT_EQ(Image2d<float>::ReadTiff(path, file), 0);
    const float* samples = file.Plane(0);
    ASSERT_TRUE(std::isnan(samples[0]));
    ZunImage s;
    s.Resize(Dims{64, 40, 1});
    s.InsertChan(1, 0, "ct_1", 1);
    s.InsertChan(3, 1, "bound_1", 2);
    // An infinite range makes NaN words (infinity over infinity).
    const float inf = std::numeric_limits<float>::infinity();
    const float ranges[][2] = {{0.0f, 1.0f}, {1.0f, -2.5f}, {3.0f, 3.0f}, {-1e38f, 1e38f}, {-inf, inf}};
    const float factors[][2] = {{2.0f, -0.5f}, {-1.0f, 0.0f}, {nan, 0.0f}};
    for (const auto& range : ranges)
        for (int k = -1; k < static_cast<int>(std::size(factors)); ++k) {
            const float* scale = k < 0 ? nullptr : &factors[k][0];
            const float* offset = k < 0 ? nullptr : &factors[k][1];
            s.GetChan(0)->range = {range[0], range[1]};
            for (int ch = 0; ch < 2; ++ch)
                ASSERT_EQ(s.GetChan(ch)->ImportSliceFile(0, path.c_str(), scale, offset, 0, 0, 0, false), 0);
            const FloatSampleRule rule(range[0], range[1], scale, offset), bound(0.0f, 1.0f, scale, offset);
            for (int i = 0; i < 64 * 40; ++i) {
                ASSERT_EQ(s.GetChan(0)->Data()[i], rule(samples[i])) << range[0] << " " << k << " at " << i;
                ASSERT_EQ(s.GetChan(1)->Data()[i], bound.Bound(samples[i])) << k << " at " << i;
            }
        }
}

}  // namespace
}  // namespace zun
