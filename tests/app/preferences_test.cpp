// The preferences file: every load and save rule of the sections, and the file read back and
// written by Python's configparser, an independent reader of the same format.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/preferences.h"
#include "app/version.h"
#include "platform/inifile.h"

using namespace zun;

namespace {

struct IniFixture : ::testing::Test {
    std::filesystem::path dir;
    std::string path;
    IniFile ini;
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("zun_prefs_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "zun.ini").string();
        ini.SetPath(path);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string Read() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs a Python script with the file's path as its argument; returns its output.
    std::string Python(const std::string& script) const {
        const std::string py = (dir / "check.py").string(), out = (dir / "out.txt").string();
        std::ofstream(py) << script;
        const std::string cmd = std::string(ZUN_PYTHON) + " " + py + " " + path + " > " + out + " 2>&1";
        const int rc = std::system(cmd.c_str());
        std::ifstream in(out);
        std::stringstream s;
        s << in.rdbuf();
        EXPECT_EQ(rc, 0) << s.str();
        return s.str();
    }
};

}  // namespace

TEST_F(IniFixture, ProfileReadsFollowThePrivateProfileRules) {
    Write(
        "; a comment\n[display]\nMaxSize = 123 \nquoted=\"a b\"\nneg=-42xyz\nword=abc\n[Other]\nmaxSize=9\n");
    EXPECT_EQ(ini.GetProfileString("Display", "maxsize", "d"), "123");  // names ignore case
    EXPECT_EQ(ini.GetProfileString("Display", "quoted", ""), "a b");
    EXPECT_EQ(ini.GetProfileInt("Display", "neg", 7), -42);
    EXPECT_EQ(ini.GetProfileInt("Display", "word", 7), 0);     // present but no number
    EXPECT_EQ(ini.GetProfileInt("Display", "missing", 7), 7);  // missing: the default
    EXPECT_EQ(ini.GetProfileInt("Nowhere", "maxSize", 7), 7);
    EXPECT_EQ(ini.GetProfileInt("Display", "x", 5), 5);
    EXPECT_EQ(ParseProfileInt("99999999999"), 2147483647);
    EXPECT_EQ(ParseProfileInt("-99999999999"), -2147483647 - 1);

    // Writes replace in place, add to the right section, keep everything else.
    ASSERT_TRUE(ini.WriteProfileString("DISPLAY", "maxsize", "5"));
    ASSERT_TRUE(ini.WriteProfileString("Other", "new", "v"));
    ASSERT_TRUE(ini.WriteProfileInt("Third", "n", -3));
    EXPECT_EQ(Read(),
              "; a comment\n[display]\nmaxsize=5\nquoted=\"a "
              "b\"\nneg=-42xyz\nword=abc\n[Other]\nmaxSize=9\nnew=v\n\n"
              "[Third]\nn=-3\n");
    // A line break cannot smuggle in another key.
    ini.WriteProfileString("Third", "s", "a\nevil=1");
    EXPECT_FALSE(ini.HasKey("Third", "evil"));

    // A file that cannot be written leaves the old one.
    IniFile bad((dir / "no" / "such" / "zun.ini").string());
    EXPECT_FALSE(bad.WriteProfileString("A", "b", "c"));
}

TEST_F(IniFixture, MissingFileGivesTheInitialValues) {
    ZunPreferences p;
    p.LoadAll(ini);
    EXPECT_EQ(p.display.maxSize, 27000000u);
    EXPECT_EQ(p.display.animationSpeed, 100u);
    EXPECT_TRUE(p.memory.enabled);
    EXPECT_EQ(p.memory.remain, 5);
    EXPECT_TRUE(p.logging.enabled);
    EXPECT_TRUE(p.logging.clearOnStart);
    EXPECT_FALSE(p.logging.viewLog);
    EXPECT_TRUE(p.plugins.enabled);
    EXPECT_TRUE(p.plugins.searchList.empty());
    EXPECT_EQ(p.debug.level, 0);
    EXPECT_EQ(p.update.updatetime, 0u);
    EXPECT_EQ(p.dataDisplay.type, 0);
    EXPECT_EQ(p.dataDisplay.colour, 0x37C837u);
    EXPECT_EQ(p.dataDisplay.valueSpec.fromValue, 1);
    EXPECT_EQ(p.dataDisplay.valueSpec.toValue, 16383);
    EXPECT_EQ(p.dataDisplay.multiSpec.stopValues,
              (std::vector<std::uint16_t>{1, 3276, 6553, 9829, 13106, 16383}));
    EXPECT_EQ(p.cluster.defaultCluster, -1);
}

TEST_F(IniFixture, ClampsAndValueForms) {
    struct Case {
        const char* text;
        std::uint64_t maxSize;
        std::uint32_t speed;
        int remain, level;
        bool enabled;
    };
    const Case cases[] = {
        {"[Display]\nmaxSize=500\nanimationSpeed=5\n[Memory]\nremain=150\nenabled=TRUE\n[Debug]\nlevel=7\n",
         1000, 10, 100, 1, false},
        {"[Display]\nmaxSize=100000000000\nanimationSpeed=300\n[Memory]\nremain=-4\nenabled=1\n[Debug]"
         "\nlevel=-3\n",
         64000000000ULL, 200, 0, 0, false},
        {"[Display]\nmaxSize=lots\nanimationSpeed=-1\n[Memory]\nremain=50\nenabled=true\n", 27000000, 200, 50,
         0, true},
        {"[Display]\nmaxSize=1000\nanimationSpeed=200\n[Memory]\nremain=100\n", 1000, 200, 100, 0, true},
    };
    for (const Case& c : cases) {
        Write(c.text);
        ZunPreferences p;
        p.LoadAll(ini);
        EXPECT_EQ(p.display.maxSize, c.maxSize) << c.text;
        EXPECT_EQ(p.display.animationSpeed, c.speed) << c.text;
        EXPECT_EQ(p.memory.remain, c.remain) << c.text;
        EXPECT_EQ(p.debug.level, c.level) << c.text;
        EXPECT_EQ(p.memory.enabled, c.enabled) << c.text;
    }
    // Text that is no number keeps the value held before loading, not the initial one.
    Write("[Display]\nmaxSize=abc\n");
    ZunPreferences p;
    p.display.maxSize = 5000;
    p.display.Load(ini);
    EXPECT_EQ(p.display.maxSize, 5000u);
}

TEST_F(IniFixture, ListsCountGovernsAndMissingItemsTakeDefaults) {
    const std::string name = GetVersionString("InternalName");
    // Count 3 with only item 0: three items, the others empty; no search list: the defaults.
    Write("[Plugins]\n" + name + "_search.default.len=3\n" + name + "_search.default.0=/opt/a\n");
    ZunPreferences p;
    p.LoadAll(ini);
    EXPECT_EQ(p.plugins.defaultList, (std::vector<std::string>{"/opt/a", "", ""}));
    EXPECT_EQ(p.plugins.searchList, p.plugins.defaultList);
    // A count of 0 also means the defaults.
    Write("[Plugins]\n" + name + "_search.default.len=1\n" + name + "_search.default.0=/d\n" + name +
          "_search.len=0\n" + name + "_search.0=/ignored\n");
    p.LoadAll(ini);
    EXPECT_EQ(p.plugins.searchList, std::vector<std::string>{"/d"});
    // Saving writes the search list and never the default list.
    p.SaveAll(ini);
    EXPECT_EQ(ini.GetProfileString("Plugins", name + "_search.0", ""), "/d");
    EXPECT_EQ(ini.GetProfileInt("Plugins", name + "_search.len", -1), 1);
    EXPECT_EQ(ini.GetProfileInt("Plugins", name + "_search.default.len", -1), 1);

    // Two items over five leave items 2..4 in the file, ignored because the count governs.
    Write("[Plugins]\n" + name + "_search.len=5\n" + name + "_search.0=a\n" + name + "_search.1=b\n" + name +
          "_search.2=c\n" + name + "_search.3=d\n" + name + "_search.4=e\n");
    p.LoadAll(ini);
    ASSERT_EQ(p.plugins.searchList.size(), 5u);
    p.plugins.searchList = {"x", "y"};
    p.SaveAll(ini);
    EXPECT_EQ(ini.GetProfileString("Plugins", name + "_search.4", ""), "e");
    ZunPreferences back;
    back.LoadAll(ini);
    EXPECT_EQ(back.plugins.searchList, (std::vector<std::string>{"x", "y"}));

    // A damaged count does not make a huge list.
    Write("[Plugins]\n" + name + "_search.len=2000000000\n");
    p.LoadAll(ini);
    EXPECT_LE(p.plugins.searchList.size(), 4096u);
}

TEST_F(IniFixture, DataDisplaySpectrumIsSpreadFromTheEnabledStops) {
    Write(
        "[DataDisplay]\ntype=2\ncolour=255\nmultiSpec.enables.len=6\nmultiSpec.enables.0=0\n"
        "multiSpec.enables.1=0\nmultiSpec.enables.2=1\nmultiSpec.enables.3=0\nmultiSpec.enables.4=0\n"
        "multiSpec.enables.5=1\nmultiSpec.cols.len=6\nmultiSpec.cols.2=111\nmultiSpec.cols.5=222\n"
        "valueSpec.fromValue=70000\nvalueSpec.fromEnable=true\nbitSpec.opacities.len=2\n"
        "bitSpec.opacities.0=0.25\nbitSpec.opacities.1=x\n");
    ZunPreferences p;
    p.LoadAll(ini);
    EXPECT_EQ(p.dataDisplay.type, 2);
    EXPECT_EQ(p.dataDisplay.colour, 255u);
    EXPECT_EQ(p.dataDisplay.multiSpec.stopValues, (std::vector<std::uint16_t>{1, 16383}));
    EXPECT_EQ(p.dataDisplay.multiSpec.stopColours, (std::vector<std::uint32_t>{111, 222}));
    EXPECT_EQ(p.dataDisplay.valueSpec.fromValue, static_cast<std::uint16_t>(70000));  // stored into 16 bits
    EXPECT_EQ(p.dataDisplay.valueSpec.fromEnabled, 1);
    EXPECT_FLOAT_EQ(p.dataDisplay.bitSpec.opacities[0], 0.25f);
    EXPECT_FLOAT_EQ(p.dataDisplay.bitSpec.opacities[1], 0.0f);  // unreadable item: 0.0
}

TEST_F(IniFixture, SavedFileIsReadByConfigParserAndItsFileByUs) {
    ZunPreferences p;
    p.display.maxSize = 123456789012ULL;
    p.memory.enabled = false;
    p.plugins.searchList = {"/opt/zun plugins", "/home/u/p"};
    p.update.updatetime = 4000000000u;
    p.update.server1 = "https://example.invalid/zun/Software/zun.ver";
    p.dataDisplay.bitSpec.opacities[3] = 0.5f;
    p.SaveAll(ini);
    const std::string name = GetVersionString("InternalName");
    const std::string out = Python(R"(import configparser, sys
c = configparser.RawConfigParser()
c.read(sys.argv[1])
print(c['Display']['maxsize'], c['Memory']['enabled'], c['Memory']['remain'])
n = int(c['Plugins'][')" + name + R"(_search.len'])
print('|'.join(c['Plugins'][')" + name +
                                   R"(_search.%d' % i] for i in range(n)))
print(c['Update']['updatetime'], c['Update']['server1'])
print(c['DataDisplay']['bitspec.opacities.3'], c['DataDisplay']['multispec.enables.len'])
)");
    EXPECT_EQ(out,
              "123456789012 false 5\n/opt/zun plugins|/home/u/p\n4000000000 "
              "https://example.invalid/zun/Software/zun.ver\n0.500000 6\n");

    // configparser writes "key = value" with lower-case keys; we read that back.
    Python(R"(import configparser, sys
c = configparser.RawConfigParser()
c.optionxform = str
c['Display'] = {'maxSize': '400', 'animationSpeed': '150'}
c['Logging'] = {'enabled': 'false', 'viewLog': 'true'}
c['Debug'] = {'level': '1'}
c['Plugins'] = {')" +
           name + R"(_search.len': '2', ')" + name + R"(_search.0': '/a', ')" + name + R"(_search.1': '/b'}
c['Update'] = {'updatetime': '4000000000'}
with open(sys.argv[1], 'w') as f:
    c.write(f)
)");
    ZunPreferences q;
    q.LoadAll(ini);
    EXPECT_EQ(q.display.maxSize, 1000u);
    EXPECT_EQ(q.display.animationSpeed, 150u);
    EXPECT_FALSE(q.logging.enabled);
    EXPECT_TRUE(q.logging.viewLog);
    EXPECT_TRUE(q.logging.clearOnStart);
    EXPECT_EQ(q.debug.level, 1);
    EXPECT_EQ(q.plugins.searchList, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(q.update.updatetime, 2147483647u);  // read as a profile integer, as the check stores it
}

TEST_F(IniFixture, ClusterListLivesOnlyInMemoryAndCopiesAreDeep) {
    ZunPreferences p;
    p.cluster.clusters.push_back({"c1", "dns", "10.0.0.1", "/bin"});
    p.cluster.defaultCluster = 0;
    p.SaveAll(ini);
    EXPECT_EQ(Read().find("Cluster"), std::string::npos);
    ZunPreferences copy;
    copy = p;
    EXPECT_EQ(copy.cluster.clusters, p.cluster.clusters);
    copy.plugins.searchList.push_back("/z");
    EXPECT_TRUE(p.plugins.searchList.empty());
    p.cluster.Load(ini);
    EXPECT_TRUE(p.cluster.clusters.empty());
}
