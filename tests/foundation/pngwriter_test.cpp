#include "foundation/pngwriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "slicefiles.h"

namespace zun {
namespace {

using testing::ParseKeyValues;
using testing::ReadFileBytes;
using testing::RunPython;
using testing::TempFolder;

std::map<std::string, std::string> Decode(const TempFolder& dir, const std::string& name) {
    return ParseKeyValues(RunPython("read_png.py", {dir.Path(name), dir.Path(name + ".raw")}));
}

TEST(PngWrite, RgbaBytesDecodeToTheSamePixels) {
    TempFolder dir("pngrgba");
    Image2d<uint8> im(Dims{2, 1});
    im.AppendPlanes(4);
    const uint8 px[2][4] = {{255, 0, 0, 255}, {0, 0, 255, 128}};
    for (int x = 0; x < 2; ++x)
        for (int c = 0; c < 4; ++c) im.Plane(c)[x] = px[x][c];
    ASSERT_EQ(WritePngImage(im, dir.Path("a.png"), 8, false), 0);
    auto kv = Decode(dir, "a.png");
    EXPECT_EQ(kv["colourtype"], "6");
    EXPECT_EQ(kv["bitdepth"], "8");
    EXPECT_EQ(kv["mode"], "RGBA");
    EXPECT_EQ(kv["stored"], "1");
    EXPECT_EQ(kv["chunks"], "IHDR,IDAT,IEND");
    EXPECT_EQ(ReadFileBytes(dir.Path("a.png.raw")),
              (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 255, 128}));
}

TEST(PngWrite, SixteenBitGreyKeepsEverySample) {
    TempFolder dir("png16");
    Image2d<imtype> im(Dims{3, 2});
    im.AppendPlanes(1);
    const imtype v[6] = {0x0102, 0, 65535, 4, 0x8000, 0x00FF};
    std::memcpy(im.Plane(0), v, sizeof v);
    ASSERT_EQ(WritePngImage(im, dir.Path("g.png"), 16, true), 0);
    auto kv = Decode(dir, "g.png");
    EXPECT_EQ(kv["colourtype"], "0");
    EXPECT_EQ(kv["bitdepth"], "16");
    EXPECT_EQ(kv["width"], "3");
    EXPECT_EQ(kv["height"], "2");
    auto raw = ReadFileBytes(dir.Path("g.png.raw"));
    ASSERT_EQ(raw.size(), 12u);
    imtype back[6];
    std::memcpy(back, raw.data(), 12);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(back[i], v[i]) << i;
}

TEST(PngWrite, StoredDataKeepTheFileNearItsRawSize) {
    TempFolder dir("pngsize");
    Image2d<uint8> im(Dims{64, 48});
    im.AppendPlanes(4);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 64 * 48; ++i) im.Plane(c)[i] = static_cast<uint8>(i * 31 + c);
    ASSERT_EQ(WritePngImage(im, dir.Path("s.png"), 8, false), 0);
    const auto size = std::filesystem::file_size(dir.Path("s.png"));
    const std::uintmax_t raw = 64 * 48 * 4 + 48;  // samples plus one filter byte per row
    EXPECT_GE(size, raw);
    EXPECT_LT(size, raw + 200);
}

TEST(PngWrite, FailuresReturnOneAndLeaveNoFile) {
    TempFolder dir("pngfail");
    Image2d<uint8> im(Dims{2, 2});
    im.AppendPlanes(4);
    // A folder that does not exist: the stream never opens, which counts as a failure.
    EXPECT_EQ(WritePngImage(im, dir.Path("missing/x.png"), 8, false), 1);
    // Channel count and colour type must agree, and the depth must suit the samples.
    EXPECT_EQ(WritePngImage(im, dir.Path("grey.png"), 8, true), 1);
    EXPECT_EQ(WritePngImage(im, dir.Path("deep.png"), 16, false), 1);
    Image2d<uint8> empty(Dims{0, 0});
    empty.AppendPlanes(4);
    EXPECT_EQ(WritePngImage(empty, dir.Path("empty.png"), 8, false), 1);
    // A name taken by a folder cannot be replaced: the old entry stays and no temporary is left.
    std::filesystem::create_directory(dir.Path("taken.png"));
    std::filesystem::create_directory(dir.Path("taken.png/inner"));
    EXPECT_EQ(WritePngImage(im, dir.Path("taken.png"), 8, false), 1);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path("taken.png")));
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path(""))) files += e.is_regular_file();
    EXPECT_EQ(files, 0);
}

TEST(PngWrite, ReplacesAnOldFileWhole) {
    TempFolder dir("pngold");
    testing::WriteFileBytes(dir.Path("o.png"), {1, 2, 3});
    Image2d<imtype> im(Dims{1, 1});
    im.AppendPlanes(1);
    im.Plane(0)[0] = 7;
    ASSERT_EQ(WritePngImage(im, dir.Path("o.png"), 16, true), 0);
    EXPECT_EQ(Decode(dir, "o.png")["width"], "1");
}

}  // namespace
}  // namespace zun
