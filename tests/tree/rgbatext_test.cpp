#include "tree/rgbatext.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/progress.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

std::uint32_t Texel(int r, int g, int b, int a) {
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
           (static_cast<std::uint32_t>(b) << 16) | (static_cast<std::uint32_t>(a) << 24);
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RgbaTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(ZUN_TEST_BINARY_DIR) / ("tmp_rgbatext_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST(RgbaTextField, DefaultFloatFormatRightAligned) {
    EXPECT_EQ(RgbaTextField(255), std::string(14, ' ') + "1");
    EXPECT_EQ(RgbaTextField(0), std::string(14, ' ') + "0");
    EXPECT_EQ(RgbaTextField(128), std::string(7, ' ') + "0.501961");
    EXPECT_EQ(RgbaTextField(1), std::string(5, ' ') + "0.00392157");
    // Every field is what the stream's default format writes for the float value.
    for (int v = 0; v < 256; ++v) {
        std::ostringstream s;
        s.width(15);
        s << static_cast<float>(v) / 255.0f;
        EXPECT_EQ(RgbaTextField(static_cast<std::uint8_t>(v)), s.str()) << v;
    }
}

TEST_F(RgbaTextTest, HeaderAndVoxelLines) {
    const std::uint32_t v[2] = {Texel(255, 0, 128, 255), Texel(0, 0, 0, 0)};
    ASSERT_EQ(WriteDisplayRgbaText((dir / "a.txt").string(), "doc.zun", v, 2, 1, 1), kRgbaWritten);
    const std::string f1 = std::string(14, ' ') + "1", f0 = std::string(14, ' ') + "0";
    EXPECT_EQ(ReadText(dir / "a.txt"), "# doc.zun\nX:           2\nY:           1\nZ:           1\ndata\n" +
                                           f1 + f0 + "       0.501961" + f1 + "\n" + f0 + f0 + f0 + f0 +
                                           "\n");
    // No title: the first line is the X line.
    ASSERT_EQ(WriteDisplayRgbaText((dir / "b.txt").string(), "", v, 1, 1, 1), kRgbaWritten);
    EXPECT_EQ(ReadText(dir / "b.txt").rfind("X:           1\n", 0), 0u);
}

TEST_F(RgbaTextTest, NumpyReadsBackTheDisplayVolume) {
    const int vx = 7, vy = 5, vz = 3;
    std::vector<std::uint32_t> volume(vx * vy * vz);
    for (std::size_t i = 0; i < volume.size(); ++i)
        volume[i] = Texel((i * 37) % 256, (i * 11 + 3) % 256, (255 - i) % 256, (i * 97) % 256);
    volume[0] = Texel(255, 0, 128, 255);
    ASSERT_EQ(WriteDisplayRgbaText((dir / "v.txt").string(), "Sample one", volume.data(), vx, vy, vz),
              kRgbaWritten);
    {
        std::ofstream raw(dir / "v.raw", std::ios::binary);
        raw.write(reinterpret_cast<const char*>(volume.data()),
                  static_cast<std::streamsize>(volume.size() * 4));
    }
    const std::string cmd = std::string(ZUN_PYTHON) + " '" + ZUN_TEST_DIR + "/read_rgba_text.py' '" +
                            (dir / "v.txt").string() + "' '" + (dir / "v.raw").string() + "'";
    std::string out;
    if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[1024];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        EXPECT_EQ(::pclose(p), 0) << out;
    }
    EXPECT_EQ(out, "title=Sample one\nX=7\nY=5\nZ=3\nlines=105\nclose=1\nbadlines=0\n");
}

TEST_F(RgbaTextTest, FailuresAndCancelLeaveNoFile) {
    const std::uint32_t v[4] = {};
    std::string error;
    EXPECT_EQ(WriteDisplayRgbaText((dir / "missing" / "a.txt").string(), "t", v, 2, 2, 1, nullptr, &error),
              kRgbaFailed);
    EXPECT_FALSE(error.empty());
    // An old file is replaced only by a whole new one: a cancelled export leaves it as it was.
    { std::ofstream(dir / "old.txt") << "old"; }
    HeadlessProgress progress;
    progress.CancelAtCall(1);
    EXPECT_EQ(WriteDisplayRgbaText((dir / "old.txt").string(), "t", v, 1, 2, 2, &progress), kRgbaCancelled);
    EXPECT_EQ(ReadText(dir / "old.txt"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

}  // namespace
}  // namespace zun
