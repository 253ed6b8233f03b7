// Natural ordering of names and the statistics listing's width reading, refresh and save.

#include "plot/statslisting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/prompt.h"

using namespace zun;

namespace {

TEST(NaturalCompare, OrdersDigitRunsAsNumbers) {
    EXPECT_EQ(NaturalCompare("x2", "x10"), -1);
    EXPECT_EQ(NaturalCompare("x10", "x2"), 1);
    EXPECT_EQ(NaturalCompare("x02", "x010"), 1);  // leading zero: compared as fractional digits
    EXPECT_EQ(NaturalCompare("a  1", "a1"), 0);
    EXPECT_EQ(NaturalCompare("abc", "abd"), -1);
    EXPECT_EQ(NaturalCompare("", "   "), 0);
    EXPECT_EQ(NaturalCompare("item 7", "item 07"), 1);
    EXPECT_EQ(NaturalCompare("Abc", "abc"), -1);  // case counts
    EXPECT_EQ(NaturalCompare("x", "x1"), -1);
    // Bytes above 127 (UTF-8) are neither spaces nor digits and sort below ASCII as signed chars.
    EXPECT_EQ(NaturalCompare("\xC3\xA9t\xC3\xA9", "ete"), -1);

    std::vector<std::string> names{"slice 10", "slice 9", "slice 1", "ct_2", "ct_10"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalCompare(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string>{"ct_2", "ct_10", "slice 1", "slice 9", "slice 10"}));
}

TEST(StatsListing, WidthRefreshAndSave) {
    int w = 0;
    EXPECT_FALSE(StatsListingModel::ReadWidth("12.5", &w));
    EXPECT_FALSE(StatsListingModel::ReadWidth("0", &w));
    EXPECT_FALSE(StatsListingModel::ReadWidth("abc", &w));
    EXPECT_FALSE(StatsListingModel::ReadWidth("1000000000", &w));
    ASSERT_TRUE(StatsListingModel::ReadWidth("20", &w));
    EXPECT_EQ(w, 20);

    HeadlessPrompt prompt;
    std::vector<std::pair<int, int>> calls;
    StatsListingModel m(
        [&](std::int32_t columns, int width) {
            calls.emplace_back(columns, width);
            return std::string("Name Ave\r\nct_1 0.5\r\n");
        },
        &prompt);
    m.columns = StatsListingModel::kAverage;
    m.RefreshListing();
    EXPECT_FALSE(m.Refresh("0", StatsListingModel::kMin));
    EXPECT_EQ(prompt.Requests().back().text, "Column width must be a positive integer");
    EXPECT_EQ(m.width, 15);
    EXPECT_EQ(calls.size(), 1u);
    ASSERT_TRUE(m.Refresh("20", StatsListingModel::kMin | StatsListingModel::kCount));
    EXPECT_EQ(calls.back(), std::make_pair(17, 20));

    const auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "statslisting_tmp";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(m.Save((dir / "stats.txt").string()));
    std::ifstream in(dir / "stats.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "Name Ave\nct_1 0.5\n");
    EXPECT_FALSE(m.Save((dir / "no" / "stats.txt").string()));
    EXPECT_EQ(prompt.Requests().back().text, "Could not open " + (dir / "no" / "stats.txt").string());
}

}  // namespace
