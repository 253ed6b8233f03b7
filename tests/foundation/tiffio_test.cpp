#include "foundation/tiffio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "craftedtiff.h"
#include "foundation/bitfield.h"
#include "foundation/image.h"
#include "foundation/memoryguard.h"
#include "slicefiles.h"

namespace zun {
namespace {

using testing::TempFolder;

// Files from independent writers.
using TiffRead = testing::GeneratedTiffs;

std::uint64_t Ramp(int x, int y, std::uint64_t scale = 1, std::uint64_t offset = 0) {
    return offset + scale * static_cast<std::uint64_t>(x + 10 * y);
}

TEST_F(TiffRead, IntegerGreyFilesGiveExactSamples) {
    Image2d<ullong> im;
    int bps = 0;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("grey16.tif"), im, &bps), 0);
    EXPECT_EQ(bps, 16);
    ASSERT_EQ(im.GetNumChannels(), 1);
    EXPECT_EQ(im.nx, 7);
    EXPECT_EQ(im.ny, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(im.Plane(0)[x + 7 * y], Ramp(x, y, 997, 3) & 0xFFFF);

    Image2d<uint8> small;
    ASSERT_EQ(Image2d<uint8>::ReadTiff(File("grey8.tif"), small, &bps), 0);
    EXPECT_EQ(bps, 8);
    EXPECT_EQ(small.Plane(0)[3 + 7 * 4], 43);

    Image2d<ullong> wide;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("int64.tif"), wide, &bps), 0);
    EXPECT_EQ(bps, 64);
    EXPECT_EQ(wide.Plane(0)[2 + 4 * 1], Ramp(2, 1, 0x100000001ull, 0x0123456700000005ull));
}

TEST_F(TiffRead, SamplesMoveAsRawBytes) {
    // A 16-bit sample in a float element: its bits in the low two bytes.
    Image2d<float> f;
    ASSERT_EQ(Image2d<float>::ReadTiff(File("grey16.tif"), f, nullptr), 0);
    std::uint32_t bits;
    std::memcpy(&bits, &f.Plane(0)[1], 4);
    EXPECT_EQ(bits, Ramp(1, 0, 997, 3));
    // A 64-bit sample keeps its low four bytes.
    ASSERT_EQ(Image2d<float>::ReadTiff(File("int64.tif"), f, nullptr), 0);
    std::memcpy(&bits, &f.Plane(0)[0], 4);
    EXPECT_EQ(bits, 5u);
    // The low byte of a 16-bit sample in an 8-bit element.
    Image2d<uint8> b;
    ASSERT_EQ(Image2d<uint8>::ReadTiff(File("grey16.tif"), b, nullptr), 0);
    EXPECT_EQ(b.Plane(0)[8], static_cast<uint8>(Ramp(1, 1, 997, 3) & 0xFF));
}

TEST_F(TiffRead, FloatFilesAndTheProbe) {
    bool isFloat = false;
    EXPECT_EQ(IsTiffFloat(File("float32.tif"), &isFloat), 0);
    EXPECT_TRUE(isFloat);
    EXPECT_EQ(IsTiffFloat(File("float_noformat.tif"), &isFloat), 0);
    EXPECT_FALSE(isFloat);
    EXPECT_EQ(IsTiffFloat(File("grey16.tif"), &isFloat), 0);
    EXPECT_FALSE(isFloat);
    EXPECT_EQ(IsTiffFloat(File("grey16.tif"), nullptr), 0);
    EXPECT_EQ(IsTiffFloat(File("not_a_tiff.tif"), &isFloat), 1);
    EXPECT_EQ(IsTiffFloat(File("missing.tif"), &isFloat), 1);

    Image2d<float> im;
    int bps = 0;
    ASSERT_EQ(Image2d<float>::ReadTiff(File("float32.tif"), im, &bps), 0);
    EXPECT_EQ(bps, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(im.Plane(0)[x + 6 * y], -3.25f + 0.5f * (x + 10 * y));
    float maximum = 0;
    Image2d<float>::GetMaxValue(im, &maximum);
    EXPECT_EQ(maximum, -3.25f + 0.5f * 35);
    im.Plane(0)[0] = std::numeric_limits<float>::quiet_NaN();
    im.Plane(0)[1] = 100.0f;
    Image2d<float>::GetMaxValue(im, &maximum);
    EXPECT_TRUE(std::isnan(maximum));  // the running maximum starts at the first voxel
    im.Plane(0)[0] = 1.0f;
    im.Plane(0)[2] = std::numeric_limits<float>::quiet_NaN();
    Image2d<float>::GetMaxValue(im, &maximum);
    EXPECT_EQ(maximum, 100.0f);
}

TEST_F(TiffRead, MultiSampleFiles) {
    Image2d<ullong> im;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("rgb8.tif"), im, nullptr), 0);
    ASSERT_EQ(im.GetNumChannels(), 3);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(im.Plane(c)[2 + 5 * 3], Ramp(2, 3, 1, 50 * c));
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("rgb16planar.tif"), im, nullptr), 0);
    ASSERT_EQ(im.GetNumChannels(), 3);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(im.Plane(c)[4 + 5 * 1], Ramp(4, 1, 300, c));
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("two16.tif"), im, nullptr), 0);
    ASSERT_EQ(im.GetNumChannels(), 2);
    EXPECT_EQ(im.Plane(1)[3 + 4 * 2], Ramp(3, 2, 1, 1000));
    // Surplus channels go: a five-channel image reading a one-sample file keeps one.
    Image2d<ullong> five(Dims{2, 2});
    five.AppendPlanes(5);
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("grey8.tif"), five, nullptr), 0);
    EXPECT_EQ(five.GetNumChannels(), 1);
}

TEST_F(TiffRead, PaletteFiles) {
    Image2d<ullong> im;
    int bps = 0;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("palette.tif"), im, &bps), 0);
    EXPECT_EQ(bps, 8);
    ASSERT_EQ(im.GetNumChannels(), 3);
    // Index (x + 10 y) % 4 at (1, 0) is 1: the entry (1, 2, 3).
    EXPECT_EQ(im.Plane(0)[1], 1u);
    EXPECT_EQ(im.Plane(1)[1], 2u);
    EXPECT_EQ(im.Plane(2)[1], 3u);
    EXPECT_EQ(im.Plane(0)[0], 255u);  // index 0: entry 255 * 257 = 65535
    EXPECT_EQ(im.Plane(2)[0], 7u);
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("palette511.tif"), im, nullptr), 0);
    EXPECT_EQ(im.Plane(0)[0], 255u);  // 65535
    EXPECT_EQ(im.Plane(1)[0], 1u);    // 511
    EXPECT_EQ(im.Plane(2)[0], 1u);    // 256
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("palette16.tif"), im, nullptr), kTiffPaletteDepth);
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("palette2.tif"), im, nullptr), kTiffPaletteSamples);
}

TEST_F(TiffRead, TwelveBitSamples) {
    Image2d<ullong> im;
    int bps = 0;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("bits12.tif"), im, &bps), 0);
    EXPECT_EQ(bps, 12);
    EXPECT_EQ(im.Plane(0)[0], 0xABCu);
    EXPECT_EQ(im.Plane(0)[1], 0xDEFu);
    Image2d<uint8> low;
    ASSERT_EQ(Image2d<uint8>::ReadTiff(File("bits12.tif"), low, nullptr), 0);
    EXPECT_EQ(low.Plane(0)[0], 0xBC);
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("bits12rgb.tif"), im, nullptr), kTiffUnsupported);
    ASSERT_EQ(Image2d<ullong>::ReadTiff(File("bits12planar.tif"), im, nullptr), 0);
    ASSERT_EQ(im.GetNumChannels(), 3);
    EXPECT_EQ(im.Plane(0)[0], 0x123u);
    EXPECT_EQ(im.Plane(0)[1], 0x456u);
    EXPECT_EQ(im.Plane(1)[1], 0xDEFu);
    EXPECT_EQ(im.Plane(2)[0], 0xFFFu);
    EXPECT_EQ(im.Plane(2)[1], 0x001u);
}

TEST_F(TiffRead, RefusalsLeaveTheImage) {
    Image2d<ullong> im(Dims{3, 3});
    im.AppendPlanes(2);
    int bps = 99;
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("tiled.tif"), im, &bps), kTiffUnsupported);
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("bits4.tif"), im, &bps), kTiffUnsupported);
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("not_a_tiff.tif"), im, &bps), kTiffCannotOpen);
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("none.tif"), im, &bps), kTiffCannotOpen);
    EXPECT_EQ(bps, 99);
    EXPECT_EQ(im.GetNumChannels(), 2);
    EXPECT_EQ(im.nx, 3);
}

TEST_F(TiffRead, RefusedMemoryKeepsTheChannelCount) {
    Image2d<ullong> im;
    im.AppendPlanes(1);
    im.GetAllocator().remainPercent = 10;
    SetMemoryStatusSource([](MemoryStatus& s) {
        s.totalPhysical = 1ull << 30;
        s.availablePhysical = 0;
        return true;
    });
    EXPECT_EQ(Image2d<ullong>::ReadTiff(File("rgb8.tif"), im, nullptr), kTiffNoMemory);
    SetMemoryStatusSource({});
    EXPECT_EQ(im.GetNumChannels(), 1);
}

// Counts the rebuilds of the plane table.
class CountingImage : public Image2d<uint8> {
public:
    int rebuilds = 0;

protected:
    void ChannelsChanged() override {
        ++rebuilds;
        Image2d<uint8>::ChannelsChanged();
    }
};

TEST(TiffCrafted, ThousandsOfSamplesPerPixelTakeOnePassOverTheChannelList) {
    TempFolder dir("crafted");
    std::vector<std::uint8_t> pixel(65535);
    for (std::size_t i = 0; i < pixel.size(); ++i) pixel[i] = static_cast<std::uint8_t>(i * 7);
    const std::string path = dir.Path("wide.tif");
    testing::WriteFileBytes(path, testing::CraftTiff(1, 1, 65535, 8, pixel));
    CountingImage im;
    ASSERT_EQ(Image2d<uint8>::ReadTiff(path, im, nullptr), kTiffOk);
    ASSERT_EQ(im.GetNumChannels(), 65535);
    EXPECT_EQ(im.Plane(65534)[0], pixel[65534]);
    EXPECT_LE(im.rebuilds, 3);
    // The same header over a file that ends early: the channels go again, in one pass too.
    testing::WriteFileBytes(path, testing::CraftTiff(1, 1, 65535, 8, {1, 2, 3}));
    CountingImage refused;
    refused.AppendPlanes(1);
    refused.rebuilds = 0;
    EXPECT_NE(Image2d<uint8>::ReadTiff(path, refused, nullptr), kTiffOk);
    EXPECT_EQ(refused.GetNumChannels(), 1);
    EXPECT_LE(refused.rebuilds, 4);
}

// --- the writers, read back by tifffile ---

TEST(TiffWrite, FilesReadBackByAnIndependentReader) {
    TempFolder dir("tiffw");
    Image2d<uint8> rgb(Dims{5, 3});
    rgb.AppendPlanes(3);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 15; ++i) rgb.Plane(c)[i] = static_cast<uint8>(i * 7 + c * 60);
    ASSERT_EQ(Image2d<uint8>::WriteTiff(dir.Path("rgb.tif"), rgb), 0);
    auto kv = testing::ParseKeyValues(
        testing::RunPython("read_tiff.py", {dir.Path("rgb.tif"), dir.Path("rgb.raw")}));
    EXPECT_EQ(kv["pages"], "1");
    EXPECT_EQ(kv["ImageWidth"], "5");
    EXPECT_EQ(kv["ImageLength"], "3");
    EXPECT_EQ(kv["BitsPerSample"], "8");
    EXPECT_EQ(kv["SampleFormat"], "1");
    EXPECT_EQ(kv["PhotometricInterpretation"], "2");
    EXPECT_EQ(kv["PlanarConfiguration"], "1");
    EXPECT_EQ(kv["Compression"], "1");
    EXPECT_EQ(kv["Orientation"], "1");
    EXPECT_EQ(kv["Software"], "Zun Image Library");
    auto raw = testing::ReadFileBytes(dir.Path("rgb.raw"));
    ASSERT_EQ(raw.size(), 45u);
    for (int i = 0; i < 15; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(raw[i * 3 + c], rgb.Plane(c)[i]);

    Image2d<imtype> two(Dims{4, 2});
    two.AppendPlanes(2);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 8; ++i) two.Plane(c)[i] = static_cast<imtype>(1000 * i + 30000 * c + 1);
    ASSERT_EQ(Image2d<imtype>::WriteTiff(dir.Path("two.tif"), two), 0);
    kv = testing::ParseKeyValues(
        testing::RunPython("read_tiff.py", {dir.Path("two.tif"), dir.Path("two.raw")}));
    EXPECT_EQ(kv["PhotometricInterpretation"], "1");
    EXPECT_EQ(kv["SamplesPerPixel"], "2");
    EXPECT_EQ(kv["dtype"], "uint16");
    raw = testing::ReadFileBytes(dir.Path("two.raw"));
    ASSERT_EQ(raw.size(), 32u);
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 2; ++c) {
            imtype v;
            std::memcpy(&v, &raw[(i * 2 + c) * 2], 2);
            EXPECT_EQ(v, two.Plane(c)[i]);
        }
    // Our reader reads it back too.
    Image2d<ullong> back;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(dir.Path("two.tif"), back, nullptr), 0);
    EXPECT_EQ(back.Plane(1)[7], two.Plane(1)[7]);
}

TEST(TiffWrite, FailuresLeaveNoFile) {
    TempFolder dir("tiffwf");
    Image2d<uint8> im(Dims{2, 2});
    im.AppendPlanes(1);
    EXPECT_EQ(Image2d<uint8>::WriteTiff(dir.Path("missing/folder/x.tif"), im), kTiffCannotOpen);
    // An old file survives a refused write.
    testing::WriteFileBytes(dir.Path("old.tif"), {1, 2, 3});
    Image2d<uint8> none(Dims{2, 2});  // no channels: the library refuses SamplesPerPixel 0
    EXPECT_EQ(Image2d<uint8>::WriteTiff(dir.Path("old.tif"), none), kTiffTagRefused);
    EXPECT_EQ(testing::ReadFileBytes(dir.Path("old.tif")), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1);
    // An image without pixels is refused with the code its reader would give, and makes no file.
    for (const Dims& d : {Dims{0, 0}, Dims{0, 3}, Dims{3, 0}}) {
        Image2d<imtype> empty(d);
        empty.AppendPlanes(1);
        const int want = d[0] == 0 ? kTiffNoWidth : kTiffNoLength;
        EXPECT_EQ(Image2d<imtype>::WriteTiff(dir.Path("empty.tif"), empty), want);
        EXPECT_FALSE(std::filesystem::exists(dir.Path("empty.tif")));
        EXPECT_EQ(Image2d<imtype>::WriteTiff(dir.Path("old.tif"), empty), want);
        EXPECT_EQ(testing::ReadFileBytes(dir.Path("old.tif")), (std::vector<std::uint8_t>{1, 2, 3}));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1);
}

// --- bit fields ---

TEST(BitField, CopyAndClear) {
    const std::uint8_t src[3] = {0xAB, 0xCD, 0xEF};
    std::uint8_t d[2] = {0, 0};
    EXPECT_EQ(CopyBitField(4, d, 0, src, 12), 0);
    EXPECT_EQ(CopyBitField(8, d, 4, src, 0), 0);
    EXPECT_EQ(d[0] | (d[1] << 8), 0xABC);
    std::uint8_t e[2] = {0xFF, 0xFF};
    EXPECT_EQ(CopyBitField(8, e, 0, src, 16), 0);
    EXPECT_EQ(CopyBitField(4, e, 8, src, 8), 0);
    EXPECT_EQ(ClearBitField(4, e, 12), 0);
    EXPECT_EQ(e[0] | (e[1] << 8), 0xDEF);
    std::uint8_t f[3] = {1, 2, 3};
    EXPECT_EQ(CopyBitField(16, f, 8, src, 0), 0);  // whole bytes
    EXPECT_EQ(f[1], 0xAB);
    EXPECT_EQ(f[2], 0xCD);
    EXPECT_EQ(CopyBitField(0, f, 0, src, 0), 0);
    EXPECT_EQ(CopyBitField(-3, f, 0, src, 0), 0);
    EXPECT_EQ(CopyBitField(1, f, -1, src, 0), -1);
    EXPECT_EQ(CopyBitField(1, f, 0, src, -1), -1);
    EXPECT_EQ(ClearBitField(16, f, 0), 0);
    EXPECT_EQ(f[0] | f[1], 0);
    EXPECT_EQ(f[2], 0xCD);
    EXPECT_EQ(ClearBitField(-1, f, 0), -1);
    EXPECT_EQ(ClearBitField(1, f, -1), -1);
}

}  // namespace
}  // namespace zun
