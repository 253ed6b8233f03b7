#include "foundation/gridfiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "foundation/image.h"
#include "slicefiles.h"

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempFolder;

template <class T>
void Put(Bytes& b, T v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    b.insert(b.end(), p, p + sizeof v);
}
void PutText(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

Bytes Grid(std::int16_t nx, std::int16_t ny, const std::vector<float>& values) {
    Bytes b;
    PutText(b, "DSBB");
    Put(b, nx);
    Put(b, ny);
    for (double d : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}) Put(b, d);
    for (float v : values) Put(b, v);
    return b;
}

// A VO file with the given header text (the "." is added), optional wave header, sizes, samples.
template <class S>
Bytes Vod(const std::string& header, bool wave, std::int32_t nx, std::int32_t ny,
          const std::vector<S>& samples) {
    Bytes b;
    PutText(b, header + ".");
    if (wave)
        for (double d : {0.5, -1.0, 2.0, -3.0, 4.0}) Put(b, d);
    Put(b, nx);
    Put(b, ny);
    for (S s : samples) Put(b, s);
    return b;
}

std::string Header(const std::string& type, const std::string& headerType, int np,
                   const std::string& fileType = "VO_FILETYPE = BIN") {
    return "VO_DATATYPE = ARRAY2D<" + type + "> " + headerType + " " + fileType +
           " NP = " + std::to_string(np);
}

class GridFiles : public ::testing::Test {
protected:
    TempFolder dir{"grid"};
    std::string Write(const std::string& name, const Bytes& b) {
        testing::WriteFileBytes(dir.Path(name), b);
        return dir.Path(name);
    }
};

TEST_F(GridFiles, GridReadsExactly) {
    const std::string p = Write("a.grd", Grid(3, 2, {1, 2, 3, 4, 5, -6.5f}));
    std::vector<float> v;
    int nx = 0, ny = 0;
    double xlo = 0, xhi = 0, ylo = 0, yhi = 0;
    float lo = 0, hi = 0;
    ASSERT_EQ(ReadGrdFile(p, &v, &nx, &ny, &xlo, &xhi, &ylo, &yhi, &lo, &hi), 0);
    EXPECT_EQ(nx, 3);
    EXPECT_EQ(ny, 2);
    EXPECT_EQ(xhi, 2.0);
    EXPECT_EQ(yhi, 4.0);
    EXPECT_EQ(lo, -6.5f);
    EXPECT_EQ(hi, 5.0f);
    EXPECT_EQ(v, (std::vector<float>{1, 2, 3, 4, 5, -6.5f}));

    Image2d<float> im;
    float mn = 0, mx = 0;
    ASSERT_EQ(Image2d<float>::ReadGrdVod(p, im, &mn, &mx), 0);
    ASSERT_EQ(im.GetNumChannels(), 1);
    EXPECT_EQ(im.nx, 3);
    EXPECT_EQ(im.ny, 2);
    EXPECT_EQ(im.Plane(0)[3], 4.0f);  // row 1 holds the values 4 to 6
    EXPECT_EQ(im.Plane(0)[5], -6.5f);
    EXPECT_EQ(mn, -6.5f);

    // NaN replaces neither end.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ASSERT_EQ(ReadGrdFile(Write("n.grd", Grid(2, 1, {nan, 3})), &v, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, &lo, &hi),
              0);
    EXPECT_EQ(lo, 3.0f);
    EXPECT_EQ(hi, 3.0f);
}

TEST_F(GridFiles, GridRefusals) {
    std::vector<float> v;
    EXPECT_EQ(ReadGrdFile(dir.Path("none.grd"), &v), 1);
    EXPECT_EQ(ReadGrdFile(Write("a.grd", Grid(1, 1, {1})), nullptr), 2);
    Bytes shortHeader = Grid(3, 2, {});
    shortHeader.resize(20);
    const std::string sh = Write("short.grd", shortHeader);
    EXPECT_EQ(ReadGrdFile(sh, &v), 4);
    Image2d<float> im;
    EXPECT_EQ(Image2d<float>::ReadGrdVod(sh, im), 4);  // not tried as a VO file
    EXPECT_EQ(ReadGrdFile(Write("data.grd", Grid(3, 2, {1, 2, 3})), &v), 5);
    EXPECT_EQ(Image2d<float>::ReadGrdVod(dir.Path("data.grd"), im), 20);
    EXPECT_EQ(ReadGrdFile(Write("zero.grd", Grid(0, 5, {})), &v), 4);
    EXPECT_EQ(ReadGrdFile(Write("neg.grd", Grid(-3, -2, {1, 2, 3, 4, 5, 6})), &v), 4);
    EXPECT_EQ(ReadGrdFile(Write("bad.grd", Bytes{'D', 'S', 'B'}), &v), 3);
    EXPECT_TRUE(v.empty());

    std::FILE* f = std::fopen(dir.Path("a.grd").c_str(), "rb");
    int nx = 0;
    EXPECT_EQ(ReadGrdHeader(f, &nx, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(nx, 1);
    std::rewind(f);
    EXPECT_EQ(CheckGrdMagic(f), 0);
    EXPECT_EQ(CheckGrdMagic(f), 3);
    std::fclose(f);
}

TEST_F(GridFiles, VodReadsExactly) {
    const std::string p = Write("s.vod", Vod<std::int16_t>(Header("short", "VO_HEADERTYPE = NOHEADER", 6),
                                                           false, 3, 2, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(IsVodFile(p), 1);
    std::vector<float> v;
    int nx = 0, ny = 0;
    double h0 = 9, xlo = 9, xhi = 0, ylo = 9, yhi = 0;
    float lo = 0, hi = 0;
    ASSERT_EQ(ReadVodFile(p, &nx, &ny, &v, &h0, &xlo, &xhi, &ylo, &yhi, &lo, &hi), 0);
    EXPECT_EQ(v, (std::vector<float>{1, 3, 5, 2, 4, 6}));  // rows (1, 3, 5) and (2, 4, 6)
    EXPECT_EQ(xhi, 3.0);
    EXPECT_EQ(yhi, 2.0);
    EXPECT_EQ(h0 + xlo + ylo, 0.0);
    EXPECT_EQ(lo, 1.0f);
    EXPECT_EQ(hi, 6.0f);

    // No header type at all: a wave header stands before the sizes.
    const std::string w =
        Write("w.vod", Vod<double>(Header("double", "", 4), true, 2, 2, {0.5, 1.5, 2.5, 3.5}));
    ASSERT_EQ(ReadVodFile(w, &nx, &ny, &v, &h0, &xlo, &xhi, &ylo, &yhi), 0);
    EXPECT_EQ(h0, 0.5);
    EXPECT_EQ(yhi, 4.0);
    EXPECT_EQ(v, (std::vector<float>{0.5f, 2.5f, 1.5f, 3.5f}));

    // "unsigned long" holds "long" first: 4-byte signed integers.
    const std::string l = Write(
        "l.vod",
        Vod<std::int32_t>(Header("unsigned long", "VO_HEADERTYPE = WAVEHEAD2D", 2), true, 2, 1, {-7, 70000}));
    ASSERT_EQ(ReadVodFile(l, &nx, &ny, &v), 0);
    EXPECT_EQ(v, (std::vector<float>{-7.0f, 70000.0f}));
    const std::string fl =
        Write("f.vod", Vod<float>(Header("float", "VO_HEADERTYPE = NOHEADER", 1), false, 1, 1, {2.25f}));
    ASSERT_EQ(ReadVodFile(fl, &nx, &ny, &v), 0);
    EXPECT_EQ(v, (std::vector<float>{2.25f}));

    Image2d<float> im(Dims{4, 4});
    im.AppendPlanes(3);
    ASSERT_EQ(Image2d<float>::ReadGrdVod(p, im), 0);
    EXPECT_EQ(im.GetNumChannels(), 1);
    EXPECT_EQ(im.nx, 3);
    EXPECT_EQ(im.Plane(0)[1], 3.0f);
}

TEST_F(GridFiles, VodRefusalsReachEveryCode) {
    const std::vector<std::int16_t> six = {1, 2, 3, 4, 5, 6};
    const std::string noHdr = "VO_HEADERTYPE = NOHEADER";
    Image2d<float> im(Dims{2, 2});
    im.AppendPlanes(2);
    struct Case {
        const char* name;
        Bytes bytes;
        int reader;
    };
    const std::string longType(300, 'x');
    std::vector<Case> cases = {
        {"noDot", Bytes{'V', 'O', '_'}, 4},
        {"noType", Vod<std::int16_t>("VO_FILETYPE = BIN NP = 6", false, 3, 2, six), 6},
        {"noLess",
         Vod<std::int16_t>("VO_DATATYPE = ARRAY2D short> VO_FILETYPE = BIN NP = 6", false, 3, 2, six), 5},
        {"noGreater",
         Vod<std::int16_t>("VO_DATATYPE = ARRAY2D<short VO_FILETYPE = BIN NP = 6", false, 3, 2, six), 5},
        {"badType", Vod<std::int16_t>(Header("char", noHdr, 6), false, 3, 2, six), 6},
        {"longType", Vod<std::int16_t>(Header(longType + "short", noHdr, 6), false, 3, 2, six), 6},
        {"headerType", Vod<std::int16_t>(Header("short", "VO_HEADERTYPE = OTHER", 6), false, 3, 2, six), 7},
        {"fileType", Vod<std::int16_t>(Header("short", noHdr, 6, "VO_FILETYPE = ASCII"), false, 3, 2, six),
         8},
        {"noNp", Vod<std::int16_t>("VO_DATATYPE = ARRAY2D<short> VO_FILETYPE = BIN", false, 3, 2, six), 9},
        {"npCount", Vod<std::int16_t>(Header("short", noHdr, 7), false, 3, 2, six), 10},
        {"shortData", Vod<std::int16_t>(Header("short", noHdr, 6), false, 3, 2, {1, 2, 3}), 10},
        {"negSize", Vod<std::int16_t>(Header("short", noHdr, 6), false, -3, -2, six), 4},
        {"shortWave", Bytes{}, 4},
    };
    PutText(cases.back().bytes, Header("short", "", 6) + ".");
    Put(cases.back().bytes, 1.0);
    for (const Case& c : cases) {
        const std::string p = Write(std::string(c.name) + ".vod", c.bytes);
        std::vector<float> v = {1};
        int nx = -5;
        EXPECT_EQ(ReadVodFile(p, &nx, nullptr, &v), c.reader) << c.name;
        EXPECT_TRUE(v.empty()) << c.name;
        EXPECT_EQ(Image2d<float>::ReadGrdVod(p, im), GrdVodImportCode(c.reader)) << c.name;
        EXPECT_EQ(im.GetNumChannels(), 2) << c.name;  // a refused file leaves the image
        EXPECT_EQ(im.nx, 2) << c.name;
    }
    EXPECT_EQ(GrdVodImportCode(9), 24);
    EXPECT_EQ(GrdVodImportCode(-1), -1);
    EXPECT_EQ(GrdVodImportCode(4), 4);
    std::vector<float> v;
    EXPECT_EQ(ReadVodFile(dir.Path("missing.vod"), nullptr, nullptr, &v), 1);
    EXPECT_EQ(IsVodFile(dir.Path("missing.vod")), 0);
    EXPECT_EQ(IsVodFile(dir.Path("headerType.vod")), 0);
    EXPECT_EQ(IsVodFile(dir.Path("noNp.vod")), 0);
    EXPECT_EQ(IsVodFile(dir.Path("badType.vod")), 1);  // the type text is not looked at
}

}  // namespace
}  // namespace zun
