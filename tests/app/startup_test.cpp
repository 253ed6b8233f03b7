// Start-up decisions without a window: the command line, the probes of a file to open, the
// recent-file list, and the rules of the frames and the message dialog.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/framerules.h"
#include "app/messagereport.h"
#include "app/startup.h"
#include "platform/inifile.h"

using namespace zun;

namespace {

struct Temp {
    std::filesystem::path dir;
    Temp() {
        dir = std::filesystem::temp_directory_path() / ("zun_startup_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    ~Temp() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const auto p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
};

StartupOptions Parse(std::vector<std::string> tokens) {
    tokens.insert(tokens.begin(), "/opt/zun--p1/bin/zun");
    return ParseCommandLine(tokens);
}

}  // namespace

TEST(CommandLine, RemoteModeNeedsHostAndPortGluedToTheirOptions) {
    auto o = Parse({"--h127.0.0.1", "--p5000", "--w4711"});
    EXPECT_TRUE(o.Remote());
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.port, "5000");
    EXPECT_EQ(o.window, 4711);
    EXPECT_TRUE(o.files.empty());

    EXPECT_FALSE(Parse({"--h127.0.0.1"}).Remote());
    // A value after a blank is not seen, and is not taken for a file either.
    o = Parse({"--h127.0.0.1", "--p", "5000"});
    EXPECT_FALSE(o.Remote());
    EXPECT_EQ(o.files, std::vector<std::string>{"5000"});
    // "--w" alone changes nothing; a window id that does not parse keeps the earlier one.
    o = Parse({"--w12", "--wabc"});
    EXPECT_FALSE(o.Remote());
    EXPECT_EQ(o.window, 12);
    // Later tokens win.
    EXPECT_EQ(Parse({"--p1", "--p2"}).port, "2");
}

TEST(CommandLine, PathsContainingOptionTextsStayPaths) {
    // The program path itself holds "--p1" (see Parse); a document path may hold "--h" and "--p".
    auto o = Parse({"/data/a--hx--p1.zun", "x--p5000"});
    EXPECT_FALSE(o.Remote());
    EXPECT_EQ(o.files, (std::vector<std::string>{"/data/a--hx--p1.zun", "x--p5000"}));
    EXPECT_TRUE(Parse({"--version"}).version);
}

TEST(OpenProbe, RoutesByTheFirstBytes) {
    Temp t;
    EXPECT_EQ(ProbeOpenFile(t.Write("a.txt", "TEXT 1\nGRID 1 1 1\n")), OpenKind::TextData);
    EXPECT_EQ(ProbeOpenFile(t.Write("b.dat", std::string("zun_file\0\1\0\0\0", 13))), OpenKind::BinaryData);
    EXPECT_EQ(ProbeOpenFile(t.Write("c.zun", "anything else")), OpenKind::Document);
    EXPECT_EQ(ProbeOpenFile(t.Write("d.txt", "TEX")), OpenKind::Document);  // too short for the probe
    EXPECT_EQ(ProbeOpenFile(t.Write("e", "")), OpenKind::Document);
    EXPECT_EQ(ProbeOpenFile((t.dir / "missing").string()), OpenKind::Document);
}

TEST(RecentFiles, FourNewestFirstWithoutDuplicatesKeptInTheProfile) {
    Temp t;
    IniFile ini((t.dir / "zun.ini").string());
    RecentFileList list;
    for (const char* p : {"/a", "/b", "/c", "/d", "/e"}) list.Add(p);
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/e", "/d", "/c", "/b"}));
    list.Add("/c");
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/c", "/e", "/d", "/b"}));
    list.Remove(1);
    list.Remove(7);  // outside the list: nothing
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/c", "/d", "/b"}));
    list.Save(ini);
    RecentFileList back;
    back.Load(ini);
    EXPECT_EQ(back.Paths(), list.Paths());
    EXPECT_EQ(ini.GetProfileString("Recent File List", "File1", ""), "/c");
    EXPECT_EQ(ini.GetProfileString("Recent File List", "File4", "x"), "");
}

TEST(StatusProgress, CreateMoveRemoveAndIgnoredZeros) {
    StatusProgressState s;
    s.Apply(2, 5);  // no bar yet: nothing
    EXPECT_FALSE(s.exists);
    EXPECT_TRUE(s.Apply(1, 100000));  // beyond 16 bits: kept whole
    EXPECT_EQ(s.range, 100000);
    s.Apply(2, 70000);
    EXPECT_EQ(s.position, 70000);
    s.Apply(2, 0);  // zero value: ignored
    EXPECT_EQ(s.position, 70000);
    s.Apply(3, 0);  // zero value: the bar stays
    EXPECT_TRUE(s.exists);
    EXPECT_TRUE(s.Apply(1, 10));  // a second create restarts the one bar
    EXPECT_EQ(s.position, 0);
    s.Apply(3, 1);
    EXPECT_FALSE(s.exists);
    EXPECT_TRUE(s.Apply(9, 5));  // other operations create
}

TEST(ChildGeometry, FifthForTheTreeAndASquareView) {
    ChildGeometry g = InitialChildGeometry(1000, 500, 10, 30, 0, 0);
    EXPECT_EQ(g.treeWidth, 200);
    EXPECT_EQ(g.viewSide, 700);
    EXPECT_EQ(g.frameWidth, 910);
    EXPECT_EQ(g.frameHeight, 730);
    // In an area too small for that, the window fits the area.
    g = InitialChildGeometry(1000, 500, 10, 30, 1200, 600);
    EXPECT_EQ(g.viewSide, 570);
    EXPECT_LE(g.frameHeight, 600);
    EXPECT_LE(g.frameWidth, 1200);
    EXPECT_EQ(g.treeWidth, 114);

    // Names wider than the fifth widen the column, as far as the area leaves room.
    g = InitialChildGeometry(1000, 500, 10, 30, 0, 0, 320);
    EXPECT_EQ(g.treeWidth, 320);
    EXPECT_EQ(g.frameWidth, 1030);
    g = InitialChildGeometry(1000, 500, 10, 30, 1200, 600, 900);
    EXPECT_EQ(g.viewSide, 570);
    EXPECT_EQ(g.frameWidth, 1200);
    g = InitialChildGeometry(1000, 500, 10, 30, 1200, 600, 50);  // narrower: the fifth rule
    EXPECT_EQ(g.treeWidth, 114);
}

TEST(ChildGeometry, PlacementKeepsTheWholeWindowInTheArea) {
    // A second window proposed near the right edge moves back instead of shrinking.
    const ChildPosition p = FitChildPosition(900, 40, 800, 600, 1200, 700);
    EXPECT_EQ(p.x, 400);
    EXPECT_EQ(p.y, 40);
    EXPECT_EQ(FitChildPosition(900, 300, 800, 600, 1200, 700).y, 100);
    EXPECT_EQ(FitChildPosition(50, 50, 2000, 900, 1200, 700).x, 0);

    // Cascade keeps a usable size, steps by the title bar and starts over inside the area.
    ChildRect r = CascadeChildRect(0, 3, 1200, 700, 30);
    EXPECT_EQ(r.width, 1140);
    EXPECT_EQ(r.height, 640);
    r = CascadeChildRect(2, 3, 1200, 700, 30);
    EXPECT_EQ(r.x, 60);
    EXPECT_EQ(r.x + r.width, 1200);
    for (int i = 0; i < 40; ++i) {
        r = CascadeChildRect(i, 40, 1200, 700, 30);
        EXPECT_GE(r.width, 720);
        EXPECT_GE(r.height, 420);
        EXPECT_LE(r.x + r.width, 1200) << i;
        EXPECT_LE(r.y + r.height, 700) << i;
    }
}

TEST(StatusPaneFit, GrowsForWideTextShrinksOnlyPastForty) {
    EXPECT_EQ(FitStatusPane(100, 130), 130);  // 30 narrower: unchanged
    EXPECT_EQ(FitStatusPane(80, 130), 80);    // 50 narrower: shrinks
    EXPECT_EQ(FitStatusPane(150, 130), 150);  // wider: grows
    EXPECT_EQ(FitStatusPane(0, 40), 40);      // a pane under 41 never shrinks
}

TEST(TreeColumnFit, TheWindowGrowsWithinTheAreaAMaximisedOneGivesUpToHalf) {
    // 100 short of 300: the window grows by 100 where there is room...
    TreeColumnFit f = WidenTreeColumn(200, 500, 300, 50, 720, 1200, false);
    EXPECT_EQ(f.treeWidth, 300);
    EXPECT_EQ(f.viewWidth, 500);
    EXPECT_EQ(f.frameWidth, 820);
    EXPECT_EQ(f.frameX, 50);
    // ... moving left where it would leave the area, and only as far as the area reaches.
    f = WidenTreeColumn(200, 500, 300, 450, 720, 1200, false);
    EXPECT_EQ(f.frameX, 380);
    f = WidenTreeColumn(200, 500, 900, 0, 720, 1000, false);
    EXPECT_EQ(f.treeWidth, 480);
    EXPECT_EQ(f.frameWidth, 1000);
    EXPECT_EQ(f.frameX, 0);
    // Maximised: the 3-D pane gives way, down to half of the two.
    f = WidenTreeColumn(200, 800, 300, 0, 1010, 1010, true);
    EXPECT_EQ(f.treeWidth, 300);
    EXPECT_EQ(f.viewWidth, 700);
    EXPECT_EQ(f.frameWidth, 1010);
    f = WidenTreeColumn(200, 800, 900, 0, 1010, 1010, true);
    EXPECT_EQ(f.treeWidth, 500);
    EXPECT_EQ(f.viewWidth, 500);
    // Names that fit change nothing.
    f = WidenTreeColumn(200, 500, 150, 10, 720, 1200, false);
    EXPECT_EQ(f.treeWidth, 200);
    EXPECT_EQ(f.frameWidth, 720);
}

TEST(MessageReport, RowsButtonsAndCaptions) {
    EXPECT_EQ(SplitReport("a\tb\n\nc\n"), (std::vector<std::string>{"a   b", "", "c"}));
    EXPECT_TRUE(SplitReport("").empty());
    EXPECT_EQ(SplitReport("x"), std::vector<std::string>{"x"});

    MessageButtons b = MessageButtonsFor(0x31);
    EXPECT_EQ(MessageIconKind(0x31), 0x30);
    EXPECT_EQ(b.middle, kIdOk);
    EXPECT_EQ(b.right, kIdCancel);
    EXPECT_EQ(b.defaultButton, kIdCancel);
    EXPECT_STREQ(b.caption, "Note");
    b = MessageButtonsFor(0x37);
    EXPECT_EQ((std::vector<int>{b.left, b.middle, b.right}),
              (std::vector<int>{kIdContinue, kIdSkip, kIdCancel}));
    EXPECT_STREQ(b.caption, "Question");
    b = MessageButtonsFor(0x05);
    EXPECT_EQ(MessageIconKind(0x05), 0);
    EXPECT_EQ((std::vector<int>{b.left, b.middle, b.right}), (std::vector<int>{0, kIdRetry, kIdCancel}));
    b = MessageButtonsFor(0x06);
    EXPECT_EQ((std::vector<int>{b.left, b.middle, b.right}),
              (std::vector<int>{kIdCancel, kIdTryAgain, kIdContinue}));
    EXPECT_EQ(MessageIconKind(0x70), 0);
    EXPECT_STREQ(MessageButtonText(kIdTryAgain), "Try Again");
}
