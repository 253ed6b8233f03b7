// The exported web page in a real browser: headless Chromium opens it from file://, draws the
// volume with software WebGL, and draws it differently once a colour slider has moved.

#include <gtest/gtest.h>

#include <QImage>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "view3d/web3dexport.h"
#include "view3d/webatlas.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

std::string Chromium() {
    for (const char* c : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (fs::exists(c)) return c;
    return "";
}

// A ball in a box: a red core inside a green shell, a faint blue haze elsewhere.
std::vector<std::uint8_t> Ball(int X, int Y, int Z) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(X) * Y * Z * 4, 0);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x) {
                const double dx = (x + 0.5) / X - 0.5, dy = (y + 0.5) / Y - 0.5, dz = (z + 0.5) / Z - 0.5;
                const double r = std::sqrt(dx * dx + dy * dy + dz * dz);
                std::uint8_t* p = &v[((static_cast<std::size_t>(z) * Y + y) * X + x) * 4];
                if (r < 0.22)
                    p[0] = 255, p[1] = 40, p[2] = 20, p[3] = 200;
                else if (r < 0.4)
                    p[0] = 30, p[1] = 220, p[2] = 60, p[3] = 6;
                else
                    p[0] = 40, p[1] = 60, p[2] = 255, p[3] = 1;
            }
    return v;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A profile of its own, so that a browser the user has open does not get in the way.
bool Screenshot(const fs::path& page, const fs::path& png) {
    const std::string cmd =
        Chromium() + " --user-data-dir=" + png.string() + ".profile" +
        " --headless=new --no-sandbox --disable-dev-shm-usage --use-angle=swiftshader "
        "--enable-unsafe-swiftshader --ignore-gpu-blocklist --allow-file-access-from-files "
        "--hide-scrollbars --window-size=1000,760 --virtual-time-budget=15000 --screenshot=" +
        png.string() + " file://" + page.string() + " > " + png.string() + ".log 2>&1";
    return std::system(cmd.c_str()) == 0 && fs::exists(png);
}

struct Colours {
    double red = 0, green = 0, blue = 0;
    int lit = 0;
};

// Mean colour of the lit pixels in a rectangle of the screenshot.
Colours Measure(const QImage& im, int x0, int y0, int x1, int y1) {
    Colours c;
    for (int y = y0; y < y1 && y < im.height(); ++y)
        for (int x = x0; x < x1 && x < im.width(); ++x) {
            const QRgb p = im.pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) < 30) continue;
            c.red += qRed(p), c.green += qGreen(p), c.blue += qBlue(p);
            ++c.lit;
        }
    if (c.lit) c.red /= c.lit, c.green /= c.lit, c.blue /= c.lit;
    return c;
}

TEST(WebPageInBrowser, ShowsTheVolumeAndFollowsTheSliders) {
    if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
    const fs::path templ = ZUN_WEB_TEMPLATE_DIR;
    if (!fs::exists(templ / "js" / "x3dom.js"))
        GTEST_SKIP() << "the template has no x3dom.js (scripts/setup fetches it)";
    char tmpl[] = "/tmp/zun_webpage_XXXXXX";
    const fs::path dir = mkdtemp(tmpl);

    const auto volume = Ball(96, 96, 64);
    Web3DOptions options;
    Web3DExportInput in;
    in.volume = volume.data();
    in.volumeDims = {96, 96, 64};
    in.templateFolder = templ.string();
    in.facts.title = "ball";
    in.page.sampleGrid = {96, 96, 64};
    in.page.versionText = "Zun - test";
    in.page.createDate = Web3DCreateDate(0);
    in.page.position = {0, 5.0, 13.5};
    in.page.orientation = {1, 0, 0, -0.35};
    in.threads = 2;
    std::string msg;
    ASSERT_EQ(CheckWeb3DExport(options, true, in.volumeDims, in.facts, msg), 0) << msg;
    options.folder = dir.string();
    options.fileName = "ball";
    options.title = "Ball in a box";
    options.description = "A red core in a green shell.";
    options.thumbnail = false;
    ASSERT_EQ(WriteWeb3DFiles(options, in, msg), kWeb3DSuccess) << msg;
    const fs::path page = dir / "Web3D" / "ball.xhtml";
    if (std::system("command -v xmllint > /dev/null") == 0) {
        EXPECT_EQ(std::system(("xmllint --noout " + page.string()).c_str()), 0);
    }

    // The same page with the red and green sliders pulled down once it has loaded, as a user would.
    std::string text = ReadAll(page);
    const std::string hook =
        "\t\t<script type=\"text/javascript\">\n\t\t//<![CDATA[\n"
        "\t\t$(window).on('load', function() { setTimeout(function() {\n"
        "\t\t\t$('#colorRFactor').slider('value', 0); $('#colorGFactor').slider('value', 0);\n"
        "\t\t}, 500); });\n\t\t//]]>\n\t\t</script>\n\t</head>";
    text.replace(text.find("\t</head>"), 9, hook);
    const fs::path moved = dir / "Web3D" / "moved.xhtml";
    std::ofstream(moved, std::ios::binary) << text;

    const fs::path shot = dir / "shot.png", shot2 = dir / "moved.png";
    ASSERT_TRUE(Screenshot(page, shot)) << ReadAll(shot.string() + ".log");
    ASSERT_TRUE(Screenshot(moved, shot2)) << ReadAll(shot2.string() + ".log");
    const QImage a(QString::fromStdString(shot.string())), b(QString::fromStdString(shot2.string()));
    ASSERT_FALSE(a.isNull());
    ASSERT_FALSE(b.isNull());
    if (const char* screens = std::getenv("ZUN_SCREENS_DIR")) {
        fs::create_directories(screens);
        fs::copy_file(shot, fs::path(screens) / "webpage.png", fs::copy_options::overwrite_existing);
        fs::copy_file(shot2, fs::path(screens) / "webpage_slider.png", fs::copy_options::overwrite_existing);
    }
    // The scene's canvas lies right of the controls and below the title; the ball in its middle.
    const Colours canvas = Measure(a, 220, 160, a.width(), a.height() - 80);
    const int cx = 200 + (a.width() - 200) / 2, cy = 90 + (a.height() - 150) / 2;
    const Colours before = Measure(a, cx - 40, cy - 40, cx + 40, cy + 40);
    const Colours after = Measure(b, cx - 40, cy - 40, cx + 40, cy + 40);
    // The volume is drawn: a good part of the canvas is lit, the ball red and green.
    EXPECT_GT(canvas.lit, 5000);
    EXPECT_GT(before.lit, 3000);
    EXPECT_GT(before.red + before.green, 2 * before.blue);
    // With red and green pulled down only blue is left.
    EXPECT_LT(after.red + after.green, 0.2 * (before.red + before.green) + 1);
    std::error_code ec;
    if (!HasFailure()) fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace zun
