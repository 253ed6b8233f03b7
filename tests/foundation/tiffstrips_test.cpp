// Files of several strips, read whole strip at a time where the layout allows and by scanline
// where it does not: both must give the samples, and damaged files must be refused either way.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/image.h"
#include "foundation/tiffio.h"
#include "slicefiles.h"

namespace zun {
namespace {

class TiffStrips : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<testing::TempFolder>("strips");
        testing::RunPython("make_strip_tiffs.py", {folder_->Path("")});
    }
    static void TearDownTestSuite() { folder_.reset(); }
    static std::string File(const std::string& name) { return folder_->Path(name); }

    static constexpr int kNx = 13, kNy = 11;
    static std::uint64_t Sample(int x, int y, int c = 0) {
        return 3u * static_cast<std::uint64_t>(x) + 1000u * static_cast<std::uint64_t>(y) + 20000u * c;
    }

    // Every channel of the image against the samples, as the element type keeps them.
    template <class T, class Keep>
    static void ExpectSamples(const Image2d<T>& im, int channels, Keep keep) {
        ASSERT_EQ(im.GetNumChannels(), channels);
        ASSERT_EQ(im.nx, kNx);
        ASSERT_EQ(im.ny, kNy);
        for (int c = 0; c < channels; ++c)
            for (int y = 0; y < kNy; ++y)
                for (int x = 0; x < kNx; ++x)
                    ASSERT_EQ(im.Plane(c)[y * kNx + x], keep(Sample(x, y, c))) << c << " " << x << " " << y;
    }

    static inline std::unique_ptr<testing::TempFolder> folder_;
};

TEST_F(TiffStrips, GreyFilesOfEveryDepthAndLayout) {
    const auto exact = [](std::uint64_t v) { return v; };
    for (const char* name : {"grey16.tif", "grey16be.tif", "grey16zip.tif", "grey32.tif", "grey64.tif"}) {
        SCOPED_TRACE(name);
        Image2d<ullong> im;
        int bits = 0;
        ASSERT_EQ(Image2d<ullong>::ReadTiff(File(name), im, &bits), kTiffOk);
        ExpectSamples(im, 1, exact);
    }
    Image2d<ullong> small;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("grey8.tif"), small), kTiffOk);
    ExpectSamples(small, 1, [](std::uint64_t v) { return v % 256; });
}

// Elements narrower than the sample keep its low bytes; wider ones are zero-padded.
TEST_F(TiffStrips, ElementWidthsOtherThanTheSamples) {
    Image2d<uint8> bytes;
    ASSERT_EQ(Image2d<uint8>::ReadTiff(File("grey16.tif"), bytes), kTiffOk);
    ExpectSamples(bytes, 1, [](std::uint64_t v) { return static_cast<uint8>(v & 0xFF); });
    Image2d<float> floats;
    ASSERT_EQ(Image2d<float>::ReadTiff(File("grey64.tif"), floats), kTiffOk);
    for (int i = 0; i < kNx * kNy; ++i) {
        std::uint32_t bitsOf = 0;
        std::memcpy(&bitsOf, &floats.Plane(0)[i], 4);
        ASSERT_EQ(bitsOf, Sample(i % kNx, i / kNx));
    }
}

TEST_F(TiffStrips, InterleavedAndSeparateSamples) {
    const auto exact = [](std::uint64_t v) { return v; };
    Image2d<ullong> rgb, planar;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("rgb16.tif"), rgb), kTiffOk);
    ExpectSamples(rgb, 3, exact);
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("rgb32planar.tif"), planar), kTiffOk);
    ExpectSamples(planar, 3, exact);
}

// The first channel alone, into elements exactly as wide as the samples (read straight into the
// block) and into wider ones.
TEST_F(TiffStrips, FirstChannelIntoACallersBlock) {
    struct Case {
        const char* name;
        int channels;
    };
    for (const Case& f : {Case{"grey16.tif", 1}, Case{"rgb16.tif", 3}, Case{"grey16be.tif", 1}}) {
        SCOPED_TRACE(f.name);
        TiffReader reader;
        ASSERT_EQ(reader.Open(File(f.name)), kTiffOk);
        EXPECT_EQ(reader.Channels(), f.channels);
        EXPECT_EQ(reader.SampleBytes(), 2u);
        std::vector<std::uint16_t> block(kNx * kNy);
        std::uint16_t* planes[1] = {block.data()};
        ASSERT_TRUE(reader.ReadPlanes(planes, 1));
        for (int i = 0; i < kNx * kNy; ++i) ASSERT_EQ(block[i], Sample(i % kNx, i / kNx));
    }
    TiffReader planar;
    ASSERT_EQ(planar.Open(File("rgb32planar.tif")), kTiffOk);
    std::vector<std::uint32_t> narrow(kNx * kNy);
    std::uint32_t* planes[1] = {narrow.data()};
    ASSERT_TRUE(planar.ReadPlanes(planes, 1));
    for (int i = 0; i < kNx * kNy; ++i) ASSERT_EQ(narrow[i], Sample(i % kNx, i / kNx));
}

// A strip shorter than its rows, or one past the end of the file, is refused as unreadable data,
// whether the whole image or only its first channel is read, before anything is allocated for
// the image; the image keeps its channel count.
TEST_F(TiffStrips, DamagedStripsAreRefused) {
    for (const char* name : {"shortcount.tif", "truncated.tif"}) {
        SCOPED_TRACE(name);
        Image2d<ullong> im;
        im.AppendPlanes(2);
        int bits = -5;
        EXPECT_EQ(Image2d<ullong>::ReadTiff(File(name), im, &bits), kTiffUnsupported);
        EXPECT_EQ(im.GetNumChannels(), 2);
        EXPECT_EQ(bits, -5);
        TiffReader reader;
        EXPECT_EQ(reader.Open(File(name)), kTiffUnsupported);
        std::vector<std::uint16_t> block(kNx * kNy);
        std::uint16_t* planes[1] = {block.data()};
        EXPECT_FALSE(reader.ReadPlanes(planes, 1));
    }
}

}  // namespace
}  // namespace zun
