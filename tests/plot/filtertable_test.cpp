// The filter windows' table text: the exact two-column layout in keV and eV, the tolerant reader's
// accepted, skipped and bad lines, the list rows, and the device-filter window's decisions against
// the X-ray CT properties that own its filter.

#include "plot/filtertable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/devicefilterprops.h"
#include "plot/tomographyprops.h"

using namespace zun;

namespace {

FilterTableRead Read(const std::string& text, int skip = 0) {
    std::istringstream in(text);
    return ReadFilterTableText(in, skip);
}

TEST(FilterTableText, GoldenLayoutInBothUnits) {
    const FilterTable keV{{0.1f, 1.0f}, {150.0f, 0.5f}, {1234567.0f, 1e-7f}};
    EXPECT_EQ(FilterTableText("doc: 'ct' Filter 'Source' Properties", keV, 1),
              "# doc: 'ct' Filter 'Source' Properties\n"
              "# Beam Energy(keV)           Gain\n"
              "            0.1              1\n"
              "            150            0.5\n"
              "    1.23457e+06          1e-07\n");
    EXPECT_EQ(FilterTableText("c", ToDisplayUnit({{0.1f, 1.0f}}, 0), 0),
              "# c\n"
              "# Beam Energy(eV)           Gain\n"
              "            100              1\n");
    EXPECT_EQ(FilterTableText("empty", {}, 1), "# empty\n# Beam Energy(keV)           Gain\n");
}

TEST(FilterTableText, ReaderAcceptsSkipsAndCountsBadLines) {
    const FilterTableRead r = Read(
        "# comment\n"
        "  Beam Energy  Gain\n"
        "5\n"
        "6 0.3 junk\n"
        "7 abc\n"
        "-5 0.3\n"
        "abc 1 2\n"
        "8 0.25 # remark\n"
        "0.123456 1\n"
        "0 2\n"
        "6 0.4\n"
        "9");
    EXPECT_EQ(r.table,
              (FilterTable{
                  {0.0f, 2.0f}, {0.12346f, 1.0f}, {5.0f, 0.0f}, {6.0f, 0.4f}, {8.0f, 0.25f}, {9.0f, 0.0f}}));
    EXPECT_EQ(r.badLines, 1);
    EXPECT_EQ(BadLinesWarning(1),
              "Warning: 1 line which appeared to start with data contained non-numeric value(s).\n"
              "This line was ignored.");
    EXPECT_EQ(BadLinesWarning(2),
              "Warning: 2 lines which appeared to start with data contained non-numeric value(s).\n"
              "These lines were ignored.");
    EXPECT_EQ(BadLinesWarning(0), "");
    // Force skip passes whole lines, data or not.
    EXPECT_EQ(Read("1 1\n2 2\n3 3\n4 4\n", 3).table, (FilterTable{{4.0f, 4.0f}}));
    EXPECT_TRUE(Read("1 1\n", 5).table.empty());
    int n = -1;
    EXPECT_TRUE(ReadSkipLines("3", &n));
    EXPECT_EQ(n, 3);
    EXPECT_FALSE(ReadSkipLines("-1", &n));
    EXPECT_FALSE(ReadSkipLines("abc", &n));
}

TEST(FilterTableText, ExportedTableReadsBackInEitherUnit) {
    const FilterTable keV{{0.5f, 0.25f}, {12.34567f, 1.0f}, {80.0f, 0.125f}};
    for (int unit : {0, 1}) {
        const FilterTableRead r = Read(FilterTableText("t", ToDisplayUnit(keV, unit), unit));
        const FilterTable back = FromDisplayUnit(r.table, unit);
        ASSERT_EQ(back.size(), keV.size());
        for (auto a = keV.begin(), b = back.begin(); a != keV.end(); ++a, ++b) {
            EXPECT_NEAR(a->first, b->first, 1e-5 * a->first) << unit;
            EXPECT_FLOAT_EQ(a->second, b->second);
        }
    }
}

TEST(FilterTableText, RowsKeepOneBlankEndAndLaterDuplicatesWin) {
    std::vector<TableRow> rows{{"1", "0.5"}, {"", ""}, {" ", ""}, {"", ""}};
    KeepOneBlankRow(rows);
    EXPECT_EQ(rows.size(), 2u);
    rows = {{"1", "0.5"}};
    KeepOneBlankRow(rows);
    EXPECT_EQ(rows.size(), 2u);
    FilterTable t;
    EXPECT_TRUE(
        ReadTableRows({{"2", "1"}, {"", ""}, {"2", "3"}, {"1", ""}, {"0.123456", "1"}}, true, true, t));
    EXPECT_EQ(t, (FilterTable{{0.12346f, 1.0f}, {1.0f, 0.0f}, {2.0f, 3.0f}}));
    EXPECT_FALSE(ReadTableRows({{"x", "1"}}, true, false, t));
    EXPECT_TRUE(ReadTableRows({{"x", "1"}}, false, false, t));
    EXPECT_EQ(t, (FilterTable{{0.0f, 1.0f}}));
    EXPECT_TRUE(IsValidCellText(""));
    EXPECT_TRUE(IsValidCellText("0"));
    EXPECT_FALSE(IsValidCellText("-1"));
    EXPECT_FALSE(IsValidCellText("abc"));
}

class DeviceFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDocumentClasses();
        doc.OnNewDocument();
        ASSERT_EQ(doc.InsertChannel(1, 1, "ct"), 0);
        ct = doc.GetSample().FindChanIndex("ct");
        ASSERT_TRUE(owner.Open());
        path = std::filesystem::temp_directory_path() / ("devfilter_" + std::to_string(::getpid()) + ".txt");
    }
    void TearDown() override { std::filesystem::remove(path); }

    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    int ct = 1;
    TomographyPropsModel owner{doc, 1, &prompt};
    std::filesystem::path path;
};

TEST_F(DeviceFilterTest, SourceEditsUnitsAndHandOver) {
    DeviceFilterModel m(owner, "Source", &prompt);
    m.Open();
    ASSERT_EQ(m.rows.size(), 3u);  // (0, 1), (10, 1) and the empty row
    EXPECT_EQ(m.rows[1], (TableRow{"10", "1"}));
    EXPECT_FALSE(m.EditCell(0, 1, "-1"));
    EXPECT_EQ(prompt.Requests().back().text, "Entries must be non-negative numbers");
    EXPECT_TRUE(m.EditCell(2, 0, "20.123456"));
    EXPECT_EQ(m.rows.size(), 4u);
    EXPECT_EQ(m.Working().table.count(20.12346f), 1u);
    EXPECT_EQ(m.graphX.back(), static_cast<double>(20.12346f));

    // eV and back leaves the table as it was, up to float rounding.
    const FilterTable before = m.Working().table;
    m.SetUnit(0);
    EXPECT_EQ(m.EnergyTitle(), "Beam Energy(eV)");
    EXPECT_EQ(m.rows[1].first, "10000");
    m.SetUnit(1);
    ASSERT_EQ(m.Working().table.size(), before.size());
    for (auto a = before.begin(), b = m.Working().table.begin(); a != before.end(); ++a, ++b)
        EXPECT_NEAR(a->first, b->first, 1e-4);

    // A source with only zero gains is refused; nothing reaches the owner.
    m.rows = {{"1", "0"}, {"", ""}};
    EXPECT_FALSE(m.Apply());
    EXPECT_EQ(prompt.Requests().back().text, "'Source' filter must have at least one non-zero gain entry");
    m.rows = {{"", ""}};
    EXPECT_FALSE(m.Apply());
    EXPECT_EQ(prompt.Requests().back().text, "'Source' filter must have a non-zero energy range");
    m.rows = {{"5", "x"}, {"", ""}};
    EXPECT_FALSE(m.Apply());
    EXPECT_EQ(prompt.Requests().back().text, "Invalid filter transfer function value(s)");

    m.rows = {{"5", "1"}, {"50", "0.5"}, {"", ""}};
    owner.applyEnabled = false;
    ASSERT_TRUE(m.Apply());
    DeviceFilter handed;
    owner.GetDeviceFilter("Source", handed);
    EXPECT_EQ(handed.table, (FilterTable{{5.0f, 1.0f}, {50.0f, 0.5f}}));
    EXPECT_TRUE(owner.applyEnabled);
    // Cancel after an Apply returns to that Apply.
    m.rows = {{"7", "1"}, {"", ""}};
    m.Cancel();
    owner.GetDeviceFilter("Source", handed);
    EXPECT_EQ(handed.table, (FilterTable{{5.0f, 1.0f}, {50.0f, 0.5f}}));
}

TEST_F(DeviceFilterTest, DetectorImportExportAndEnabledMark) {
    DeviceFilterModel m(owner, "Detector", &prompt);
    m.caption = "doc: 'ct' Filter 'Detector' Properties";
    m.Open();
    EXPECT_FALSE(m.NeedsOverwriteQuestion());
    {
        std::ofstream out(path);
        out << "# detector\n5 abc\n10 0.9\n20 0.8\n";
    }
    m.SetUnit(0);  // the file's energies are read as eV
    ASSERT_TRUE(m.Import(path.string(), 0));
    EXPECT_EQ(prompt.Requests().back().text.rfind("Warning: 1 line ", 0), 0u);
    EXPECT_EQ(m.Working().table, (FilterTable{{0.01f, 0.9f}, {0.02f, 0.8f}}));
    // All zero gains are allowed for a detector; enabling marks its entry.
    m.rows = {{"10", "0"}, {"", ""}};
    m.OnEnabledChanged(true);
    ASSERT_TRUE(m.Ok());
    EXPECT_EQ(owner.comboEntries[2], "Detector*");
    ASSERT_TRUE(m.Export(path.string()));
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "# doc: 'ct' Filter 'Detector' Properties\n# Beam Energy(eV)           Gain\n"
              "             10              0\n");
    m.RenameChannel("ct", "beam");
    EXPECT_EQ(m.caption, "doc: 'beam' Filter 'Detector' Properties");
    EXPECT_FALSE(m.Import((path.parent_path() / "no_such_dir" / "x.txt").string(), 0));
    EXPECT_EQ(prompt.Requests().back().icon, PromptIcon::Warning);
}

}  // namespace
