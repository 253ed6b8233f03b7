// The update check's decisions with a scripted web: the one-day rule, the version file and its
// tokens, the choice between two files, the offer and what is (not) sent.

#include <gtest/gtest.h>

#include <map>

#include "app/preferences.h"
#include "app/updatecheck.h"
#include "foundation/pathutil.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

struct FakeWeb : HttpFetcher {
    bool session = true;
    std::map<std::string, std::string> pages;
    std::vector<std::string> requested;
    bool OpenSession() override { return session; }
    std::optional<std::string> Get(const std::string& url, std::size_t maxBytes) override {
        requested.push_back(url);
        auto it = pages.find(url);
        if (it == pages.end() || it->second.size() > maxBytes) return std::nullopt;
        return it->second;
    }
};

const std::int64_t kNow = 1800000000;

struct CheckFixture : ::testing::Test {
    FakeWeb web;
    HeadlessPrompt prompt;
    UpdateSect sect;
    std::vector<std::string> opened;
    int saved = 0;
    std::map<std::string, std::string> version{
        {"FileDescription", "Zun"}, {"ProductVersion", "2.6.1.2648"}, {"InternalName", "ZunApp"}};

    void SetUp() override {
        sect.server1 = "https://one.test/zun/Software/zun.ver";
        sect.server2 = "http://two.test/ZUN/Software/zun.ver";
    }
    int Check(bool manual, const std::string& prefix = "") {
        UpdateCheckServices s;
        s.http = &web;
        s.prompt = &prompt;
        s.openUrl = [this](const std::string& u) { opened.push_back(u); };
        s.now = [] { return kNow; };
        s.saveSection = [this] { ++saved; };
        s.version = [this](const std::string& n) { return version[n]; };
        return UpdateChecker(sect, std::move(s)).CheckForUpdate(manual, prefix);
    }
};

}  // namespace

TEST(VersionFile, TokensAndComparison) {
    EXPECT_EQ(SplitVersionTokens("zunver 2.7.0.0\r\n\nhttp://a  <Zun> http://b\n"),
              (std::vector<std::string>{"zunver", "2.7.0.0\r", "http://a", "<Zun>", "http://b"}));
    EXPECT_EQ(SplitVersion("2.6.10.0"), (std::vector<std::string>{"2", "6", "10", "0"}));
    EXPECT_EQ(CompareVersions(SplitVersion("2.6.1.2648"), SplitVersion("2.6.10.0")), 2);
    EXPECT_EQ(CompareVersions(SplitVersion("2.6.1.2648"), SplitVersion("2.6.1.2648")), 0);
    EXPECT_EQ(CompareVersions(SplitVersion("2.7"), SplitVersion("2.6.9.9")), 1);
    EXPECT_EQ(CompareVersions(SplitVersion("2.6"), SplitVersion("2.6.9")), 0);    // extra parts ignored
    EXPECT_EQ(CompareVersions(SplitVersion("2.6.1.5"), SplitVersion("2.6")), 1);  // missing parts are 0
    EXPECT_EQ(CompareVersions(SplitVersion("2.x.1"), SplitVersion("2.0.0")), 1);  // not a number: 0
    EXPECT_EQ(GetValueAfterKey({"a", "<Zun>", "url", "<Zun>", "x"}, "<Zun>"), "url");
    EXPECT_EQ(GetValueAfterKey({"a", "<Zun>"}, "<Zun>"), "");
    EXPECT_EQ(GetValueAfterKey({"a", "<zun>", "u"}, "<Zun>"), "");
}

TEST(VersionFile, OneDayRule) {
    EXPECT_FALSE(UpdateCheckDue(false, static_cast<std::uint32_t>(kNow - 86400), kNow));
    EXPECT_TRUE(UpdateCheckDue(false, static_cast<std::uint32_t>(kNow - 86401), kNow));
    EXPECT_FALSE(UpdateCheckDue(false, static_cast<std::uint32_t>(kNow + 100), kNow));
    EXPECT_TRUE(UpdateCheckDue(true, static_cast<std::uint32_t>(kNow + 100), kNow));
    EXPECT_TRUE(UpdateCheckDue(false, 0, kNow));
}

TEST(VersionFile, Escaping) {
    EXPECT_EQ(XmlEscape("a&b\"c'd<e>"), "a&amp;b&quot;c&apos;d&lt;e&gt;");
    EXPECT_EQ(PercentEncode("a&amp; b/é"), "a%26amp%3B%20b%2F%C3%A9");
    EXPECT_TRUE(IsWebAddress("HTTPS://x.test/"));
    EXPECT_FALSE(IsWebAddress("file:///etc/passwd"));
    EXPECT_FALSE(IsWebAddress("http://"));
}

TEST_F(CheckFixture, RecentCheckSkipsAndNothingIsSent) {
    sect.updatetime = static_cast<std::uint32_t>(kNow - 86400);
    EXPECT_EQ(Check(false), kUpdateQuiet);
    EXPECT_TRUE(web.requested.empty());
    sect.updatetime = static_cast<std::uint32_t>(kNow - 86401);
    EXPECT_EQ(Check(false), kUpdateNoVersionFile);
    EXPECT_EQ(web.requested.size(), 2u);
    EXPECT_EQ(saved, 0);  // a failed check is tried again next time
    EXPECT_EQ(sect.updatetime, static_cast<std::uint32_t>(kNow - 86401));

    web.requested.clear();
    sect.server1.clear();
    sect.server2.clear();
    EXPECT_EQ(Check(true), kUpdateNoVersionFile);
    EXPECT_TRUE(web.requested.empty());

    web.session = false;
    EXPECT_EQ(Check(true), kUpdateNoSession);
}

TEST_F(CheckFixture, NewerOfTwoFilesIsOffered) {
    web.pages[sect.server1] = "zunver 2.6.9.9 http://site.test/one\n<ZunApp> http://dl.test/one\n";
    web.pages[sect.server2] = "zunver 2.7.0.0 http://site.test/two\n<ZunApp> http://dl.test/two\n";
    prompt.QueueAnswer(kPromptYes);
    EXPECT_EQ(Check(true, "Prefix. "), kUpdateQuiet);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    const PromptRequest q = prompt.Requests()[0];
    EXPECT_EQ(q.text,
              "Prefix. A updated Zun software version 2.7.0.0 has been released.\n\nDownload the latest "
              "version of Zun software now?");
    EXPECT_EQ(q.buttons, PromptButtons::YesNo);
    EXPECT_EQ(q.detail, "http://dl.test/two");
    EXPECT_EQ(opened, std::vector<std::string>{"http://dl.test/two"});
    EXPECT_EQ(sect.updatetime, static_cast<std::uint32_t>(kNow));
    EXPECT_EQ(saved, 1);

    // Equal versions: the first server's file; no tag for this program: the download site.
    web.pages[sect.server1] = "zunver 2.7.0.0 http://site.test/one\n";
    prompt.Clear();
    opened.clear();
    prompt.QueueAnswer(kPromptYes);
    Check(true);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(
        prompt.Requests()[0].text,
        "A updated Zun software version 2.7.0.0 has been relased.\n\nVisit the ZUN software download site "
        "now?");
    EXPECT_EQ(opened, std::vector<std::string>{"http://site.test/one"});
}

TEST_F(CheckFixture, VersionsAndBadFiles) {
    web.pages[sect.server1] = "zunver 2.6.1.2648 http://site.test\n";
    EXPECT_EQ(Check(true), kUpdateUpToDate);
    EXPECT_TRUE(prompt.Requests().empty());
    EXPECT_EQ(Check(false), kUpdateQuiet);  // an automatic check says nothing

    web.pages[sect.server1] = "zunver 2.6.10.0 http://site.test\n";
    prompt.QueueAnswer(kPromptNo);
    EXPECT_EQ(Check(true), kUpdateQuiet);  // numeric, not text comparison: 1 < 10
    EXPECT_EQ(prompt.Requests().size(), 1u);
    EXPECT_TRUE(opened.empty());

    prompt.Clear();
    for (const char* bad : {"zunVer 9.0.0.0 http://x", "zunver", "<html>zunver 9.0</html>", ""}) {
        web.pages[sect.server1] = bad;
        EXPECT_EQ(Check(true), kUpdateNoVersionFile) << bad;
    }
    // Only web addresses reach the desktop, whatever the file names.
    web.pages[sect.server1] = "zunver 9.0 file:///etc/passwd <ZunApp> smb://x/y";
    prompt.QueueAnswer(kPromptYes);
    Check(true);
    EXPECT_TRUE(opened.empty());
    // A tag that is the file's last token gives no program address.
    web.pages[sect.server1] = "zunver 9.0 http://site.test <ZunApp>";
    prompt.QueueAnswer(kPromptYes);
    Check(true);
    EXPECT_EQ(opened, std::vector<std::string>{"http://site.test"});
}

TEST_F(CheckFixture, UsageReportOnlyWhenAskedAndWithoutNames) {
    version["FileDescription"] = "Zun & <Co>";
    web.pages[sect.server1] = "zunver 1.0 http://site.test";
    Check(true);
    EXPECT_EQ(web.requested, (std::vector<std::string>{sect.server1, sect.server2}));
    web.requested.clear();
    sect.usage = "https://one.test/zun/Software/usage-zun.php?details=";
    Check(true);
    ASSERT_EQ(web.requested.size(), 3u);
    EXPECT_EQ(web.requested[0],
              "https://one.test/zun/Software/"
              "usage-zun.php?details=Zun%20%26amp%3B%20%26lt%3BCo%26gt%3B-2.6.1.2648");
}

TEST(UpdateSession, LoopbackAddressesNeedNoNetwork) {
    EXPECT_TRUE(IsLoopbackAddress("https://[::1]:8080/x"));
    EXPECT_TRUE(IsLoopbackAddress("http://user@127.0.0.2/x"));
    EXPECT_TRUE(IsLoopbackAddress("http://LOCALHOST:99"));
    EXPECT_FALSE(IsLoopbackAddress("http://127.example.org/"));
    EXPECT_FALSE(IsLoopbackAddress("ftp://localhost/"));
    EXPECT_FALSE(IsLoopbackAddress("http://"));
    // Without an outside interface only addresses on this machine can be reached, and only when
    // there is one at all.
    EXPECT_FALSE(SessionPossible(false, {}));
    EXPECT_FALSE(SessionPossible(false, {"", ""}));
    EXPECT_TRUE(SessionPossible(false, {"http://127.0.0.1:8/v", ""}));
    EXPECT_FALSE(SessionPossible(false, {"http://127.0.0.1:8/v", "http://zun.example.org/v"}));
    EXPECT_TRUE(SessionPossible(true, {"http://zun.example.org/v"}));
}
