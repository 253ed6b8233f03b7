#include "tree/sliceexport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "platform/mainframe.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "tree/composite.h"
#include "tree/treefixture.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRed = 0x0000FF, kBlue = 0xFF0000;

// One decoded file: its shape, sample type, PNG mode or TIFF photometric, and samples.
struct Decoded {
    int height = 0, width = 0, samples = 0;
    std::string dtype, kind;
    std::vector<std::uint8_t> bytes;
    int At(int row, int col, int c = 0) const {
        const std::size_t i = (static_cast<std::size_t>(row) * width + col) * samples + c;
        if (dtype == "uint16") {
            std::uint16_t v;
            std::memcpy(&v, &bytes[i * 2], 2);
            return v;
        }
        return bytes[i];
    }
};

struct Folder {
    std::map<std::string, Decoded> files;
    std::vector<std::string> others;  // anything that is not a finished image
};

class SliceExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(ZUN_TEST_BINARY_DIR) / ("tmp_sliceexport_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
        fs::create_directories(dir / "raw");
    }
    void TearDown() override { fs::remove_all(dir); }

    // A sample with the given channels, its tree, every item hidden.
    void Make(SampleSpec spec) {
        sample = MakeSample(spec);
        tree = std::make_unique<DisplayTree>();
        tree->Build(*sample, "sample.zun");
        for (TreeNode* n = tree->Root(); n; n = DisplayTree::NextInPreOrder(n))
            n->spec.shown.displayItems = 0;
    }
    imtype* Words(const std::string& channel) { return sample->FindChan(channel)->Data(); }
    // Every slice of the channel shows Data in one colour with a linear ramp.
    void Show(const std::string& channel, std::uint32_t colour) {
        for (auto& s : tree->FindChannel(channel)->children) {
            DispSpec::Displayed& d = s->spec.shown;
            d.displayItems = 1;
            d.colourKind = 0;
            d.displayColours = {colour, 0, 0};
            d.opacity = {0, 1, 0, 1};
            d.includeFlags = 16;
            d.maskState = 0;
        }
    }
    SliceExportJob Job(int scope, int plane, int format) {
        SliceExportJob job;
        job.tree = tree.get();
        job.sample = sample.get();
        job.title = "sample.zun";
        job.folder = (dir / "out").string();
        job.scope = scope;
        job.plane = plane;
        job.format = format;
        return job;
    }
    SliceExportServices Services() {
        SliceExportServices s;
        s.prompt = &prompt;
        s.progress = &progress;
        s.threads = 3;
        return s;
    }
    Folder Read() {
        const std::string cmd = std::string(ZUN_PYTHON) + " '" + ZUN_TEST_DIR + "/read_images.py' '" +
                                (dir / "out").string() + "' '" + (dir / "raw").string() + "'";
        std::string text;
        if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
            char buf[4096];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
            EXPECT_EQ(::pclose(p), 0) << text;
        }
        Folder folder;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("other=", 0) == 0) {
                folder.others.push_back(line.substr(6));
                continue;
            }
            std::istringstream f(line.substr(5));
            std::string name;
            Decoded d;
            f >> name >> d.height >> d.width >> d.samples >> d.dtype >> d.kind;
            std::ifstream raw(dir / "raw" / (name + ".raw"), std::ios::binary);
            d.bytes.assign(std::istreambuf_iterator<char>(raw), {});
            folder.files[name] = d;
        }
        return folder;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& r : prompt.Requests()) t.push_back(r.text);
        return t;
    }

    fs::path dir;
    std::unique_ptr<ZunImage> sample;
    std::unique_ptr<DisplayTree> tree;
    HeadlessPrompt prompt;
    HeadlessProgress progress;
};

TEST(SliceExportNames, DigitRuleAndFileNames) {
    EXPECT_EQ(SliceNumberDigits(0), 1);
    EXPECT_EQ(SliceNumberDigits(1), 1);
    EXPECT_EQ(SliceNumberDigits(10), 1);
    EXPECT_EQ(SliceNumberDigits(11), 2);
    EXPECT_EQ(SliceNumberDigits(100), 2);
    EXPECT_EQ(SliceNumberDigits(101), 3);
    EXPECT_EQ(SliceNumberDigits(1001), 4);
    EXPECT_EQ(SliceFileName("/f", "sample.zun", "Iron", 16, kPlaneXY, kImageTiff, 7, 100),
              "/f/sample_Iron_mono16_XY_07.tif");
    EXPECT_EQ(SliceFileName("/f", "sample.zun", "", 0, kPlaneXY, kImagePng, 7, 100),
              "/f/sample_colour_XY_07.png");
    EXPECT_EQ(SliceFileName("/f", "s", "c", 8, kPlaneZX, kImageTiff, 0, 1), "/f/s_c_mono8_ZX_0.tif");
    EXPECT_EQ(SliceFileName("/f", "s", "", 0, kPlaneYZ, kImageTiff, 3, 11), "/f/s_colour_YZ_03.tif");
    // Names cannot lead out of the folder nor carry control characters.
    EXPECT_EQ(SliceFileName("/f", "../x.zun", "a/b\\c\n", 8, kPlaneXY, kImageTiff, 1, 2),
              "/f/.._x_a_b_c__mono8_XY_1.tif");
    EXPECT_EQ(GetSliceGeometry(4, 3, 5, kPlaneXY).count, 5);
    EXPECT_EQ(GetSliceGeometry(4, 3, 5, kPlaneYZ).width, 3);
    EXPECT_EQ(GetSliceGeometry(4, 3, 5, kPlaneZX).height, 4);
}

TEST_F(SliceExportTest, GreyFilesNamedAndScaledInEveryPlane) {
    Make({4, 3, 11, {{0, "Iron"}}});
    imtype* w = Words("Iron");
    for (int i = 0; i < 4 * 3 * 11; ++i) w[i] = static_cast<imtype>((i * 151) % 16384);
    w[0] = 16383 | 0xC000;  // both flag bits set
    w[1] = 1;
    w[2] = 0;
    for (int bits : {8, 16}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        for (int plane : {kPlaneXY, kPlaneYZ, kPlaneZX}) {
            const SliceExportResult r =
                ExportSliceImagesData(Job(kExportDocument, plane, kImageTiff), bits, Services());
            EXPECT_TRUE(r.failures.Empty());
            EXPECT_FALSE(r.asked);
        }
        const Folder f = Read();
        EXPECT_TRUE(f.others.empty());
        // Void and Iron, each 11 XY + 4 YZ + 3 ZX images.
        EXPECT_EQ(f.files.size(), 2u * (11 + 4 + 3));
        const std::string mono = "sample_Iron_mono" + std::to_string(bits);
        // Eleven XY slices take two digits, four YZ and three ZX one.
        ASSERT_TRUE(f.files.count(mono + "_XY_00.tif"));
        ASSERT_TRUE(f.files.count(mono + "_XY_10.tif"));
        ASSERT_TRUE(f.files.count(mono + "_YZ_3.tif"));
        ASSERT_TRUE(f.files.count(mono + "_ZX_2.tif"));
        auto grey = [bits](int word) {
            const int v = word & 0x3FFF;
            return bits == 8 ? std::min(255, static_cast<int>(v * 255.0 / 16383 + 0.5))
                             : std::min(65535, static_cast<int>(v * 65535.0 / 16383 + 0.5));
        };
        const Decoded& xy = f.files.at(mono + "_XY_00.tif");
        EXPECT_EQ(xy.dtype, bits == 8 ? "uint8" : "uint16");
        EXPECT_EQ(xy.kind, "1");  // min-is-black
        EXPECT_EQ(xy.At(0, 0), bits == 8 ? 255 : 65535);
        EXPECT_EQ(xy.At(0, 1), bits == 8 ? 0 : 4);
        EXPECT_EQ(xy.At(0, 2), 0);
        auto voxel = [&](int x, int y, int z) { return w[(z * 3 + y) * 4 + x]; };
        for (int z = 0; z < 11; ++z) {
            char n[8];
            std::snprintf(n, sizeof n, "%02d", z);
            const Decoded& d = f.files.at(mono + "_XY_" + n + ".tif");
            ASSERT_EQ(d.height, 3);
            ASSERT_EQ(d.width, 4);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x) EXPECT_EQ(d.At(y, x), grey(voxel(x, y, z)));
        }
        // YZ: column y, row z at x = s. ZX: column z, row x at y = s.
        for (int s = 0; s < 4; ++s) {
            const Decoded& d = f.files.at(mono + "_YZ_" + std::to_string(s) + ".tif");
            ASSERT_EQ(d.height, 11);
            ASSERT_EQ(d.width, 3);
            for (int z = 0; z < 11; ++z)
                for (int y = 0; y < 3; ++y) EXPECT_EQ(d.At(z, y), grey(voxel(s, y, z)));
        }
        for (int s = 0; s < 3; ++s) {
            const Decoded& d = f.files.at(mono + "_ZX_" + std::to_string(s) + ".tif");
            ASSERT_EQ(d.height, 4);
            ASSERT_EQ(d.width, 11);
            for (int x = 0; x < 4; ++x)
                for (int z = 0; z < 11; ++z) EXPECT_EQ(d.At(x, z), grey(voxel(x, s, z)));
        }
    }
    EXPECT_TRUE(prompt.Requests().empty());
}

TEST_F(SliceExportTest, SingleSliceAndTenSlicesTakeOneDigit) {
    Make({2, 2, 1, {}});
    ExportSliceImagesData(Job(kExportDocument, kPlaneXY, kImageTiff), 8, Services());
    EXPECT_TRUE(fs::exists(dir / "out" / "sample_Void_mono8_XY_0.tif"));
    Make({2, 2, 10, {}});
    ExportSliceImagesData(Job(kExportDocument, kPlaneXY, kImageTiff), 8, Services());
    EXPECT_TRUE(fs::exists(dir / "out" / "sample_Void_mono8_XY_9.tif"));
}

TEST_F(SliceExportTest, ColourPngKeepsAlphaAndTiffShowsTheBackground) {
    Make({3, 2, 2, {{0, "Iron"}}});
    Show("Iron", kRed);
    imtype* w = Words("Iron");
    w[0] = 16383;
    w[1] = 0;
    w[2] = 8192;
    w[3] = 16383 | 0x8000;
    const std::uint32_t bg = kBlue;
    ExportSliceImagesColour(Job(kExportDocument, kPlaneXY, kImagePng), bg, Services());
    ExportSliceImagesColour(Job(kExportDocument, kPlaneXY, kImageTiff), bg, Services());
    const Folder f = Read();
    ASSERT_EQ(f.files.size(), 4u);
    const Decoded& png = f.files.at("sample_colour_XY_0.png");
    const Decoded& tif = f.files.at("sample_colour_XY_0.tif");
    EXPECT_EQ(png.kind, "RGBA");
    EXPECT_EQ(png.samples, 4);
    EXPECT_EQ(tif.kind, "2");  // RGB
    EXPECT_EQ(tif.samples, 3);
    auto px = [](const Decoded& d, int row, int col) {
        std::vector<int> v;
        for (int c = 0; c < d.samples; ++c) v.push_back(d.At(row, col, c));
        return v;
    };
    EXPECT_EQ(px(png, 0, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(px(png, 0, 1), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(px(tif, 0, 0), (std::vector<int>{255, 0, 0}));
    // Nothing displayed at the voxel: the view's background shows unchanged.
    EXPECT_EQ(px(tif, 0, 1), (std::vector<int>{0, 0, 255}));
    // Every pixel of both files is the composite of its voxel.
    SliceLayers layers;
    CollectSliceLayers(*tree, *sample, 0, layers);
    for (int pass = 0; pass < 2; ++pass) {
        layers.hasBackground = pass == 1;
        layers.background = bg;
        const Decoded& d = pass == 0 ? png : tif;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                std::uint8_t rgba[4];
                CompositeAt(layers, static_cast<std::size_t>(y * 3 + x), rgba);
                for (int c = 0; c < d.samples; ++c)
                    EXPECT_EQ(d.At(y, x, c), rgba[c]) << x << "," << y << "," << c;
            }
    }
}

TEST_F(SliceExportTest, SliceScopeWritesTheSelectedSlicesAndBlanksTheOthers) {
    Make({3, 2, 5, {{0, "Iron"}}});
    imtype* iron = Words("Iron");
    imtype* voidw = Words("Void");
    for (int i = 0; i < 30; ++i) {
        iron[i] = 16383;
        voidw[i] = 8000;
    }
    TreeNode* ironItem = tree->FindChannel("Iron");
    TreeNode* voidItem = tree->FindChannel("Void");
    ironItem->Child(1)->selected = true;
    ironItem->Child(3)->selected = true;
    voidItem->Child(4)->selected = true;
    auto r = ExportSliceImagesData(Job(kExportSelectedSlices, kPlaneXY, kImageTiff), 8, Services());
    EXPECT_EQ(r.written.size(), 3u);
    Folder f = Read();
    EXPECT_EQ(f.files.size(), 3u);
    EXPECT_TRUE(f.files.count("sample_Iron_mono8_XY_1.tif"));
    EXPECT_TRUE(f.files.count("sample_Iron_mono8_XY_3.tif"));
    EXPECT_TRUE(f.files.count("sample_Void_mono8_XY_4.tif"));

    // YZ: every x is written; rows of unselected z are black, and the second channel's images do
    // not keep rows of the first channel's.
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    r = ExportSliceImagesData(Job(kExportSelectedSlices, kPlaneYZ, kImageTiff), 8, Services());
    EXPECT_EQ(r.written.size(), 6u);
    f = Read();
    const Decoded& iyz = f.files.at("sample_Iron_mono8_YZ_0.tif");
    const Decoded& vyz = f.files.at("sample_Void_mono8_YZ_0.tif");
    for (int z = 0; z < 5; ++z)
        for (int y = 0; y < 2; ++y) {
            EXPECT_EQ(iyz.At(z, y), (z == 1 || z == 3) ? 255 : 0) << z;
            EXPECT_EQ(vyz.At(z, y), z == 4 ? static_cast<int>(8000 * 255.0 / 16383 + 0.5) : 0) << z;
        }

    // Colour in slice scope: an unselected slice takes no part even when it is displayed.
    Show("Iron", kRed);
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    r = ExportSliceImagesColour(Job(kExportSelectedSlices, kPlaneXY, kImagePng), 0, Services());
    f = Read();
    EXPECT_EQ(f.files.size(), 2u);
    EXPECT_TRUE(f.files.count("sample_colour_XY_1.png"));
    EXPECT_TRUE(f.files.count("sample_colour_XY_3.png"));
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    r = ExportSliceImagesColour(Job(kExportSelectedSlices, kPlaneZX, kImagePng), 0, Services());
    f = Read();
    ASSERT_EQ(f.files.size(), 2u);
    const Decoded& zx = f.files.at("sample_colour_ZX_1.png");
    for (int x = 0; x < 3; ++x)
        for (int z = 0; z < 5; ++z) EXPECT_EQ(zx.At(x, z, 3), (z == 1 || z == 3) ? 255 : 0) << z;
}

TEST_F(SliceExportTest, ChannelScopeTakesTheSelectedChannels) {
    Make({2, 2, 2, {{0, "Iron"}, {1, "ct_1"}}});
    tree->FindChannel("ct_1")->selected = true;
    auto r = ExportSliceImagesData(Job(kExportSelectedChannels, kPlaneXY, kImageTiff), 16, Services());
    ASSERT_EQ(r.written.size(), 2u);
    EXPECT_EQ(fs::path(r.written[0]).filename(), "sample_ct_1_mono16_XY_0.tif");
}

TEST_F(SliceExportTest, ManyFilesAreAskedForFirst) {
    Make({499, 1, 1, {}});
    auto r = ExportSliceImagesData(Job(kExportDocument, kPlaneYZ, kImageTiff), 8, Services());
    EXPECT_FALSE(r.asked);
    EXPECT_EQ(r.written.size(), 499u);
    EXPECT_TRUE(fs::exists(dir / "out" / "sample_Void_mono8_YZ_498.tif"));

    Make({500, 1, 1, {}});
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    prompt.QueueAnswer(kPromptCancel);
    r = ExportSliceImagesData(Job(kExportDocument, kPlaneYZ, kImageTiff), 8, Services());
    EXPECT_TRUE(r.asked);
    EXPECT_TRUE(r.cancelled);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, "Up to 500 files will be written - proceed?");
    EXPECT_EQ(prompt.Requests()[0].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Question);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    // OK goes on and writes them all, with three digits.
    r = ExportSliceImagesColour(Job(kExportDocument, kPlaneYZ, kImageTiff), 0, Services());
    EXPECT_TRUE(r.asked);
    // Nothing is displayed: the colour run writes nothing and says so.
    EXPECT_TRUE(r.written.empty());
    EXPECT_EQ(Texts().back(), "Could not export : No visible slice found.");
    r = ExportSliceImagesData(Job(kExportDocument, kPlaneYZ, kImageTiff), 8, Services());
    EXPECT_EQ(r.written.size(), 500u);
    EXPECT_TRUE(fs::exists(dir / "out" / "sample_Void_mono8_YZ_499.tif"));
    EXPECT_TRUE(fs::exists(dir / "out" / "sample_Void_mono8_YZ_007.tif"));
}

TEST_F(SliceExportTest, ReportsAndFailuresHalfWay) {
    // An empty sample.
    Make({0, 0, 0, {}});
    auto r = ExportSliceImagesData(Job(kExportDocument, kPlaneXY, kImageTiff), 8, Services());
    EXPECT_TRUE(r.refused);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Image too small to export."}));
    EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Error);
    prompt.Clear();

    // Every file fails: the folder is missing.
    Make({2, 2, 3, {}});
    SliceExportJob job = Job(kExportDocument, kPlaneXY, kImageTiff);
    job.folder = (dir / "missing").string();
    r = ExportSliceImagesData(job, 8, Services());
    EXPECT_EQ(r.failures.Count(), 3u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Could not export any files"}));
    prompt.Clear();

    // One name is taken by a folder: that file fails, the run goes on, the report names it, and no
    // temporary or partial file is left under any name.
    const fs::path blocker = dir / "out" / "sample_colour_XY_1.png";
    fs::create_directories(blocker / "inner");
    Show("Void", kRed);
    r = ExportSliceImagesColour(Job(kExportDocument, kPlaneXY, kImagePng), 0, Services());
    EXPECT_EQ(r.written.size(), 2u);
    ASSERT_EQ(r.failures.Count(), 1u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Could not export " + blocker.string()}));
    fs::remove_all(blocker);
    Folder f = Read();
    EXPECT_TRUE(f.others.empty());
    EXPECT_EQ(f.files.size(), 2u);
    prompt.Clear();

    // Grey PNG files are not offered: each is reported, nothing is written.
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    r = ExportSliceImagesData(Job(kExportDocument, kPlaneXY, kImagePng), 8, Services());
    EXPECT_TRUE(r.written.empty());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Could not export any files"}));
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// Every file of every channel fails: the report says so rather than listing one channel's worth
// as the whole, and the result keeps the names it shows and the count, not every path.
TEST_F(SliceExportTest, EveryFileOfEveryChannelFailing) {
    Make({2, 2, 30});
    const std::size_t files = static_cast<std::size_t>(sample->GetChanCount()) * 30;
    ASSERT_GT(files, 30u);
    for (int format : {kImagePng, kImageTiff}) {
        SCOPED_TRACE(format);
        prompt.Clear();
        SliceExportJob job = Job(kExportDocument, kPlaneXY, format);
        job.folder = (dir / "missing").string();
        const SliceExportResult r = ExportSliceImagesData(job, 16, Services());
        EXPECT_TRUE(r.written.empty());
        EXPECT_EQ(r.failures.Count(), files);
        ASSERT_EQ(r.failures.Listed().size(), kListedNames);
        EXPECT_EQ(fs::path(r.failures.Listed()[0]).filename(),
                  format == kImagePng ? "sample_Void_mono16_XY_00.png" : "sample_Void_mono16_XY_00.tif");
        EXPECT_EQ(r.message, "Could not export any files");
        EXPECT_EQ(Texts(), (std::vector<std::string>{"Could not export any files"}));
    }
}

TEST_F(SliceExportTest, CancelStopsBetweenFilesAndProgressReachesTheStatusBar) {
    Make({3, 3, 6, {}});
    Show("Void", kRed);
    std::vector<FrameMessage> messages;
    QueuedMainFrameChannel frame([&](const FrameMessage& m) { messages.push_back(m); });
    SliceExportServices services = Services();
    services.frame = &frame;
    services.document = this;
    progress.CancelAtCall(2);
    auto r = ExportSliceImagesColour(Job(kExportDocument, kPlaneXY, kImageTiff), 0, services);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.written.size(), 2u);
    const Folder f = Read();
    EXPECT_EQ(f.files.size(), 2u);
    EXPECT_TRUE(f.others.empty());
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].value, 1);
    EXPECT_EQ(messages[0].value2, 6);
    EXPECT_EQ(messages[1].value, 2);
    EXPECT_EQ(messages[2].value2, 2);
    EXPECT_EQ(messages[3].value, 3);
    EXPECT_EQ(messages[3].document, this);
}

}  // namespace
}  // namespace zun
