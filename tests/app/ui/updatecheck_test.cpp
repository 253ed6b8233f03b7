// The update check of the running application against a loopback web server: what it fetches,
// what it sends and what it tells the user.

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QProcess>

#include "app/startup.h"
#include "app/ui/httpfetcher.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "app/updatecheck.h"
#include "foundation/pathutil.h"
#include "app/version.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

struct LoopbackFixture : test::AppFixture {
    QProcess server;
    std::string base;
    std::vector<std::string> opened;

    void SetUp() override {
        std::filesystem::create_directories(tmp.Path() / "www");
        server.start(ZUN_PYTHON,
                     {QString(ZUN_TEST_DIR) + "/loopback_http.py", QString::fromStdString(tmp.File("www")),
                      QString::fromStdString(tmp.File("log"))});
        ASSERT_TRUE(server.waitForStarted(10000));
        ASSERT_TRUE(test::WaitFor([&] { return server.canReadLine(); }, 10000));
        base = "http://127.0.0.1:" + server.readLine().trimmed().toStdString();
        MakeApp();
        app->SetUrlOpener([this](const std::string& u) { opened.push_back(u); });
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
    }
    void TearDown() override {
        CloseApp();
        server.kill();
        server.waitForFinished(5000);
    }
    void Serve(const std::string& name, const std::string& text) {
        std::ofstream(tmp.File("www/" + name), std::ios::binary) << text;
    }
    std::vector<std::string> Requests() {
        std::ifstream in(tmp.File("log"));
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    std::string LastText() { return prompt.Requests().empty() ? "" : prompt.Requests().back().text; }
};

}  // namespace

TEST_F(LoopbackFixture, DefaultAddressesSendNothing) {
    // The start-up check ran already; with the built-in (empty) addresses nothing went out.
    app->MainFrame()->Action("helpCheckUpdate")->trigger();
    EXPECT_EQ(LastText(), updatemsg::kNoServer);
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(app->Prefs().update.updatetime, 0u);
}

TEST_F(LoopbackFixture, ChecksAgainstTwoServers) {
    UpdateSect& u = app->Prefs().update;
    const std::string own = GetVersionString("ProductVersion");
    u.server1 = base + "/one/zun.ver";
    u.server2 = base + "/two/zun.ver";
    std::filesystem::create_directories(tmp.Path() / "www/one");
    std::filesystem::create_directories(tmp.Path() / "www/two");
    Serve("one/zun.ver", "zunver " + own + " " + base + "/site\n");

    app->OnCheckUpdate();
    EXPECT_EQ(LastText(), updatemsg::kUpToDate);
    EXPECT_EQ(Requests(), (std::vector<std::string>{"/one/zun.ver", "/two/zun.ver"}));
    const std::uint32_t checked = u.updatetime;
    EXPECT_GT(checked, 0u);
    // The time of the check is in the file.
    ZunPreferences reread;
    reread.LoadAll(app->Profile());
    EXPECT_EQ(reread.update.updatetime, checked);

    // Checked less than a day ago: an automatic check sends nothing.
    u.updatetime = static_cast<std::uint32_t>(std::time(nullptr) - 86390);
    EXPECT_EQ(app->CheckForUpdate(false, ""), kUpdateQuiet);
    EXPECT_EQ(Requests().size(), 2u);

    // The second server announces a newer version (numerically: 10 > own's third part), with a
    // download address for this program.
    const std::vector<std::string> parts = SplitVersion(own);
    const std::string newer = parts[0] + "." + parts[1] + ".10.0";
    Serve("two/zun.ver", "zunver " + newer + " " + base + "/site\n<" + GetVersionString("InternalName") +
                             "> " + base + "/download\n");
    u.updatetime = static_cast<std::uint32_t>(std::time(nullptr) - 86401 - 60);
    prompt.QueueAnswer(kPromptYes);
    EXPECT_EQ(app->CheckForUpdate(false, ""), kUpdateQuiet);
    EXPECT_EQ(Requests().size(), 4u);
    EXPECT_NE(LastText().find("software version " + newer + " has been released."), std::string::npos);
    EXPECT_EQ(opened, std::vector<std::string>{base + "/download"});

    // A file with the wrong marker is no version file.
    Serve("one/zun.ver", "zunVer 99.0 " + base + "/site\n");
    Serve("two/zun.ver", "<html>zunver 99.0</html>");
    app->OnCheckUpdate();
    EXPECT_EQ(LastText(), updatemsg::kNoServer);
}

TEST_F(LoopbackFixture, UsageReportCarriesProductAndVersionOnly) {
    UpdateSect& u = app->Prefs().update;
    u.usage = base + "/usage-zun.php?details=";
    app->CheckForUpdate(true, "");
    const std::vector<std::string> got = Requests();
    ASSERT_EQ(got.size(), 1u);
    const std::string expected =
        "/usage-zun.php?details=" + PercentEncode(XmlEscape(GetVersionString("FileDescription") + "-" +
                                                            GetVersionString("ProductVersion")));
    EXPECT_EQ(got[0], expected);
    const char* user = std::getenv("USER");
    if (user && *user) {
        EXPECT_EQ(got[0].find(std::string(",") + user), std::string::npos);
    }
}

// The checker itself over Qt Network with a fixed clock: the one-day rule at its exact boundary,
// and a description with XML characters reaching the server escaped.
TEST_F(LoopbackFixture, OneDayBoundaryAndEscapingThroughQtNetwork) {
    std::filesystem::create_directories(tmp.Path() / "www/one");
    Serve("one/zun.ver", "zunver 1.0 " + base + "/site\n");
    UpdateSect sect;
    sect.server1 = base + "/one/zun.ver";
    sect.usage = base + "/usage-zun.php?details=";
    QtHttpFetcher http(3000, {sect.server1, sect.usage});
    const std::int64_t now = 1800000000;
    UpdateCheckServices s;
    s.http = &http;
    s.prompt = &prompt;
    s.now = [now] { return now; };
    s.version = [](const std::string& name) -> std::string {
        if (name == "FileDescription") return "Zun & \"Sons\" <x>";
        return name == "ProductVersion" ? "2.6.1.2648" : "Zun";
    };
    UpdateChecker checker(sect, s);

    sect.updatetime = static_cast<std::uint32_t>(now - 86400);
    EXPECT_EQ(checker.CheckForUpdate(false, ""), kUpdateQuiet);
    EXPECT_TRUE(Requests().empty());
    sect.updatetime = static_cast<std::uint32_t>(now - 86401);
    EXPECT_EQ(checker.CheckForUpdate(false, ""), kUpdateQuiet);
    EXPECT_EQ(Requests(),
              (std::vector<std::string>{
                  "/usage-zun.php?details=Zun%20%26amp%3B%20%26quot%3BSons%26quot%3B%20%26lt%3Bx%26gt%3B-"
                  "2.6.1.2648",
                  "/one/zun.ver"}));
    EXPECT_EQ(sect.updatetime, static_cast<std::uint32_t>(now));
}

TEST_F(LoopbackFixture, NoReachableNetworkTellsNoInternetConnection) {
    // A machine whose only interface is the loopback reaches no web address: the check says so
    // instead of reporting a server that did not answer.
    QtHttpFetcher offline(3000, {"http://zun.example.org/zun.ver", base + "/zun.ver"}, [] { return false; });
    EXPECT_FALSE(offline.OpenSession());
    QtHttpFetcher local(3000, {base + "/zun.ver", "", "http://localhost:1/u"}, [] { return false; });
    EXPECT_TRUE(local.OpenSession());
    QtHttpFetcher online(3000, {"http://zun.example.org/zun.ver"}, [] { return true; });
    EXPECT_TRUE(online.OpenSession());

    UpdateSect sect;
    sect.server1 = "http://zun.example.org/zun.ver";
    UpdateCheckServices s;
    s.http = &offline;
    s.prompt = &prompt;
    s.now = [] { return std::int64_t{1800000000}; };
    EXPECT_EQ(UpdateChecker(sect, s).CheckForUpdate(true, ""), kUpdateNoSession);
    EXPECT_TRUE(Requests().empty());
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
