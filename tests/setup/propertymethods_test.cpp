// The property-method dialogs without windows: the extrapolation table's file, its cell and
// weight rules, the linked-cluster checks and the analytic map's cells.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/numformat.h"
#include "setup/propertymethods.h"
#include "setup/setupmessages.h"

namespace zun {
namespace {

PropertyMethodSettings Record(std::vector<std::string> compositions) {
    PropertyMethodSettings r;
    for (auto& c : compositions) r.compositions.push_back({c, 1.0f});
    r.properties = {{"Density", 1.0f}, {"Porosity", 1.0f}};
    r.allChannels = {{"Void", 1}, {"Water", 1}, {"Density", 1}};
    r.sampleDimensions = {10, 8, 6};
    return r;
}

struct TempFolder {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("setup_prop_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
         std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    TempFolder() { std::filesystem::create_directories(dir); }
    ~TempFolder() { std::filesystem::remove_all(dir); }
    std::string File(const std::string& name, const std::string& content = {}) const {
        const std::string p = (dir / name).string();
        if (!content.empty()) std::ofstream(p) << content;
        return p;
    }
};

ScalarExtrapModel Filled() {
    ScalarExtrapModel m(Record({"Void", "Light water", "Al"}));
    std::string shown;
    const float rows[3][4] = {
        {0.2f, 0.3f, 0.5f, 1.25f}, {0.1f, 0.6f, 0.3f, 2.0f}, {0.7f, 0.2f, 0.1f, -0.333333f}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.EditCell(r, c, FormatReal(rows[r][c], -1, "%g"), &shown), "");
    EXPECT_EQ(m.CheckWeights({"0.5", "1.5", "0.125"}, "Density"), "");
    return m;
}

TEST(ScalarExtrap, TrailingRowAppendsAndCellsFollowTheirColumnRules) {
    ScalarExtrapModel m(Record({"Void", "Water"}));
    EXPECT_EQ(m.ColumnCount(), 3);
    EXPECT_EQ(m.Names().back(), "Property");
    EXPECT_FALSE(m.HasData());
    std::string shown;
    EXPECT_EQ(m.EditCell(0, 1, " ", &shown), "");  // blank in the empty row adds nothing
    EXPECT_FALSE(m.HasData());
    EXPECT_EQ(m.EditCell(0, 1, "0.25", &shown), "");
    EXPECT_EQ(m.DataRows(), 1);
    EXPECT_EQ(m.CellText(0, 0), "0");
    EXPECT_EQ(m.CellText(0, 1), "0.25");
    EXPECT_EQ(m.EditCell(0, 0, "1.5", &shown), setupmsg::kFractionRange);
    EXPECT_EQ(m.EditCell(0, 0, "x", &shown), setupmsg::kFractionRange);
    EXPECT_EQ(m.EditCell(0, 2, "1.5", &shown), "");
    EXPECT_EQ(m.EditCell(0, 2, "x", &shown), setupmsg::kPropertyValueReal);
    EXPECT_EQ(m.CellText(0, 2), "1.5");
    EXPECT_EQ(m.EditCell(0, 2, "", &shown), "");
    EXPECT_EQ(shown, "0");
    EXPECT_EQ(m.CheckWeights({"abc", "1"}, "Density"), setupmsg::kWeightReal);
    m.Clear();
    EXPECT_FALSE(m.HasData());
}

TEST(ScalarExtrap, ExportThenImportReproducesTheTable) {
    TempFolder t;
    ScalarExtrapModel a = Filled();
    const std::string path = t.File("table.txt");
    ASSERT_EQ(a.Export(path), "");
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "4,3");
    for (int i = 0; i < 4; ++i) std::getline(in, line);
    EXPECT_EQ(line, "0,Property");
    while (std::getline(in, line)) EXPECT_EQ(line.back(), ',');  // every data line ends with ","
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    ScalarExtrapModel b(Record({"Void", "Light water", "Al"}));
    EXPECT_TRUE(b.Import(path).empty());
    ASSERT_EQ(b.DataRows(), 3);
    for (int c = 0; c < 4; ++c) {
        EXPECT_FLOAT_EQ(b.Columns()[c].weight, a.Columns()[c].weight);
        for (int r = 0; r < 3; ++r) EXPECT_NEAR(b.Columns()[c].values[r], a.Columns()[c].values[r], 1e-6);
    }
}

TEST(ScalarExtrap, EachImportErrorLeavesTheTableAsItWas) {
    TempFolder t;
    const std::string good = "4,1\n0,Void\n0,Light water\n0,Al\n0,Property\n0,0,1,5,\n";
    struct Case {
        std::string content;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"", {setupmsg::kCannotReadHeader}},
        {"4,0\n", {setupmsg::kNoColumnRowData}},
        {"0,0\n", {setupmsg::kNoColumnRowData, setupmsg::kCompositionCountMismatch}},
        {"3,1\n0,Void\n", {setupmsg::kCompositionCountMismatch}},
        {"4,1\n0,Void\n0,Heavy water\n0,Al\n0,Property\n0,0,1,5,\n",
         {setupmsg::kColumnNameMismatch, setupmsg::kCannotReadColumn}},
        {"4,1\n0,Void\nx", {setupmsg::kCannotReadColumn}},
        {"4,1\n0,Void\n0,Light water\n0,Al\n0,Property\n0,0,1,", {setupmsg::kCannotReadData}},
        // A damaged row count: values are taken as read, and the missing ones end the import.
        {"4,4000000000\n0,Void\n0,Light water\n0,Al\n0,Property\n0,0,1,5,\n", {setupmsg::kCannotReadData}},
    };
    int i = 0;
    for (const Case& c : cases) {
        ScalarExtrapModel m = Filled();
        const auto before = m.Columns();
        const std::string path = t.File("bad" + std::to_string(i++) + ".txt", c.content);
        if (c.content.empty()) std::ofstream{path};
        std::vector<std::string> want;
        for (const auto& msg : c.messages) want.push_back(msg + " " + path);
        EXPECT_EQ(m.Import(path), want) << c.content;
        EXPECT_EQ(m.Columns(), before);
    }
    ScalarExtrapModel m = Filled();
    const std::string missing = (t.dir / "none.txt").string();
    EXPECT_EQ(m.Import(missing),
              (std::vector<std::string>{std::string(setupmsg::kCannotOpenFile) + " " + missing}));
    EXPECT_TRUE(m.Import(t.File("good.txt", good)).empty());
    EXPECT_EQ(m.DataRows(), 1);
    EXPECT_EQ(m.Columns()[3].values[0], 5.0f);
}

TEST(ScalarAnalytic, PropertyCellsTakeRealNumbers) {
    ScalarAnalyticModel m(Record({"Void", "Water"}));
    std::string shown;
    EXPECT_EQ(m.EditProperty(1, "2.5", &shown), "");
    EXPECT_EQ(m.Record().compositions[1].value, 2.5f);
    EXPECT_EQ(m.EditProperty(1, "abc", &shown), setupmsg::kPropertyValueReal);
    EXPECT_EQ(m.Record().compositions[1].value, 2.5f);
    EXPECT_EQ(m.EditProperty(0, "  ", &shown), "");
    EXPECT_EQ(shown, "0");
    EXPECT_EQ(m.Record().compositions[0].value, 0.0f);
    m.Accept(false, false, "Porosity");
    EXPECT_EQ(m.Record().voxelStructure, 1);
    EXPECT_EQ(m.Record().orientation, 0);
    EXPECT_EQ(m.Record().outputChannel, "Porosity");
    EXPECT_EQ(m.OutputIndex(), 1);
}

TEST(LinkedCluster, ChecksRunInTheDialogsOrder) {
    LinkedClusterModel m(Record({"Void", "Water"}));
    EXPECT_EQ(m.BoundEntries(), (std::vector<std::string>{"<None exist>"}));
    LinkedClusterFields f = m.Fields();
    EXPECT_EQ(f.plane2[0], "9");  // an unchecked axis shows its last plane
    f.input = "Water";
    f.output = "Water";
    EXPECT_EQ(m.Accept(f), setupmsg::kChannelsDiffer);
    f.output = "Density";
    f.threshold = "1.5";
    EXPECT_EQ(m.Accept(f), setupmsg::kThresholdRange);
    f.threshold = "0.25";
    f.componentDetails = true;
    f.firstCluster = "0";
    EXPECT_EQ(m.Accept(f), setupmsg::kFirstClusterIndex);
    f.firstCluster = "16384";
    EXPECT_EQ(m.Accept(f), setupmsg::kFirstClusterIndex);
    f.firstCluster = "5";
    f.lastCluster = "4";
    EXPECT_EQ(m.Accept(f), setupmsg::kClusterRange);
    f.lastCluster = "100";
    f.filter = kBetween;
    f.low = "7";
    f.high = "7";
    EXPECT_EQ(m.Accept(f), setupmsg::kFilterRange);
    f.filter = kGreatEq;
    f.low = "x";
    EXPECT_EQ(m.Accept(f), setupmsg::kLowerRange);
    f.filter = kLessEq;
    f.high = "";
    EXPECT_EQ(m.Accept(f), setupmsg::kHigherRange);
    f.high = "50";
    f.plane1[1] = "-1";  // an unchecked axis is not read
    f.axis[0] = true;
    f.plane1[0] = "10";
    EXPECT_EQ(m.Accept(f), "Plane X1 value is out of width range [0, 9]");
    f.plane1[0] = "3";
    f.plane2[0] = "junk";  // with "Not" the second plane is not read
    f.bound = "<None exist>";
    ASSERT_EQ(m.Accept(f), "");
    f.op[0] = kPlaneAnd;
    EXPECT_EQ(m.Accept(f), "Plane X2 value is out of width range [0, 9]");
    f.plane2[0] = "3";
    EXPECT_EQ(m.Accept(f), "Invalid plane X range - X1 must be less than X2");
    f.axis[2] = true;
    f.plane2[0] = "4";
    f.plane1[2] = "6";
    EXPECT_EQ(m.Accept(f), "Plane Z1 value is out of depth range [0, 5]");
    f.plane1[2] = "0";
    ASSERT_EQ(m.Accept(f), "");
    const PropertyMethodSettings& r = m.Record();
    EXPECT_EQ(r.inputBound, "");
    EXPECT_EQ(r.outputChannel, "Density");
    EXPECT_EQ(r.cluster.threshold, 0.25f);
    EXPECT_EQ(r.cluster.firstCluster, 5);
    EXPECT_EQ(r.cluster.lastCluster, 100);
    EXPECT_EQ(r.cluster.filterHigh, 50u);
    EXPECT_EQ(r.cluster.planes[0][1], 4u);
    EXPECT_EQ(r.cluster.planeOperator[0], kPlaneAnd);
}

}  // namespace
}  // namespace zun
