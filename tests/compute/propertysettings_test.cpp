#include <gtest/gtest.h>

#include "compute/propertycomputation.h"
#include "platform/archive.h"
#include "plugintestdoc.h"

namespace zun {
namespace {

class PropertySettingsTest : public ::testing::Test {
protected:
    PropertySettingsTest() : doc(8, 6, 4) {
        doc.AddChannel("Air", 0);
        doc.AddChannel("Water", 0);
        doc.AddChannel("CT", 1);
        doc.AddChannel("Sample", 3);
        doc.AddChannel("Density", 2);
    }
    PropertyMethodSettings Fresh(int kind) {
        PropertyMethodSettings r;
        CPropertyComputation::ResetSettingsTables(doc, r);
        r.kind = kind;
        r.outputChannel = "Density";
        r.inputChannel = "CT";
        return r;
    }
    // Checks and returns "errors|warnings".
    std::string Check(PropertyMethodSettings& r, int expectedCount) {
        std::string e, w;
        EXPECT_EQ(CPropertyComputation::CheckSettings(r, doc, &e, &w), expectedCount) << e << w;
        return e + "|" + w;
    }
    test::TestPluginDocument doc;
};

TEST_F(PropertySettingsTest, ResetFillsTablesResolutionAndDimensions) {
    PropertyMethodSettings r;
    CPropertyComputation::ResetSettingsTables(doc, r);
    ASSERT_EQ(r.allChannels.size(), 5u);
    EXPECT_EQ(r.allChannels[2], (NamedValue{"CT", 1.0f}));
    EXPECT_EQ(r.compositions, (std::vector<NamedValue>{{"Air", 1.0f}, {"Water", 1.0f}}));
    EXPECT_EQ(r.boundaries, (std::vector<NamedValue>{{"Sample", 1.0f}}));
    EXPECT_EQ(r.properties, (std::vector<NamedValue>{{"Density", 1.0f}}));
    EXPECT_FLOAT_EQ(r.voxelResolution[1], 2.0f);  // 2e-6 m
    EXPECT_EQ(r.sampleDimensions, (std::vector<std::int32_t>{8, 6, 4}));
}

TEST_F(PropertySettingsTest, ValidRecordsPassAndGetTheirIndexLists) {
    PropertyMethodSettings map = Fresh(kScalarAnalyticMap);
    EXPECT_EQ(Check(map, 0), "|");
    EXPECT_EQ(map.outputIndices, std::vector<std::int32_t>{4});
    PropertyMethodSettings lca = Fresh(kLinkedClusterAnalysis);
    lca.inputBound = "Sample";
    EXPECT_EQ(Check(lca, 0), "|");
    EXPECT_EQ(lca.inputIndices, std::vector<std::int32_t>{2});
    EXPECT_EQ(lca.boundIndices, std::vector<std::int32_t>{3});
    PropertyMethodSettings ext = Fresh(kScalarExtrapolation);
    ext.columns = {{1.0f, {0.5f, 1.0f}}, {2.0f, {0.5f, 0.0f}}, {0.0f, {1.5f, 1.0f}}};
    EXPECT_EQ(Check(ext, 0), "|");
    // Null texts are allowed.
    EXPECT_EQ(CPropertyComputation::CheckSettings(map, doc, nullptr, nullptr), 0);
}

TEST_F(PropertySettingsTest, ErrorMessages) {
    PropertyMethodSettings r = Fresh(7);
    EXPECT_EQ(Check(r, 1), "Error: unknown property method kind 7\n|");
    r = Fresh(kScalarAnalyticMap);
    r.outputChannel = "CT";
    EXPECT_EQ(Check(r, 1), "Error: output channel 'CT' is not a property channel of the document\n|");
    r.outputChannel = "";
    EXPECT_EQ(Check(r, 1), "Error: output channel '' is not a property channel of the document\n|");

    r = Fresh(kLinkedClusterAnalysis);
    r.inputChannel = "Nothing";
    EXPECT_EQ(Check(r, 1), "Error: input channel 'Nothing' not found\n|");
    r.inputChannel = "Density";
    EXPECT_EQ(Check(r, 1), "Error: input and output channels must be different\n|");
    r = Fresh(kLinkedClusterAnalysis);
    r.cluster.threshold = 1.5f;
    EXPECT_EQ(Check(r, 1), "Error: Threshold must be a real number between [0, 1]\n|");
    r = Fresh(kLinkedClusterAnalysis);
    r.cluster.componentDetails = 1;
    r.cluster.firstCluster = 0;
    EXPECT_EQ(Check(r, 1), "Error: Starting clusters index must a positive integer up to 16383\n|");
    r.cluster.firstCluster = 5;
    r.cluster.lastCluster = 4;
    EXPECT_EQ(Check(r, 1), "Error: Invalid clusters range specification or value greater than 16383\n|");
    r.cluster.lastCluster = 16384;
    EXPECT_EQ(Check(r, 1), "Error: Invalid clusters range specification or value greater than 16383\n|");
    r.cluster.componentDetails = 0;  // the indices are not looked at then
    EXPECT_EQ(Check(r, 0), "|");
    r.cluster.sizeFilter = kBetween;
    r.cluster.filterLow = r.cluster.filterHigh = 3;
    EXPECT_EQ(Check(r, 1), "Error: Invalid values for filter range\n|");
    r.cluster.sizeFilter = 9;
    EXPECT_EQ(Check(r, 1), "Error: unknown cluster size filter 9\n|");

    r = Fresh(kLinkedClusterAnalysis);
    r.cluster.planeAxis[0] = r.cluster.planeAxis[1] = r.cluster.planeAxis[2] = 1;
    r.cluster.planes[0][0] = 8;  // width 8: 0..7
    r.cluster.planeOperator[1] = kPlaneAnd;
    r.cluster.planes[1][1] = 6;
    r.cluster.planeOperator[2] = kPlaneOr;
    r.cluster.planes[2][0] = 3, r.cluster.planes[2][1] = 2;
    EXPECT_EQ(Check(r, 3),
              "Error: Plane X1 value is out of width range [0, 7]\n"
              "Error: Plane Y2 value is out of height range [0, 5]\n"
              "Error: Invalid plane Z range - Z1 must be less than Z2\n|");
    r.cluster.planeAxis[0] = r.cluster.planeAxis[1] = 0;  // unchecked axes are not validated
    r.cluster.planeOperator[2] = kPlaneNot;               // and with Not plane 2 is not read
    EXPECT_EQ(Check(r, 0), "|");

    r = Fresh(kScalarExtrapolation);
    r.columns = {{1.0f, {0.5f}}, {2.0f, {0.5f}}, {0.0f, {1.5f}}};
    EXPECT_EQ(Check(r, 1), "Error: scalar extrapolation table: Insufficient number of data rows\n|");
}

TEST_F(PropertySettingsTest, WarningsBringTheRecordUpToDate) {
    PropertyMethodSettings r = Fresh(kLinkedClusterAnalysis);
    r.compositions = {{"Water", 3.0f}, {"Gone", 2.0f}};
    r.inputBound = "Old bound";
    r.cluster.planes[0][1] = 7;
    r.sampleDimensions = {16, 6, 4};
    EXPECT_EQ(Check(r, 3),
              "|Warning: the compositions of the document have changed; the composition table was updated\n"
              "Warning: sample dimensions changed to 8 x 6 x 4\n"
              "Warning: input bound 'Old bound' no longer exists and was cleared\n");
    // Missing compositions dropped, new ones added with 1.0, document order, values kept by name.
    EXPECT_EQ(r.compositions, (std::vector<NamedValue>{{"Air", 1.0f}, {"Water", 3.0f}}));
    EXPECT_EQ(r.inputBound, "");
    EXPECT_TRUE(r.boundIndices.empty());
    EXPECT_EQ(r.cluster.planes[0][1], 7u);  // within the new width
    EXPECT_EQ(Check(r, 0), "|");            // up to date now

    r.sampleDimensions = {16, 6, 4};
    r.cluster.planes[0][1] = 12;
    Check(r, 1);
    EXPECT_EQ(r.cluster.planes[0][1], 7u);  // clamped to the new width - 1

    PropertyMethodSettings ext = Fresh(kScalarExtrapolation);
    ext.columns = {{1.0f, {0.5f, 1.0f}}, {0.0f, {1.5f, 1.0f}}};  // one composition too few
    EXPECT_EQ(
        Check(ext, 2),
        "Error: scalar extrapolation table: Insufficient number of data rows\n"
        "|Warning: scalar extrapolation table does not match the compositions; the table was cleared\n");
    EXPECT_EQ(ext.columns, std::vector<ExtrapolationColumn>(3));
}

TEST_F(PropertySettingsTest, ControllerChecksACopyAndKeepsItOnlyWhenAccepted) {
    CPropertyComputation pc(&doc);
    pc.Methods() = {Fresh(kScalarAnalyticMap), Fresh(kLinkedClusterAnalysis)};
    pc.Methods()[0].compositions = {{"Water", 3.0f}};
    pc.Methods()[1].inputChannel = "Nothing";
    const auto before = pc.Methods();
    std::string errors, warnings;
    EXPECT_EQ(pc.MethodCount(), 2);
    EXPECT_EQ(pc.CheckSettings(errors, warnings), 2);
    EXPECT_EQ(errors, "Error: input channel 'Nothing' not found\n");
    EXPECT_EQ(warnings,
              "Warning: the compositions of the document have changed; the composition table was updated\n");
    EXPECT_EQ(pc.Methods(), before);
    pc.AcceptCheckedSettings();
    EXPECT_EQ(pc.Methods()[0].compositions, (std::vector<NamedValue>{{"Air", 1.0f}, {"Water", 3.0f}}));
    // Without a document nothing is checked and nothing runs.
    CPropertyComputation none;
    none.Methods() = before;
    EXPECT_EQ(none.CheckSettings(errors, warnings), 0);
    EXPECT_EQ(none.Apply(), -1);
}

TEST(PropertyMethodsArchive, RoundTripAndLayout) {
    std::vector<PropertyMethodSettings> methods(2);
    methods[0].compositions = {{"Air", 2.5f}};
    methods[0].outputChannel = "Out";
    methods[0].columns = {{1.5f, {0.25f, 0.75f}}, {0.0f, {3.0f, 4.0f}}};
    methods[1].kind = kLinkedClusterAnalysis;
    methods[1].inputIndices = {3};
    methods[1].cluster.filterHigh = 1ULL << 40;
    methods[1].cluster.planes[2][1] = 99;
    methods[1].cluster.planeOperator[1] = kPlaneOr;
    methods[1].orientation = 0;
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        SerializePropertyMethods(ar, methods);
    }
    const auto& b = ms.Bytes();
    ASSERT_GE(b.size(), 24u);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 16),
              (std::vector<std::uint8_t>{0x58, 0x0A, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    ms.Rewind();
    std::vector<PropertyMethodSettings> back;
    {
        Archive ar(ms, Archive::Mode::Load);
        SerializePropertyMethods(ar, back);
    }
    EXPECT_EQ(back, methods);
    EXPECT_EQ(ms.Position(), b.size());

    // Through the computation object, which stores its controller's list.
    CPropertyComputation pc;
    pc.Methods() = back;
    MemoryStream ms2;
    {
        Archive ar(ms2, Archive::Mode::Store);
        pc.Serialize(ar);
    }
    EXPECT_EQ(ms2.Bytes(), b);

    // Truncated data and a negative count fail with an archive error and keep the list.
    for (auto damaged : {std::vector<std::uint8_t>(b.begin(), b.end() - 5),
                         std::vector<std::uint8_t>{0x58, 0x0A, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}}) {
        MemoryStream bad(damaged);
        Archive ar(bad, Archive::Mode::Load);
        EXPECT_THROW(SerializePropertyMethods(ar, back), ArchiveException);
        EXPECT_EQ(back, methods);
    }
}

}  // namespace
}  // namespace zun
