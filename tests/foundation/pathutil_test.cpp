#include "foundation/pathutil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zun {
namespace {

TEST(PathHelpers, Splitting) {
    EXPECT_EQ(GetPathFolder("C:\\data\\scan.tif"), "C:\\data");
    EXPECT_EQ(GetPathFolder("/home/u/scan.tif"), "/home/u");
    EXPECT_EQ(GetPathFolder("a/b\\c/d"), "a/b");  // '\' is looked for first
    EXPECT_EQ(GetPathFolder("scan.tif"), "");
    EXPECT_EQ(GetPathFileName("scan.tif"), "scan.tif");
    EXPECT_EQ(GetPathFileName("/x/y.z"), "y.z");
    EXPECT_EQ(GetPathFileName("dir/"), "");
    EXPECT_EQ(GetFileExtension("C:\\data.old\\scan"), "old\\scan");
    EXPECT_EQ(GetFileExtension("noext"), "");
    EXPECT_EQ(StripFileExtension("a.b.c"), "a.b");
    EXPECT_EQ(StripFileExtension("abc"), "abc");
    EXPECT_EQ(GetPathFileTitle("C:\\x\\a.b.c"), "a.b");
    EXPECT_EQ(GetPathFileTitle("/x/plain"), "plain");
    EXPECT_EQ(GetPathDrive("C:\\data", false), "C:\\");
    EXPECT_EQ(GetPathDrive("data", false), "");
    EXPECT_EQ(GetPathDrive("data", true), "/");
}

TEST(PathHelpers, HtmlEscapeWorksPerCodePoint) {
    EXPECT_EQ(HtmlEscape("a<b"), "a&#60;b");
    EXPECT_EQ(HtmlEscape("\r\n"), "<br/>\n");
    EXPECT_EQ(HtmlEscape(""), "");
    EXPECT_EQ(HtmlEscape("x & y > z"), "x &#38; y &#62; z");
    EXPECT_EQ(HtmlEscape("say \"hi\" 'x'"), "say &#34;hi&#34; &#39;x&#39;");
    EXPECT_EQ(HtmlEscape("\x7F~"), "&#127;~");
    EXPECT_EQ(HtmlEscape("\xCE\xBC"), "&#956;");             // μ: one entity, not two
    EXPECT_EQ(HtmlEscape("\xF0\x9F\x98\x80"), "&#128512;");  // beyond 16 bits: no surrogate halves
    EXPECT_EQ(HtmlEscape("a\xFF"
                         "b"),
              "a&#65533;b");                                // not UTF-8
    EXPECT_EQ(HtmlEscape("\xE2\x82"), "&#65533;&#65533;");  // cut short
    EXPECT_EQ(HtmlEscape("\xC0\x80"), "&#65533;&#65533;");  // overlong
}

TEST(PathHelpers, MultiSelectList) {
    const char buf[] = "C:\\d\0b.tif\0a.tif\0\0";
    std::string folder;
    std::vector<std::string> names = {"old"};
    EXPECT_EQ(SplitMultiSelectFileList(buf, sizeof buf, &folder, &names), 2);
    EXPECT_EQ(folder, "C:\\d");
    EXPECT_EQ(names, (std::vector<std::string>{"a.tif", "b.tif"}));
    const char one[] = "/x/y.tif\0\0";
    EXPECT_EQ(SplitMultiSelectFileList(one, sizeof one, &folder, &names), 1);
    EXPECT_EQ(folder, "/x/y.tif");
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(SplitMultiSelectFileList("\0", 2, &folder, &names), 0);
    // A buffer without its final terminator is not read past its end.
    const char cut[3] = {'a', '\0', 'b'};
    EXPECT_EQ(SplitMultiSelectFileList(cut, sizeof cut, &folder, &names), 1);
    EXPECT_EQ(names, (std::vector<std::string>{"b"}));
}

TEST(PathHelpers, TextTokens) {
    std::istringstream in("# head line\n  3.5 \"quoted word\" abc -5 .25\n\xE9.x");
    double n = 0;
    std::string w;
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenComment);
    EXPECT_EQ(w, " head line");
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenEndOfLine);
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenNumber);
    EXPECT_EQ(n, 3.5);
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenWord);
    EXPECT_EQ(w, "quoted");  // a word runs to the next white space
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenWord);
    EXPECT_EQ(w, "word");
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenWord);
    EXPECT_EQ(w, "abc");
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenOther);  // '-' starts no number
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenNumber);
    EXPECT_EQ(n, 5.0);
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenNumber);
    EXPECT_EQ(n, 0.25);
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenEndOfLine);
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenOther);   // a byte above 0x7F
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenNumber);  // "." that is no number moves on
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenWord);
    EXPECT_EQ(w, "x");
    EXPECT_EQ(ReadTextToken(in, &n, &w), kTokenEndOfStream);
    std::istringstream q("\"abc\"");
    EXPECT_EQ(ReadTextToken(q, &n, &w), kTokenWord);
    EXPECT_EQ(w, "abc");
    std::istringstream c("# to the end");
    EXPECT_EQ(ReadTextToken(c, &n, &w), kTokenComment);
    EXPECT_EQ(ReadTextToken(c, &n, &w), kTokenEndOfStream);
}

TEST(PathHelpers, CopyDirectoryTree) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(ZUN_TEST_BINARY_DIR) / ("tmp_copy_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "src" / "sub" / "deep");
    fs::create_directories(root / "src" / ".hidden");
    auto write = [](const fs::path& p, const std::string& s) { std::ofstream(p) << s; };
    write(root / "src" / "a.txt", "A");
    write(root / "src" / "sub" / "b.txt", "B");
    write(root / "src" / "sub" / "deep" / "c.txt", "C");
    write(root / "src" / ".dot", "D");
    fs::create_directories(root / "dst");
    write(root / "dst" / "a.txt", "old");
    int count = 0;
    EXPECT_EQ(CopyDirectoryTree((root / "src").string(), (root / "dst").string(), &count), 0);
    EXPECT_EQ(count, 3);
    std::ifstream a(root / "dst" / "a.txt");
    std::string text;
    a >> text;
    EXPECT_EQ(text, "A");
    EXPECT_TRUE(fs::exists(root / "dst" / "sub" / "deep" / "c.txt"));
    EXPECT_FALSE(fs::exists(root / "dst" / ".dot"));
    EXPECT_FALSE(fs::exists(root / "dst" / ".hidden"));
    count = 0;
    EXPECT_EQ(CopyDirectoryTree((root / "none").string(), (root / "dst2").string(), &count), 0);
    EXPECT_EQ(count, 0);
    // A target that cannot be made: its errno code.
    EXPECT_NE(CopyDirectoryTree((root / "src").string(), (root / "src" / "a.txt" / "x").string(), &count), 0);
    fs::remove_all(root);
}

TEST(PathHelpers, OutsidePathsAreCheckedForWhatTheyNameBeforeUse) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(ZUN_TEST_BINARY_DIR) / ("tmp_pathuse_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "dir");
    std::ofstream(root / "file") << "x";
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0600), 0);
    fs::create_symlink(root / "pipe", root / "link");
    const std::string dir = (root / "dir").string(), file = (root / "file").string(),
                      pipe = (root / "pipe").string(), link = (root / "link").string(),
                      missing = (root / "missing").string();
    const PathUse all[] = {PathUse::kReadFile, PathUse::kWriteFile, PathUse::kReadFolder,
                           PathUse::kWriteFolder};

    // A NUL would cut the path at the system calls, so that they write at the part before it;
    // other control characters are refused alike (and never echoed into the reason).
    const std::string nul(1, '\0');
    for (const std::string& bad :
         {dir + "/h" + nul + ".png", dir + "/a\nb", dir + "/\x7f", dir + nul + "e", std::string()})
        for (PathUse use : all) {
            const std::string why = CheckPathUse(bad, use);
            EXPECT_FALSE(why.empty()) << bad;
            EXPECT_EQ(why.find(dir), std::string::npos) << why;
        }
    // A named pipe, itself or behind a link, is no file to open and no folder.
    for (const std::string& p : {pipe, link})
        for (PathUse use : all) EXPECT_FALSE(CheckPathUse(p, use).empty()) << p;
    EXPECT_EQ(CheckPathUse(pipe, PathUse::kWriteFile), pipe + " is not a regular file.");
    EXPECT_EQ(CheckPathUse(file, PathUse::kWriteFolder), file + " is not a folder.");
    EXPECT_EQ(CheckPathUse(dir, PathUse::kReadFile), dir + " is not a regular file.");
    EXPECT_EQ(CheckPathUse(missing, PathUse::kReadFolder), missing + " was not found.");
    // What may be used, and what a writer may still create.
    EXPECT_EQ(CheckPathUse(file, PathUse::kReadFile), "");
    EXPECT_EQ(CheckPathUse(file, PathUse::kWriteFile), "");
    EXPECT_EQ(CheckPathUse(dir, PathUse::kReadFolder), "");
    EXPECT_EQ(CheckPathUse(missing, PathUse::kWriteFile), "");
    EXPECT_EQ(CheckPathUse(missing, PathUse::kWriteFolder), "");
    // The check itself opens and creates nothing: the pipe would have blocked it, the folder
    // holds what it held.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(root)) ++entries;
    EXPECT_EQ(entries, 4);
    EXPECT_TRUE(fs::is_empty(root / "dir"));
    fs::remove_all(root);
}

TEST(PathHelpers, MessagePumpSeam) {
    EXPECT_EQ(PumpMessages(), 0);
    int calls = 0;
    SetMessagePump([&] { return ++calls > 1 ? 1 : 0; });
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(PumpMessages(), 1);
    SetMessagePump({});
    EXPECT_EQ(PumpMessages(), 0);
}

TEST(PathHelpers, WindowPlacement) {
    const WindowRect main{100, 50, 900, 650};
    const WindowPoint c = CenterInMainFrame(main, 201, 100, 5, -5);
    EXPECT_EQ(c.x, 100 + (800 - 201) / 2 + 5);
    EXPECT_EQ(c.y, 50 + 250 - 5);

    const int W = 1000, H = 800, h = 20;
    const WindowRect anchor{3, 795, 100, 900};
    auto p = CascadeFloatingWindow({}, false, &anchor, 2, 0, W, H, h);
    EXPECT_EQ(p.kind, CascadePlacement::Place);
    EXPECT_EQ(p.at.x, 10);   // raised to 10
    EXPECT_EQ(p.at.y, 790);  // lowered to H - 10
    EXPECT_TRUE(p.append);
    EXPECT_EQ(CascadeFloatingWindow({}, false, nullptr, 0, 0, W, H, h).kind,
              CascadePlacement::CenterInMainFrame);
    EXPECT_EQ(CascadeFloatingWindow({{0, 0, 10, 10}}, true, nullptr, 0, 0, W, H, h).kind,
              CascadePlacement::BringToTop);
    EXPECT_FALSE(CascadeFloatingWindow({{0, 0, 10, 10}}, true, nullptr, 0, 0, W, H, h).append);

    // Room below the last window: one caption further.
    p = CascadeFloatingWindow({{100, 100, 300, 300}}, false, nullptr, 0, 0, W, H, h);
    EXPECT_EQ(p.at.x, 110);
    EXPECT_EQ(p.at.y, 120);
    // No room: back to the first window of the cascade, a new cascade beside it.
    const std::vector<WindowRect> cascade = {
        {500, 150, 700, 300}, {100, 100, 300, 700}, {110, 120, 310, 790}};
    p = CascadeFloatingWindow(cascade, false, nullptr, 0, 0, W, H, h);
    EXPECT_EQ(p.kind, CascadePlacement::Place);
    EXPECT_EQ(p.at.x, 90);
    EXPECT_EQ(p.at.y, 110);
    // No room anywhere: centred over the main frame.
    p = CascadeFloatingWindow({{100, 100, 300, 795}}, false, nullptr, 0, 0, W, H, h);
    EXPECT_EQ(p.kind, CascadePlacement::CenterInMainFrame);
    EXPECT_TRUE(p.append);
}

// The filter windows of the X-ray CT dialog (760, 1120 and 900 pixels wide, with their captions)
// opened one after another, on screens of 1280 x 800 and 1920 x 1080, the second one to the
// right of the first: each lands wholly on the screen of its dialog, and no two at the same spot.
TEST(PathHelpers, FloatingWindowsCascadeAndStayOnTheirScreen) {
    const int caption = 24;
    const std::pair<int, int> sizes[] = {{760, 444}, {1120, 524}, {900, 544}, {760, 444}, {1120, 524}};
    for (const WindowRect screen :
         {WindowRect{0, 0, 1280, 800}, WindowRect{0, 0, 1920, 1080}, WindowRect{1280, 0, 3200, 1080}}) {
        // The X-ray CT Properties dialog near the right of its screen.
        const int sw = screen.right - screen.left;
        const WindowRect dialog{screen.left + sw - 700, screen.top + 120, screen.left + sw - 50,
                                screen.top + 700};
        const WindowRect main{screen.left, screen.top, screen.right, screen.bottom};
        std::vector<WindowRect> open;
        for (const auto& [w, hgt] : sizes) {
            const WindowPoint at = PlaceFloatingWindow(open, &dialog, (dialog.right - dialog.left) / 3,
                                                       -(hgt / 2), screen, main, caption, w, hgt);
            SCOPED_TRACE(std::to_string(sw) + " screen, window " + std::to_string(open.size()));
            EXPECT_GE(at.x, screen.left);
            EXPECT_GE(at.y, screen.top);
            EXPECT_LE(at.x + w, screen.right);
            EXPECT_LE(at.y + hgt, screen.bottom);
            for (const WindowRect& r : open) EXPECT_FALSE(r.left == at.x && r.top == at.y);
            open.push_back({at.x, at.y, at.x + w, at.y + hgt});
        }
    }
    // The first window goes where the cascade puts it when it fits.
    const WindowRect screen{0, 0, 1920, 1080};
    const WindowRect dialog{100, 100, 700, 600};
    const WindowPoint first = PlaceFloatingWindow({}, &dialog, 200, -100, screen, screen, 24, 400, 300);
    EXPECT_EQ(first.x, 300);
    EXPECT_EQ(first.y, 10);
    const WindowPoint second =
        PlaceFloatingWindow({{300, 10, 700, 310}}, &dialog, 200, -100, screen, screen, 24, 400, 300);
    EXPECT_EQ(second.x, 312);
    EXPECT_EQ(second.y, 34);
    // Larger than the screen: the left and top edges stay on it.
    const WindowPoint big = KeepOnScreen({500, 500}, 2500, 1500, screen);
    EXPECT_EQ(big.x, 0);
    EXPECT_EQ(big.y, 0);
}

}  // namespace
}  // namespace zun
