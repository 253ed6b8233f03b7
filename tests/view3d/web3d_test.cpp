// Options, checks, atlas levels, atlas sampling, Base64 and the whole page set of the web export.

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/progress.h"
#include "testfiles.h"
#include "view3d/web3dexport.h"
#include "view3d/web3doptions.h"
#include "view3d/web3dtexts.h"
#include "view3d/webatlas.h"
#include "view3d/webpage.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int Shell(const std::string& cmd) {
    return std::system(cmd.c_str());
}

Web3DOptions Checked(int x, int y, int z, int border = 8) {
    Web3DOptions o;
    o.folder = "/tmp";
    o.border = border;
    Web3DDocumentFacts f;
    std::string msg;
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{x, y, z}, f, msg), 0) << msg;
    return o;
}

TEST(Web3DCheck, TileCountsAndRefusals) {
    EXPECT_EQ(Web3DTileCount(9), 4);  // 3 * 3 is raised to 4
    EXPECT_EQ(Web3DTileCount(16), 6);
    EXPECT_EQ(Web3DTileCount(17), 6);
    EXPECT_EQ(Web3DTileCount(100), 12);

    Web3DDocumentFacts f;
    Web3DOptions o;
    std::string msg;
    EXPECT_EQ(CheckWeb3DExport(o, false, Dims{100, 100, 100}, f, msg), 1);
    EXPECT_EQ(msg, "No volume image is created.");
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{9, 100, 100}, f, msg), 2);
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{10, 6000, 100}, f, msg), 3);
    EXPECT_EQ(msg, "Image aspect ratio must be less than 500.");
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{2000, 100, 100}, f, msg), 4);
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{10, 100, 17}, f, msg), 5);  // 10 * 6 = 60 pixels
    EXPECT_EQ(msg, "Image width is smaller than 256 pixel.");
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{100, 2000, 100}, f, msg), 6);
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{100, 10, 17}, f, msg), 7);
    EXPECT_EQ(o.tilesX, 0);  // a refusal sets nothing

    // Success: extents and tiles stored; an empty folder takes the defaults, a set one the
    // document's remembered folder.
    f.title = "phantom";
    f.documentsFolder = "/home/u/Documents";
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{500, 400, 100}, f, msg), 0);
    EXPECT_EQ(o.tilesX, 12);
    EXPECT_EQ(o.tilesY, 12);
    EXPECT_EQ(o.X, 500);
    EXPECT_EQ(o.folder, "/home/u/Documents");
    EXPECT_EQ(o.fileName, "phantom");
    f.rememberedFolder = "/data/web";
    EXPECT_EQ(CheckWeb3DExport(o, true, Dims{500, 400, 100}, f, msg), 0);
    EXPECT_EQ(o.folder, "/data/web");
}

TEST(Web3DDefaults, DescriptionNamesUnitsAndColourings) {
    Web3DDocumentFacts f;
    f.grid = {100, 200, 50};
    f.unitMetres = 1e-6;
    f.voxelSize = {0.5, 0.5, 2};
    f.channels = {{"Void", 0, 0x0000FF}, {"Iron", 0, 0x00FF00}, {"Pore", 0, 0x102030}, {"Mix", 2, 0}};
    const std::string d = BuildWeb3DDescription(f);
    EXPECT_EQ(d,
              "The displayed 3D image has 100 x 200 x 50 voxels. Each voxel represents a physical volume of "
              "0.5 x 0.5 x 2 cubc microns.\r\nVoid is displayed as red; Iron is displayed as green; Pore is "
              "displayed as single colour - RGB(48,32,16); Mix is displayed as colour-spectrum.");
    f.unitMetres = 1e-3;
    EXPECT_NE(BuildWeb3DDescription(f).find("0.5 x 0.5 x 2 cubc mili-metres"), std::string::npos);
    f.unitMetres = 1;
    EXPECT_NE(BuildWeb3DDescription(f).find("cubc metres"), std::string::npos);
    f.unitMetres = 1e-9;
    EXPECT_NE(BuildWeb3DDescription(f).find("cubc nano-metres"), std::string::npos);
    EXPECT_EQ(DescribeColouring({"", 1, 0}), "colour per data bit");
    EXPECT_EQ(DescribeColouring({"", 3, 0}), "colour per data value");
    EXPECT_EQ(DescribeColouring({"", -2, 0}), "colour combined");
    EXPECT_EQ(DescribeColouring({"", 7, 0}), "undefined");
    EXPECT_EQ(DescribeColouring({"", 0, 0xFF0000}), "blue");
}

TEST(Web3DLevels, FittingAndChoice) {
    Web3DOptions o = Checked(500, 500, 100);
    EXPECT_EQ(AtlasWidth(o), 6192);
    int p = 0, q = 0;
    const Web3DOptions l = FitAtlasLevel(o, 1024, &p, &q);
    EXPECT_EQ(p, 3);
    EXPECT_EQ(q, 10);
    EXPECT_EQ(l.X, 150);
    EXPECT_EQ(l.Y, 150);
    EXPECT_EQ(l.Z, 30);
    EXPECT_EQ(l.tilesX, 6);
    EXPECT_EQ(AtlasWidth(l), 996);
    EXPECT_EQ(AtlasHeight(l), 996);
    // A target at least as large as the atlas gives the full volume.
    const Web3DOptions full = FitAtlasLevel(o, 6192, &p, &q);
    EXPECT_EQ(p, 1);
    EXPECT_EQ(q, 1);
    EXPECT_EQ(full.X, 500);
    // Every chosen level stays within its target (its stored, even tile count included).
    for (int z : {10, 37, 63, 100, 181})
        for (int target : {1024, 2048, 4096, 8192}) {
            Web3DOptions v = Checked(300, 200, z);
            const Web3DOptions fit = FitAtlasLevel(v, target, &p, &q);
            if (p != q) {
                EXPECT_LE(std::max(AtlasWidth(fit), AtlasHeight(fit)), target) << z << " " << target;
            }
            EXPECT_EQ(fit.tilesX % 2, 0);
        }

    const auto two = ChooseWeb3DLevels(1024, 800);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].targetSize, 1024);
    EXPECT_EQ(two[0].label, "Best performance");
    EXPECT_EQ(two[1].targetSize, 1024);
    EXPECT_EQ(two[1].label, "Best visualization");
    const auto five = ChooseWeb3DLevels(100, 16384);
    ASSERT_EQ(five.size(), 5u);
    EXPECT_EQ(five[4].targetSize, 16384);
    EXPECT_EQ(five[1].label, "Better visualization");
    EXPECT_EQ(five[3].label, "Better performance");
    const auto four = ChooseWeb3DLevels(6192, 6192);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[3].targetSize, 6192);
    EXPECT_EQ(ChooseWeb3DLevels(300, 300).size(), 1u);
}

TEST(Web3DDialog, ValidationOrderAndMatrix) {
    Web3DOptions o = Checked(100, 50, 17, 8);
    o.title = "T";
    o.description = "D";
    o.fileName = "name";
    Web3DDialogModel m(o);
    Web3DDialogModel::Fields f = m.Fill();
    EXPECT_EQ(f.width, "100");
    EXPECT_EQ(f.slices, "17");
    EXPECT_EQ(f.opacityFactor, "1.4");
    EXPECT_EQ(m.MatrixTexts("8"), (std::array<std::string, 2>{"696", "396"}));
    // Negative or unreadable borders are shown as 0 ...
    EXPECT_EQ(m.MatrixTexts("-3"), (std::array<std::string, 2>{"600", "300"}));
    EXPECT_EQ(m.MatrixTexts("x"), (std::array<std::string, 2>{"600", "300"}));
    // ... and refused on Export.
    Web3DDialogModel::Fields g = f;
    g.border = "-3";
    EXPECT_EQ(m.Export(g), web3dmsg::kBadBorder);

    const auto failsWith = [&](auto change, const char* text) {
        Web3DDialogModel::Fields h = f;
        change(h);
        EXPECT_EQ(m.Export(h), text);
    };
    failsWith([](auto& h) { h.title = "  "; }, web3dmsg::kEnterTitle);
    failsWith([](auto& h) { h.description = ""; }, web3dmsg::kEnterDescription);
    failsWith([](auto& h) { h.folder = ""; }, web3dmsg::kSelectFolder);
    failsWith([](auto& h) { h.fileName = ""; }, web3dmsg::kEnterFileName);
    failsWith([](auto& h) { h.fileName = "my page"; }, web3dmsg::kNameBlank);
    failsWith([](auto& h) { h.fileName = "a$b c"; }, web3dmsg::kNameSymbol);  // first offender decides
    failsWith([](auto& h) { h.fileName = "a b$c"; }, web3dmsg::kNameBlank);
    // Names that would leave the folder or break the page's markup.
    for (const char* bad : {"../up", "a/b", "a\\b", ".hidden", "q\"x", "a<b", "a'b"})
        failsWith([bad](auto& h) { h.fileName = bad; }, web3dmsg::kNameSymbol);
    failsWith([](auto& h) { h.opacityFactor = "2.5"; }, web3dmsg::kBadOpacity);
    failsWith([](auto& h) { h.opacityFactor = "abc"; }, web3dmsg::kBadOpacity);
    EXPECT_EQ(o.fileName, "name");  // no failure changed the options

    Web3DDialogModel::Fields ok = f;
    ok.fileName = "  page.v2 ";  // a dot passes
    ok.title = " Title ";
    ok.opacityFactor = "2.0";
    ok.border = "0";
    ok.averaging = true;
    EXPECT_EQ(m.Export(ok), "");
    EXPECT_EQ(o.fileName, "page.v2");
    EXPECT_EQ(o.title, "Title");
    EXPECT_EQ(o.border, 0);
    EXPECT_FLOAT_EQ(o.opacityFactor, 2.0f);
    EXPECT_EQ(o.samplingMode, 1);
}

// A volume whose voxel (x, y, z) holds x, y, z and 255 in its four bytes.
std::vector<std::uint8_t> CoordinateVolume(int X, int Y, int Z) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(X) * Y * Z * 4);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x) {
                std::uint8_t* p = &v[((static_cast<std::size_t>(z) * Y + y) * X + x) * 4];
                p[0] = x, p[1] = y, p[2] = z, p[3] = 255;
            }
    return v;
}

TEST(Web3DAtlas, TilesBordersAndSampling) {
    const int X = 40, Y = 30, Z = 17;
    const auto vol = CoordinateVolume(X, Y, Z);
    Web3DOptions o;
    o.X = X, o.Y = Y, o.Z = Z, o.border = 2;
    o.tilesX = o.tilesY = Web3DTileCount(Z);  // six tiles across
    ASSERT_EQ(o.tilesX, 6);
    const int W = AtlasWidth(o), H = AtlasHeight(o);
    int calls = 0;
    const auto atlas = BuildAtlas(vol.data(), Dims{X, Y, Z}, o, 1, 1, 4, [&](int) { return ++calls > 0; });
    ASSERT_EQ(atlas.size(), std::size_t(W) * H * 4);
    EXPECT_EQ(calls, 3);  // one per tile row holding slices
    const auto px = [&](int ax, int ay) { return &atlas[(std::size_t(ay) * W + ax) * 4]; };
    for (int s : {0, 5, 6, 16}) {
        const int col = s % 6, row = s / 6;
        const std::uint8_t* p = px(2 + col * 44 + 7, 2 + row * 34 + 9);
        EXPECT_EQ(p[0], 7);
        EXPECT_EQ(p[1], 9);
        EXPECT_EQ(p[2], s);
        EXPECT_EQ(p[3], 255);
        EXPECT_EQ(px(col * 44, row * 34)[3], 0);  // border
    }
    // Slices 17.. of the last tile row stay transparent black.
    EXPECT_EQ(px(2 + 5 * 44 + 3, 2 + 2 * 34 + 3)[3], 0);
    EXPECT_EQ(px(W - 1, H - 1)[3], 0);

    // Decimation at 1/2 reads every second voxel; averaging at 1/2 averages pairs.
    Web3DOptions half = o;
    half.X = 20, half.Y = 15, half.Z = 9, half.tilesX = half.tilesY = 4;
    const auto dec = BuildAtlas(vol.data(), Dims{X, Y, Z}, half, 1, 2, 2);
    const int hw = AtlasWidth(half);
    const std::uint8_t* d = &dec[(std::size_t(2 + 44 * 0 + 0 + 5) * hw + (2 + 24 * 1 + 3)) * 4];  // slice 1
    EXPECT_EQ(d[0], 6);
    EXPECT_EQ(d[1], 10);
    EXPECT_EQ(d[2], 2);
    half.samplingMode = 1;
    const auto avg = BuildAtlas(vol.data(), Dims{X, Y, Z}, half, 1, 2, 2);
    const std::uint8_t* a = &avg[(std::size_t(2 + 5) * hw + (2 + 24 * 1 + 3)) * 4];
    EXPECT_EQ(a[0], 7);   // (6 + 7) / 2 = 6.5, rounded half up
    EXPECT_EQ(a[1], 11);  // (10 + 11) / 2
    EXPECT_EQ(a[2], 3);   // (2 + 3) / 2
    EXPECT_EQ(a[3], 255);
    // A cancel ends the build without an atlas.
    EXPECT_TRUE(BuildAtlas(vol.data(), Dims{X, Y, Z}, o, 1, 1, 2, [](int) { return false; }).empty());
}

TEST(Web3DAtlas, PngDecodedByPilEqualsTheTiles) {
    TempDir dir{"zun_web3d"};
    const int X = 24, Y = 20, Z = 11;
    const auto vol = CoordinateVolume(X, Y, Z);
    Web3DOptions o = Checked(X * 10, Y * 10, Z);  // tiles for 11 slices
    o.X = X, o.Y = Y, o.Z = Z, o.border = 3;
    const auto atlas = BuildAtlas(vol.data(), Dims{X, Y, Z}, o, 1, 1, 2);
    const std::string png = (dir.path / "atlas.png").string(), raw = (dir.path / "atlas.raw").string();
    ASSERT_EQ(WriteRgbaPng(png, atlas.data(), AtlasWidth(o), AtlasHeight(o)), "");
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(atlas.data()), atlas.size());
    const std::string cmd = std::string(ZUN_PYTHON) +
                            " -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                            "assert im.mode == 'RGBA', im.mode; "
                            "sys.exit(0 if im.tobytes() == open(sys.argv[2], 'rb').read() else 3)\" " +
                            png + " " + raw;
    EXPECT_EQ(Shell(cmd), 0);
    EXPECT_NE(WriteRgbaPng((dir.path / "no" / "x.png").string(), atlas.data(), 4, 4), "");
}

TEST(Web3DBase64, MatchesPythonForEveryLengthModThree) {
    TempDir dir{"zun_web3d"};
    std::mt19937 rng(7);
    EXPECT_EQ(Base64Encode(nullptr, 0), "");
    const std::uint8_t f[] = {'f', 'o', 'o', 'b', 'a', 'r'};
    EXPECT_EQ(Base64Encode(f, 1), "Zg==");
    EXPECT_EQ(Base64Encode(f, 2), "Zm8=");
    EXPECT_EQ(Base64Encode(f, 6), "Zm9vYmFy");
    for (int n : {1, 2, 3, 100, 1001, 65537}) {
        std::vector<std::uint8_t> bytes(n);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        const fs::path in = dir.path / "in.bin", out = dir.path / "py.txt";
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), n);
        ASSERT_EQ(
            Shell(std::string(ZUN_PYTHON) +
                  " -c \"import base64,sys; sys.stdout.write(base64.b64encode(open(sys.argv[1],'rb').read())"
                  ".decode())\" " +
                  in.string() + " > " + out.string()),
            0);
        EXPECT_EQ(Base64Encode(bytes.data(), bytes.size()), ReadAll(out)) << n;
        EXPECT_EQ(ReadFileAsBase64(in.string()), ReadAll(out));
    }
    // The script holds exactly the assignment; a missing source gives an empty text.
    const fs::path src = dir.path / "src.bin", js = dir.path / "x.js";
    std::ofstream(src, std::ios::binary) << "foobar";
    ASSERT_TRUE(WriteBase64Script(src.string(), js.string(), "zun3", true));
    EXPECT_EQ(ReadAll(js), "var zun3=\"Zm9vYmFy\";");
    EXPECT_FALSE(fs::exists(src));
    ASSERT_TRUE(WriteBase64Script(src.string(), js.string(), "zun3", false));
    EXPECT_EQ(ReadAll(js), "var zun3=\"\";");
    EXPECT_FALSE(WriteBase64Script(src.string(), (dir.path / "no" / "x.js").string(), "v", false));
}

// The export of a small volume into a scratch folder with a template of our own.
struct ExportFixture : ::testing::Test {
    TempDir dir{"zun_web3d"};
    std::vector<std::uint8_t> volume = CoordinateVolume(60, 50, 40);
    Web3DOptions options;
    Web3DExportInput in;
    fs::path templ;

    void SetUp() override {
        templ = dir.path / "template";
        fs::create_directories(templ / "js");
        fs::create_directories(templ / "css");
        std::ofstream(templ / "js" / "x3dom.js") << "// library";
        std::ofstream(templ / "css" / "zun103.css") << "body {}";
        in.volume = volume.data();
        in.volumeDims = {60, 50, 40};
        in.templateFolder = templ.string();
        in.facts.title = "Phantom";
        in.page.sampleGrid = {120, 100, 80};
        in.page.versionText = "Zun - 0.1.0";
        in.page.createDate = "Monday, December 07 2026, 12:00";
        in.threads = 2;
        options.folder = (dir.path / "out").string();
        std::string msg;
        ASSERT_EQ(CheckWeb3DExport(options, true, in.volumeDims, in.facts, msg), 0);
        options.folder = (dir.path / "out").string();
        options.title = "A \"quoted\" <title> & more";
        options.description = "Line one\r\nLine two";
        options.fileName = "page.xhtml";
        options.thumbnail = false;
    }
    fs::path Web() const { return dir.path / "out" / "Web3D"; }
};

TEST_F(ExportFixture, WritesTheWholeSet) {
    std::string msg;
    ASSERT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DSuccess) << msg;
    EXPECT_TRUE(fs::exists(Web() / "page.xhtml"));  // not page.xhtml.xhtml
    EXPECT_TRUE(fs::exists(Web() / "css" / "zun103.css"));
    EXPECT_TRUE(fs::exists(Web() / "page_zun1.js"));
    EXPECT_FALSE(fs::exists(Web() / "page_zun2.js"));  // 60 x 8 = 480 pixels: one level
    EXPECT_FALSE(fs::exists(Web() / "page.pmx"));
    EXPECT_FALSE(fs::exists(dir.path / "out" / "page.html"));
    const std::string js = ReadAll(Web() / "page_zun1.js");
    EXPECT_EQ(js.rfind("var zun1=\"iVBORw0KGgo", 0), 0u);
    EXPECT_EQ(js.substr(js.size() - 2), "\";");
    const std::string page = ReadAll(Web() / "page.xhtml");
    EXPECT_NE(page.find("style=\"display:none\""), std::string::npos);
    EXPECT_NE(page.find("<meta name=\"martix\" content=\"608 x 528\" />"), std::string::npos);
    EXPECT_NE(page.find("numberOfSlices='40' slicesOverX='8' slicesOverY='8' url='\"zun1\"'"),
              std::string::npos);
    EXPECT_NE(page.find("<meta name=\"user\" content=\"\" />"), std::string::npos);
    EXPECT_NE(page.find("init(1.400000, 1.4, 140);"), std::string::npos);
    EXPECT_EQ(page.find("loadImage(\""), std::string::npos);
    EXPECT_EQ(page.find("\"quoted\""), std::string::npos);  // escaped everywhere
    if (Shell("command -v xmllint > /dev/null") == 0) {
        EXPECT_EQ(Shell("xmllint --noout " + (Web() / "page.xhtml").string()), 0);
    }

    // The PNG inside the script decodes to the tiles.
    const std::string cmd =
        std::string(ZUN_PYTHON) +
        " -c \"import sys,base64,io; from PIL import Image; t = open(sys.argv[1]).read(); "
        "im = Image.open(io.BytesIO(base64.b64decode(t[t.index('\\\"')+1:-2]))); "
        "p = im.getpixel((8 + 76 * 3 + 5, 8 + 66 * 1 + 7)); "
        "sys.exit(0 if im.size == (608, 528) and p == (5, 7, 11, 255) else 4)\" " +
        (Web() / "page_zun1.js").string();
    EXPECT_EQ(Shell(cmd), 0);
}

TEST_F(ExportFixture, SeveralLevelsServicePagesAndThumbnailFailure) {
    volume = CoordinateVolume(200, 180, 100);  // 216 x 12 = 2592 pixels: three levels
    in.volume = volume.data();
    in.volumeDims = {200, 180, 100};
    options.thumbnail = true;
    options.serviceScript = true;
    in.writeThumbnail = [](const std::string&) { return false; };
    std::string msg;
    ASSERT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DSuccess);
    EXPECT_EQ(msg, std::string(web3dmsg::kThumbnailError) + (dir.path / "out" / "page.jpg").string());
    EXPECT_TRUE(fs::exists(Web() / "page_zun3.js"));
    const std::string page = ReadAll(Web() / "page.xhtml");
    EXPECT_NE(page.find("\"zun1\":\"page_zun1.js\",\"zun2\":\"page_zun2.js\",\"zun3\":\"page_zun3.js\""),
              std::string::npos);
    EXPECT_NE(page.find("<option value=\"zun3\" numslices=\"100\" tilex=\"12\" tiley=\"12\" width=\"2592\" "
                        "height=\"2352\" ready=\"false\">Best visualization</option>"),
              std::string::npos);
    EXPECT_EQ(page.find("style=\"display:none\""), std::string::npos);
    const std::string loader = ReadAll(dir.path / "out" / "page.html");
    EXPECT_NE(loader.find("var ds_xhtml_file = \"Web3D/page.xhtml\";"), std::string::npos);
    EXPECT_EQ(loader.find("<title>A \""), std::string::npos);
    if (Shell("command -v xmllint > /dev/null") == 0) {
        EXPECT_EQ(Shell("xmllint --noout " + (Web() / "page.xhtml").string()), 0);
    }
}

TEST_F(ExportFixture, CancelFailuresAndMissingLibrary) {
    volume = CoordinateVolume(200, 180, 100);
    in.volume = volume.data();
    in.volumeDims = {200, 180, 100};
    HeadlessProgress progress;
    in.progress = &progress;
    std::string msg;
    // Cancelled in the first level: nothing to show, no page.
    progress.CancelAtCall(1);
    EXPECT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DCancelled);
    EXPECT_EQ(msg, web3dmsg::kCancelled);
    EXPECT_FALSE(fs::exists(Web() / "page.xhtml"));
    EXPECT_FALSE(fs::exists(Web() / "page_zun1.js"));

    // Cancelled in the second level: the page lists only the first.
    HeadlessProgress later;
    later.CancelAtCall(14);  // level 1 has 12 tile rows, of which 6 hold slices
    in.progress = &later;
    EXPECT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DCancelled);
    const std::string page = ReadAll(Web() / "page.xhtml");
    EXPECT_NE(page.find("value=\"zun1\""), std::string::npos);
    EXPECT_EQ(page.find("value=\"zun2\""), std::string::npos);
    EXPECT_FALSE(fs::exists(Web() / "page_zun2.js"));

    // A template without the script library is refused before anything is written, even when
    // the destination kept one from an earlier export: the message says what is missing and how
    // to get it.
    in.progress = nullptr;
    fs::remove(templ / "js" / "x3dom.js");
    fs::remove_all(Web());
    EXPECT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DRefused);
    EXPECT_NE(msg.find((templ / "js" / "x3dom.js").string()), std::string::npos) << msg;
    EXPECT_NE(msg.find("scripts/setup"), std::string::npos) << msg;
    EXPECT_FALSE(fs::exists(Web()));
    std::ofstream(templ / "js" / "x3dom.js") << "// library";
    fs::create_directories(Web());

    // The volume shrank after the check: refused, nothing read past it.
    in.volumeDims = {9, 180, 100};
    EXPECT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DRefused);
    EXPECT_EQ(msg, web3dmsg::kTooSmall);
    in.volumeDims = {200, 180, 100};

    // The template cannot be copied: a file stands where a folder must go.
    fs::remove_all(Web() / "css");
    std::ofstream(Web() / "css") << "x";
    EXPECT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DCopyFailed);
    EXPECT_EQ(msg.rfind(web3dmsg::kCopyError, 0), 0u);

    // A destination that cannot be created is a failure, not a success.
    fs::remove(Web() / "css");
    fs::create_directories(dir.path / "blocked");
    std::ofstream(dir.path / "blocked" / "Web3D") << "x";
    options.folder = (dir.path / "blocked").string();
    EXPECT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DWriteFailed);
    // A file given as the folder is refused before anything is made.
    std::ofstream(dir.path / "file") << "x";
    options.folder = (dir.path / "file").string();
    EXPECT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DRefused);
    EXPECT_EQ(msg, options.folder + " is not a folder.");
}

// The remote command sets the border and file name after the check: the export itself must
// refuse what would corrupt memory or leave the destination folder, and write nothing.
TEST_F(ExportFixture, HostileBordersAndNamesAreRefusedBeforeWriting) {
    std::string msg;
    const int widest = MaxWeb3DBorder(options.tilesX);
    EXPECT_EQ(widest, 16384 / (2 * 8));
    for (int border : {-1, -100, widest + 1, 1073741823, 2147483647, INT_MIN}) {
        Web3DOptions o = options;
        o.border = border;
        EXPECT_EQ(WriteWeb3DFiles(o, in, msg), kWeb3DRefused) << border;
        EXPECT_EQ(msg.rfind("Invalid border input.", 0), 0u) << msg;
        EXPECT_FALSE(fs::exists(Web())) << border;
    }
    for (const std::string name : {"../../x", "/tmp/x", "a/b", ".hidden", "", " "}) {
        Web3DOptions o = options;
        o.fileName = name;
        EXPECT_EQ(WriteWeb3DFiles(o, in, msg), kWeb3DRefused) << name;
        EXPECT_FALSE(fs::exists(Web())) << name;
    }
    EXPECT_FALSE(fs::exists(dir.path / "x.xhtml"));
    EXPECT_FALSE(fs::exists(dir.path / "x_zun1.js"));
    Web3DOptions o = options;
    o.opacityFactor = std::nanf("");
    EXPECT_EQ(WriteWeb3DFiles(o, in, msg), kWeb3DRefused);
    EXPECT_EQ(msg, web3dmsg::kBadOpacity);

    // The widest border allowed passes (its atlas, 16864 pixels square, is not worth writing
    // here); a plain one is written.
    o = options;
    o.border = widest;
    EXPECT_EQ(CheckWeb3DOptions(o), "");
    o.border = 3;
    ASSERT_EQ(WriteWeb3DFiles(o, in, msg), kWeb3DSuccess) << msg;
    EXPECT_TRUE(fs::exists(Web() / "page_zun1.js"));
}

TEST(Web3DAtlas, SizesNeverOverflowAndBadLevelsAllocateNothing) {
    EXPECT_EQ(Web3DAtlasSide(100, 2147483647, 8), (100 + 2LL * 2147483647) * 8);
    EXPECT_EQ(Web3DAtlasSide(100, -100, 8), -800);
    const std::vector<std::uint8_t> volume(std::size_t(60) * 60 * 20 * 4, 1);
    Web3DOptions l = Checked(60, 60, 20);
    for (int border : {-1, -100, 1073741823, 2147483647}) {
        l.border = border;
        EXPECT_TRUE(BuildAtlas(volume.data(), Dims{60, 60, 20}, l, 1, 1, 1).empty()) << border;
    }
    l.border = 8;
    EXPECT_EQ(BuildAtlas(volume.data(), Dims{60, 60, 20}, l, 1, 1, 1).size(),
              std::size_t(AtlasWidth(l)) * AtlasHeight(l) * 4);
    // A level whose tiles cannot hold its slices is refused instead of written past the end.
    l.tilesX = l.tilesY = 2;
    EXPECT_TRUE(BuildAtlas(volume.data(), Dims{60, 60, 20}, l, 1, 1, 1).empty());
    // The level fitting keeps its arithmetic in range for any border.
    l = Checked(60, 60, 20);
    l.border = 1073741823;
    int p = 0, q = 0;
    FitAtlasLevel(l, 1024, &p, &q);
    EXPECT_EQ(p, 1);
    EXPECT_EQ(q, 1);
}

TEST(Web3DDialogModelChecks, HugeBordersAreRefusedAndShownWithoutOverflow) {
    Web3DOptions o = Checked(100, 100, 100);
    o.title = "T";
    o.description = "D";
    o.fileName = "page";
    Web3DDialogModel model(o);
    EXPECT_EQ(model.MatrixTexts("2147483647")[0], std::to_string((100 + 2LL * 2147483647) * 12));
    EXPECT_EQ(model.MatrixTexts("99999999999")[0], "1200");  // unreadable: border 0
    Web3DDialogModel::Fields f = model.Fill();
    for (const char* border : {"1073741823", "2147483647", "4294967304", "683"}) {
        f.border = border;
        EXPECT_EQ(model.Export(f).rfind("Invalid border input.", 0), 0u) << border;
        EXPECT_EQ(o.border, 8);
    }
    f.border = "682";  // 16384 / (2 * 12)
    EXPECT_EQ(model.Export(f), "");
    EXPECT_EQ(o.border, 682);
}

TEST(Web3DPage, GeometryHelpers) {
    const auto d = Web3DVolumeDimensions(100, 100, 50, {1, 1, 2});
    EXPECT_NEAR(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 20 * std::tan(M_PI / 8), 1e-9);
    EXPECT_NEAR(d[0], d[2], 1e-9);
    const auto p = Web3DViewpointPosition({0, 0, 40}, 16);
    EXPECT_DOUBLE_EQ(p[2], 10);
    EXPECT_EQ(Web3DBaseName("x.XHTML"), "x");
    EXPECT_EQ(Web3DBaseName("x.html"), "x.html");
    EXPECT_EQ(HtmlAttributeEscape("a\r\nb\"c"), "a  b&#34;c");
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

// The dialog's opacity range holds for every export, whatever road the factor came by.
TEST(Web3DDialogModelChecks, OpacityOutsideTheDialogsRangeIsRefusedOnBothRoads) {
    Web3DOptions o = Checked(100, 100, 100);
    o.fileName = "page";
    for (float opacity : {-1.0f, 2.0001f, 2147483647.0f, 4294967295.0f, std::nanf(""), INFINITY}) {
        o.opacityFactor = opacity;
        EXPECT_EQ(CheckWeb3DOptions(o), web3dmsg::kBadOpacity) << opacity;
    }
    for (float opacity : {0.0f, 1.4f, 2.0f}) {
        o.opacityFactor = opacity;
        EXPECT_EQ(CheckWeb3DOptions(o), "") << opacity;
    }
    o.title = "T";
    o.description = "D";
    o.folder = "/tmp";
    Web3DDialogModel model(o);
    Web3DDialogModel::Fields f = model.Fill();
    for (const char* opacity : {"-1", "2147483647", "4294967295", "nan"}) {
        f.opacityFactor = opacity;
        EXPECT_EQ(model.Export(f), web3dmsg::kBadOpacity) << opacity;
    }
    f.opacityFactor = "2";
    EXPECT_EQ(model.Export(f), "");
    EXPECT_EQ(o.opacityFactor, 2.0f);
}

}  // namespace
}  // namespace zun
