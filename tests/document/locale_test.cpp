// Under a decimal-comma locale the program's numbers still read and write with '.', and the
// texts it stores keep the C locale's day and month names.

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <locale>
#include <string>

#include "compute/log.h"
#include "dochelpers.h"
#include "foundation/numformat.h"
#include "model/rulelist.h"
#include "script/docscript.h"
#include "script/syntax.h"
#include "testfiles.h"

namespace zun {
namespace {

// Switches the whole process to German for one test and back afterwards.
class DecimalCommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        oldC_ = std::setlocale(LC_ALL, nullptr);
        oldCpp_ = std::locale();
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
        try {
            std::locale::global(std::locale("de_DE.UTF-8"));
        } catch (const std::runtime_error&) {
            std::setlocale(LC_ALL, oldC_.c_str());
            GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
        }
        // The locale really writes a decimal comma, or the test would prove nothing.
        char buf[16];
        std::snprintf(buf, sizeof buf, "%.1f", 1.5);
        ASSERT_STREQ(buf, "1,5");
    }
    void TearDown() override {
        std::locale::global(oldCpp_);
        std::setlocale(LC_ALL, oldC_.c_str());
    }

private:
    std::string oldC_;
    std::locale oldCpp_;
};

TEST_F(DecimalCommaLocale, NumberTextsUseThePoint) {
    EXPECT_EQ(FormatReal(1.5f, -1, "%g"), "1.5");
    EXPECT_EQ(FormatReal(3, 2.25, "%f"), "2.250");
    EXPECT_EQ(FormatReal(0.5f, 2, "%f"), "0.50");
    double d = 0;
    EXPECT_EQ(ReadTextDouble("2.75", &d), 0);
    EXPECT_EQ(d, 2.75);
    EXPECT_EQ(ReadTextFloat("0.125"), 0.125f);
    float f = 0;
    EXPECT_EQ(ScanString("1.5e3", "%f", &f), 0);
    EXPECT_EQ(f, 1500.0f);
    std::string back;
    EXPECT_TRUE(CheckRealText("3.5", 1.0f, &back));

    // Rule lists of normalised values.
    RuleRecord r[2];
    ASSERT_EQ(LinkedClusterRules::Parse("0.25-0.5,>0.75", kRuleNormalised, 2, r), kRuleOk);
    EXPECT_EQ(r[0].normLow, 0.25);
    EXPECT_EQ(r[0].normHigh, 0.5);
    EXPECT_EQ(LinkedClusterRules::Format(r, 2, kRuleNormalised), "0.25-0.5, >0.75");
}

TEST_F(DecimalCommaLocale, TextDataFileRoundTrips) {
    TempDir dir;
    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({3, 2, 2}, {0, 0, 0}), 0);
    ASSERT_EQ(f.doc.InsertChannel(1, 1, "ct"), 0);
    ZunChan& ct = *f.doc.GetSample().FindChan("ct");
    ct.range = {0.5f, 2.25f};
    for (int v = 0; v < 12; ++v) ct.Data()[v] = static_cast<imtype>(1000 * v);
    f.doc.GetSample().GetChan(0)->compound.SetFormula("H2O", true);
    f.doc.GetSample().GetChan(0)->compound.density = 0.997;
    f.doc.GetModel().GetParams().ctBeamEnergy[1] = 40.5f;
    f.doc.GetModel().GetParams().voxelPhysicalSize = {1e-3, 2.5, 2.5, 0.75};
    const std::string label = f.doc.GetChannelDisplayName("ct");
    EXPECT_TRUE(label.ends_with("_40.5keV")) << label;

    const std::string path = dir.File("doc.txt");
    ASSERT_TRUE(f.doc.ExportTextDocument(path));
    const std::string text = ReadFileText(path);
    EXPECT_NE(text.find("40.5"), std::string::npos) << text;
    EXPECT_NE(text.find("2.25"), std::string::npos) << text;
    EXPECT_EQ(text.find("2,25"), std::string::npos) << text;

    DocFixture g;
    ASSERT_TRUE(g.doc.ImportTextDocument(path)) << g.Messages().at(0);
    EXPECT_EQ(g.doc.ToDataDocument(), f.doc.ToDataDocument());
    EXPECT_EQ(g.doc.GetModel().GetParams().ctBeamEnergy[1], 40.5f);
}

TEST_F(DecimalCommaLocale, LogTimestampsUseEnglishMonthNames) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 2;  // March: "Mär" in German
    tm.tm_mday = 7;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    const std::string stamp = LogTimestamp(std::mktime(&tm));
    EXPECT_EQ(stamp.substr(0, 12), "07-Mar-2026 ") << stamp;
}

TEST_F(DecimalCommaLocale, LogTextsUseThePoint) {
    EXPECT_EQ(Format("%.2f", 1.25), "1.25");
    EXPECT_EQ(CDuration::FormatPercent(5.5f), " (5.5%)");
}

TEST_F(DecimalCommaLocale, ImportRecordKeepsEnglishDayAndMonthNames) {
    TempDir dir;
    RunPython(R"(
import sys, numpy as np, tifffile
tifffile.imwrite(sys.argv[1] + "/i0.tif", np.arange(6, dtype=np.uint16).reshape(2, 3))
)",
              {dir.Path()});
    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({3, 2, 1}, {0, 0, 0}), 0);
    ASSERT_EQ(f.doc.InsertChannel(1, 1, "ct"), 0);
    ASSERT_EQ(f.doc.ImportImageStack("ct", {0}, dir.Path(), {"i0.tif"}, ImageImportSettings{}), 1);
    const std::string& note = f.doc.GetSample().FindChan("ct")->note;
    const std::size_t at = note.find("into slice 0 at ");
    ASSERT_NE(at, std::string::npos) << note;
    const std::string when = note.substr(at + 16, 8);  // "Mon Dec "
    static const std::string days = "Sun Mon Tue Wed Thu Fri Sat ";
    static const std::string months = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec ";
    EXPECT_NE(days.find(when.substr(0, 4)), std::string::npos) << note;
    EXPECT_NE(months.find(when.substr(4, 4)), std::string::npos) << note;
}

TEST_F(DecimalCommaLocale, EditDataReadsAndPrintsThePoint) {
    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({2, 1, 1}, {0, 0, 0}), 0);
    ASSERT_EQ(f.doc.InsertChannel(1, 1, "ct"), 0);
    f.doc.GetSample().FindChan("ct")->range = {0.0f, 2.5f};
    EXPECT_EQ(script::ExecuteDocumentLine(f.doc, "0.5 + 0.25"), "\n0.75");
    EXPECT_EQ(script::ExecuteDocumentLine(f.doc, "ct[0][0][1].raw = 8192, ct[0][0][1]"), "\n{8192,1.25008}");
    std::string messages;
    script::ParseResult parsed = script::ParseLine("a = 1.5", messages);
    ASSERT_EQ(parsed.status, 0) << messages;
    EXPECT_EQ(script::DumpTree(parsed.root.get()), "(assign (chain (id a)) (float 1.5))");
}

}  // namespace
}  // namespace zun
