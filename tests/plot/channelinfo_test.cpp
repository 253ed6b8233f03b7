// The channel information text: markers removed for display, the first section exported, the
// title following a rename.

#include "plot/channelinfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"

using namespace zun;

namespace {

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ChannelInfo, MarkersAndSections) {
    EXPECT_EQ(ChannelInfoModel::WithoutMarkers("a<#@#>b"), "ab");
    EXPECT_EQ(ChannelInfoModel::FirstSection("a<#@#>b"), "a");
    EXPECT_EQ(ChannelInfoModel::FirstSection("line 1\nline 2\n"), "line 1\nline 2\n");
    EXPECT_EQ(ChannelInfoModel::WithoutMarkers("<#@#><#@#>x<#@#"), "x<#@#");
    EXPECT_EQ(ChannelInfoModel::WithoutMarkers(""), "");
}

TEST(ChannelInfo, ExportsTheFirstSectionAndFollowsRenames) {
    RegisterDocumentClasses();
    CZunDoc doc;
    doc.OnNewDocument();
    doc.GetSample().GetChan(0)->note = "first\nsection\n<#@#>second<#@#>";
    ChannelInfoModel m(doc, 0);
    EXPECT_EQ(m.DisplayText(), "first\nsection\nsecond");
    EXPECT_EQ(m.ExportCaption(), "Export information for 'Void'");
    EXPECT_NE(m.title.find("'Void'"), std::string::npos);

    const auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "channelinfo_tmp";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(m.Export((dir / "info.txt").string(), nullptr));
    EXPECT_EQ(ReadFile(dir / "info.txt"), "first\nsection\n");
    std::string error;
    EXPECT_FALSE(m.Export((dir / "missing" / "info.txt").string(), &error));
    EXPECT_EQ(error, "Could not open " + (dir / "missing" / "info.txt").string() +
                         " for writing channel information");

    const std::string before = m.title;
    EXPECT_FALSE(m.RenameChannel("Iron", "Steel"));
    EXPECT_EQ(m.title, before);
    EXPECT_TRUE(m.RenameChannel("Void", "Air"));
    EXPECT_NE(m.title.find("'Air'"), std::string::npos);
    EXPECT_EQ(m.title.find("'Void'"), std::string::npos);

    ChannelInfoModel outside(doc, 7);
    EXPECT_EQ(outside.DisplayText(), "");
}

}  // namespace
