#include "compute/log.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "compute/computeclasses.h"

namespace zun {
namespace {

struct Doc : LogHost {
    CLogger logger{this};
    bool enabled = true;
    CLogger* GetLogger() override { return &logger; }
    bool IsLoggingEnabled() const override { return enabled; }
};

struct RecordingView : LogView {
    std::string shown, caption;
    void AppendText(const std::string& t) override {
        if (t.empty())
            shown.clear();
        else
            shown += t;
    }
    void SetCaption(const std::string& c) override { caption = c; }
};

TEST(Log, FormatsAndKeepsPercentInDataTexts) {
    Doc doc;
    Loggable w(&doc);
    w.Log("%s completed with data error (%d)\n", "Step", 5);
    w.LogText("name with 100% and %s %n\n");
    EXPECT_EQ(doc.logger.Text(), "Step completed with data error (5)\nname with 100% and %s %n\n");
    doc.enabled = false;
    w.Log("ignored %d\n", 1);
    w.LogText("ignored\n");
    EXPECT_EQ(doc.logger.Text().find("ignored"), std::string::npos);
}

TEST(Log, TimestampUsesCMonthNames) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 4;  // May
    tm.tm_mday = 7;
    tm.tm_hour = 9;
    tm.tm_min = 5;
    tm.tm_sec = 3;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // may be missing; the prefix must not change anyway
    EXPECT_EQ(LogTimestamp(t), "07-May-2026 09:05:03 - ");
    std::setlocale(LC_ALL, saved.c_str());

    Doc doc;
    Loggable(&doc).LogTimestamped("%s\n", "Computation Ready");
    EXPECT_TRUE(std::regex_match(
        doc.logger.Text(), std::regex(R"(\d\d-[A-Z][a-z]{2}-\d{4} \d\d:\d\d:\d\d - Computation Ready\n)")));
}

TEST(Log, ViewReceivesEarlierTextWhenOpenedLater) {
    Doc doc;
    doc.logger.Append("first\n");
    RecordingView view;
    doc.logger.AttachView(&view);
    doc.logger.Append("second\n");
    EXPECT_EQ(view.shown, "first\nsecond\n");
    doc.logger.SetTitle("sample.zun");
    EXPECT_EQ(view.caption, "sample.zun: Log");
    doc.logger.Clear();
    EXPECT_EQ(view.shown, "");
    doc.logger.AttachView(nullptr);
}

TEST(Log, AppendsFromManyThreadsKeepWholeLines) {
    Doc doc;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            Loggable w(&doc);
            for (int i = 0; i < 200; ++i) w.Log("thread %d line %d\n", t, i);
        });
    for (auto& th : threads) th.join();
    std::string text = doc.logger.Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1600);
    EXPECT_NE(text.find("thread 7 line 199\n"), std::string::npos);
}

TEST(Log, SaveAsWritesTheTextOrSaysWhy) {
    Doc doc;
    doc.logger.Append("a\nb 50%\n");
    auto path = std::filesystem::temp_directory_path() / "zun_log_test.txt";
    ASSERT_EQ(doc.logger.SaveAs(path.string()), 0);
    std::ifstream in(path);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "a\nb 50%\n");
    std::filesystem::remove(path);
    EXPECT_EQ(doc.logger.SaveAs("/nonexistent-dir/x/log.txt"), -1);
}

TEST(Log, ArchiveRoundTripAndDamagedLength) {
    RegisterComputeClasses();
    Doc doc;
    doc.logger.Append("line\n");
    doc.logger.SetSavedRect({1, 2, 3, 4});
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        doc.logger.Serialize(ar);
        ar.Flush();
    }
    auto bytes = ms.Bytes();
    ASSERT_EQ(bytes.size(), 4u + 16u + 4u + 6u);
    EXPECT_EQ(bytes.back(), 0);
    CLogger loaded;
    {
        MemoryStream in(bytes);
        Archive ar(in, Archive::Mode::Load);
        loaded.Serialize(ar);
    }
    EXPECT_EQ(loaded.Text(), "line\n");
    EXPECT_EQ(loaded.SavedRect(), (LogRect{1, 2, 3, 4}));
    // A length far beyond the data ends in the end-of-file error, not a huge allocation.
    bytes[20] = 0xFF;
    bytes[21] = 0xFF;
    bytes[22] = 0xFF;
    bytes[23] = 0xF0;
    MemoryStream in(bytes);
    Archive ar(in, Archive::Mode::Load);
    CLogger bad;
    try {
        bad.Serialize(ar);
        FAIL();
    } catch (const ArchiveException& e) {
        EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
    }
}

TEST(Log, WindowPlacementFallsBackToTheMainWindow) {
    LogRect main{100, 100, 1100, 900};
    EXPECT_EQ(PlaceLogWindow({5000, 10, 5400, 300}, 1920, 1080, main), (LogRect{110, 720, 1090, 870}));
    EXPECT_EQ(PlaceLogWindow({}, 1920, 1080, main), (LogRect{110, 720, 1090, 870}));
    EXPECT_EQ(PlaceLogWindow({10, 10, 500, 300}, 1920, 1080, main), (LogRect{10, 10, 500, 300}));
}

TEST(Duration, SplitAndFormat) {
    CDuration d;
    d.total = 86400 + 3600 + 60 + 1.5f;
    d.Split();
    EXPECT_EQ(d.Format(), "1 days, 01:01:01.5");
    EXPECT_EQ(d.FormatWhole(), "1 days, 01:01:01");
    d.total = 125.5f;
    d.percent = 100;
    d.Split();
    EXPECT_EQ(d.Format(), "02:05.5 (100%)");
    d.total = 3600 * 2 + 5;
    d.percent = -1;
    d.Split();
    EXPECT_EQ(d.Format(), "02:00:05.0");
    EXPECT_EQ(CDuration::FormatPercent(5.25f), " (5.2%)");
    EXPECT_EQ(CDuration::FormatPercent(0.5f), " (0.5%)");
    EXPECT_EQ(CDuration::FormatPercent(0.123f), " (0.12%)");
    EXPECT_EQ(CDuration::FormatPercent(0.005f), " (0.005%)");
    EXPECT_EQ(CDuration::FormatPercent(0.0005f), " (0%)");
    EXPECT_EQ(CDuration::FormatPercent(42.4f), " (42%)");
}

TEST(Duration, ArchiveLayout) {
    CDuration d("Elapsed");
    d.total = 3.0f;
    d.Split();
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        d.Serialize(ar);
        ar.Flush();
    }
    EXPECT_EQ(ms.Bytes().size(), 4u + 8u + 16u + 12u + 4u);
    CDuration e;
    MemoryStream in(ms.Bytes());
    Archive ar(in, Archive::Mode::Load);
    e.Serialize(ar);
    EXPECT_EQ(e.label, "Elapsed");
    EXPECT_EQ(e.wholeSeconds, 3);
    EXPECT_EQ(e.percent, -1.0f);
}

}  // namespace
}  // namespace zun
