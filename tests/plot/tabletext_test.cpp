// The two-column table text: field widths, long titles, number forms, locale independence.

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <sstream>

#include "plot/tabletext.h"

using namespace zun;

namespace {

TEST(TableText, RowsAndTitlesStandInFifteenCharacterFields) {
    std::ostringstream out;
    WriteTableText(out, "Doc: 'CT' Filter 'Source' Properties", "Beam Energy(eV)", "Gain", {{100, 1}});
    EXPECT_EQ(out.str(),
              "# Doc: 'CT' Filter 'Source' Properties\n"
              "# Beam Energy(eV)           Gain\n"
              "            100              1\n");
    std::ostringstream kev;
    WriteTableText(kev, "c", "Beam Energy(keV)", "Gain", {{0.1, 1}});
    EXPECT_EQ(kev.str(),
              "# c\n"
              "# Beam Energy(keV)           Gain\n"
              "            0.1              1\n");
}

TEST(TableText, NumbersTakeTheStreamsGeneralForm) {
    EXPECT_EQ(FormatTableNumber(0.1), "0.1");
    EXPECT_EQ(FormatTableNumber(150), "150");
    EXPECT_EQ(FormatTableNumber(1234567), "1.23457e+06");
    EXPECT_EQ(FormatTableNumber(0.0000001), "1e-07");
    EXPECT_EQ(FormatTableNumber(static_cast<float>(0.1)), "0.1");
    std::ostringstream empty;
    WriteTableText(empty, "c", "a", "b", {});
    EXPECT_EQ(empty.str(), "# c\n#               a              b\n");
}

TEST(TableText, ADecimalCommaLocaleDoesNotLeakIntoFiles) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::locale oldGlobal;
    try {
        std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "no German locale here";
    }
    std::ostringstream out;
    out.imbue(std::locale());
    WriteTableRow(out, 1234.5, 0.25);
    EXPECT_EQ(out.str(), "         1234.5           0.25\n");
    std::locale::global(oldGlobal);
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
