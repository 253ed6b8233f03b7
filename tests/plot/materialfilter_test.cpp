// Material filters: the mixture of compositions, the energy grid rules, the transmission against
// the compounds' attenuation at known energies, the material-list file, and the "Beam Hardening"
// filter that mirrors the document's compositions.

#include "plot/materialfilterprops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/tomographyprops.h"

using namespace zun;

namespace {

TEST(MaterialFilterRules, MixtureFormulaAndDensity) {
    double d = 0;
    bool norm = true;
    EXPECT_EQ(MaterialFilterModel::MixtureFormula({{"H2O", 1.0, 0.5}, {"CaCO3", 2.71, 0.5}}, &d, &norm),
              "(H2O)0.5(CaCO3)0.5");
    EXPECT_DOUBLE_EQ(d, 1.855);
    EXPECT_FALSE(norm);
    EXPECT_EQ(
        MaterialFilterModel::MixtureFormula({{" Al ", 2.7, 0.4}, {"", 5, 0.5}, {"Cu", 8.9, 0}}, &d, &norm),
        "(Al)0.4");
    EXPECT_DOUBLE_EQ(d, 0.4 * 2.7);
    EXPECT_EQ(MaterialFilterModel::MixtureFormula({{"H2O", 1.0, 0.8}, {"SiO2", 2.65, 0.4}}, &d, &norm),
              "(H2O)0.8(SiO2)0.4");
    EXPECT_TRUE(norm);
    EXPECT_DOUBLE_EQ(d, (0.8 * 1.0 + 0.4 * 2.65) / 1.2);
    // Small fractions stay plain decimals the formula parser reads.
    EXPECT_EQ(MaterialFilterModel::MixtureFormula({{"Al", 2.7, 1e-5}}, &d, &norm), "(Al)0.00001");
    EXPECT_EQ(MaterialFilterModel::MixtureFormula({}, &d, &norm), "");
    EXPECT_EQ(d, 0.0);
}

TEST(MaterialFilterRules, GridAdjustment) {
    struct Case {
        float lo, hi, step;
        int result, points;
        float outLo, outHi, outStep;
    } cases[] = {
        {0, 100, 0.1f, 0, 1001, 0, 100, 0.1f}, {0, 100, 0.001f, 2, 10001, 0, 100, 0.01f},
        {10, 10, 0.1f, 1, 1, 10, 10, 0},       {10, 10, 0, 0, 1, 10, 10, 0},
        {0, 100, 0, 1, 2, 0, 100, 100},        {100, 0, 1, 1, 101, 0, 100, 1},
        {0, 10, 3, 1, 4, 0, 10, 10.0f / 3},
    };
    for (const Case& c : cases) {
        float lo = c.lo, hi = c.hi, step = c.step;
        int n = -1;
        SCOPED_TRACE(::testing::Message() << c.lo << " " << c.hi << " " << c.step);
        EXPECT_EQ(MaterialFilterModel::AdjustGrid(lo, hi, step, n), c.result);
        EXPECT_EQ(n, c.points);
        EXPECT_FLOAT_EQ(lo, c.outLo);
        EXPECT_FLOAT_EQ(hi, c.outHi);
        EXPECT_FLOAT_EQ(step, c.outStep);
    }
    // Steps far below the range and values that are not numbers end with a refusal, not a hang.
    float lo = 0, hi = 1e30f, step = 1e-30f;
    int n = 0;
    EXPECT_EQ(MaterialFilterModel::AdjustGrid(lo, hi, step, n), MaterialFilterModel::kGridInvalid);
    lo = 0, hi = NAN, step = 1;
    EXPECT_EQ(MaterialFilterModel::AdjustGrid(lo, hi, step, n), MaterialFilterModel::kGridInvalid);
}

class MaterialFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDocumentClasses();
        Compound::SetPrompt(&prompt);
        doc.OnNewDocument();
        ASSERT_EQ(doc.ResizeVolume({2, 2, 1}, {0, 0, 0}), 0);
        ASSERT_EQ(doc.InsertChannel(0, 1, "Water"), 0);
        ASSERT_EQ(doc.InsertChannel(0, 2, "Quartz"), 0);
        ASSERT_EQ(doc.InsertChannel(1, 3, "ct"), 0);
        Set("Water", "H2O", 1.0);
        Set("Quartz", "SiO2", 2.65);
        owner = std::make_unique<TomographyPropsModel>(doc, doc.GetSample().FindChanIndex("ct"), &prompt);
        ASSERT_TRUE(owner->Open());
        path = std::filesystem::temp_directory_path() / ("matfilter_" + std::to_string(::getpid()) + ".txt");
    }
    void TearDown() override {
        Compound::SetPrompt(nullptr);
        std::filesystem::remove(path);
    }
    void Set(const std::string& channel, const std::string& formula, double density) {
        ZunChan* c = doc.GetSample().FindChan(channel);
        ASSERT_EQ(c->compound.SetFormula(formula, true), 0);
        c->compound.density = density;
    }
    double Lac(const std::string& formula, double density, double keV) {
        Compound c;
        c.SetFormula(formula, true);
        c.density = density;
        return c.LinearAttenuation(doc.Settings().attenuationMethod, 0, 0, keV);
    }
    std::string Write(const std::string& text) {
        std::ofstream(path) << text;
        return path.string();
    }

    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    std::unique_ptr<TomographyPropsModel> owner;
    std::filesystem::path path;
};

TEST_F(MaterialFilterTest, TransmissionFollowsTheCompoundsAttenuation) {
    owner->AddMaterialFilter("Layer");
    MaterialFilterModel m(*owner, "Layer", &prompt);
    m.Open();
    ASSERT_EQ(m.materials.size(), 1u);  // the empty row
    EXPECT_TRUE(m.tableRows.empty());
    EXPECT_FALSE(m.EditMaterialCell(0, 0, "H2Q"));
    EXPECT_EQ(prompt.Requests().back().text, "Invalid compositional formula");
    EXPECT_FALSE(m.EditMaterialCell(0, 1, "-1"));
    ASSERT_TRUE(m.EditMaterialCell(0, 0, "H2O"));
    ASSERT_TRUE(m.EditMaterialCell(0, 1, "1"));
    ASSERT_TRUE(m.EditMaterialCell(0, 2, "0.5"));
    ASSERT_TRUE(m.EditMaterialCell(1, 0, "SiO2"));
    ASSERT_TRUE(m.EditMaterialCell(1, 1, "2.65"));
    ASSERT_TRUE(m.EditMaterialCell(1, 2, "0.5"));
    EXPECT_EQ(m.materials.size(), 3u);
    m.thicknessText = "2";  // mm
    m.minText = "0";
    m.maxText = "50";
    m.intervalText = "10";
    prompt.Clear();
    ASSERT_TRUE(m.Apply());
    const FilterTable& t = m.Working().table;
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t.at(0.0f), 0.0f);  // no lookup at energy 0
    const double density = 0.5 * 1.0 + 0.5 * 2.65;
    for (float e : {10.0f, 30.0f, 50.0f}) {
        Compound mix;
        ASSERT_EQ(mix.SetFormula("(H2O)0.5(SiO2)0.5", true), 0);
        mix.density = density;
        EXPECT_FLOAT_EQ(
            t.at(e), static_cast<float>(
                         std::exp(-mix.LinearAttenuation(doc.Settings().attenuationMethod, 0, 0, e) * 0.2)))
            << e;
    }
    EXPECT_GT(t.at(50.0f), t.at(10.0f));
    EXPECT_TRUE(prompt.Requests().empty());  // a grid as typed: no message
    MaterialFilter handed;
    ASSERT_TRUE(owner->GetMaterialFilter("Layer", handed));
    EXPECT_EQ(handed.table, t);
    EXPECT_DOUBLE_EQ(handed.thickness, 0.2);

    // Switching to eV rewrites the range; an invalid entry refuses the switch.
    ASSERT_TRUE(m.SetUnit(0));
    EXPECT_EQ(m.maxText, "50000");
    EXPECT_EQ(m.intervalText, "10000");
    EXPECT_EQ(m.tableRows[1].first, "10000");
    m.minText = "x";
    EXPECT_FALSE(m.SetUnit(1));
    EXPECT_EQ(m.Unit(), 0);
    EXPECT_EQ(prompt.Requests().back().text, "Invalid beam energy min, max or interval entry");
}

TEST_F(MaterialFilterTest, PointLimitAndNormalisationMessages) {
    owner->AddMaterialFilter("Layer");
    MaterialFilterModel m(*owner, "Layer", &prompt);
    m.Open();
    m.materials = {{"H2O", "1", "0.8"}, {"SiO2", "2.65", "0.4"}, {}};
    m.minText = "0";
    m.maxText = "100";
    m.intervalText = "0.001";
    prompt.Clear();
    ASSERT_TRUE(m.Apply());
    ASSERT_EQ(prompt.Requests().size(), 2u);
    EXPECT_EQ(prompt.Requests()[0].text, "Sum of volume fractions is greater than 1, will be normalised");
    EXPECT_EQ(prompt.Requests()[1].text,
              "Number of graph points will be limited to 10001\nby adjusting Interval to 0.01 keV");
    EXPECT_EQ(m.Working().table.size(), 10001u);
    EXPECT_EQ(m.intervalText, "0.001");  // the typed values stay
}

TEST_F(MaterialFilterTest, MaterialListFileRoundTripAndErrors) {
    owner->AddMaterialFilter("Layer");
    MaterialFilterModel m(*owner, "Layer", &prompt);
    m.caption = "doc: 'ct' Filter 'Layer' Properties";
    m.Open();
    m.materials = {{"H2O", "1", "0.5"}, {"CaCO3", "2.71", "0.5"}, {}};
    ASSERT_TRUE(m.Apply());
    ASSERT_TRUE(m.ExportMaterials(path.string()));
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "# doc: 'ct' Filter 'Layer' Properties\n            H2O              1\n"
              "          CaCO3           2.71\n");
    ASSERT_TRUE(m.ImportMaterials(path.string()));
    ASSERT_EQ(m.Working().compositions.size(), 2u);
    EXPECT_EQ(m.Working().compositions[1], (FilterComposition{"CaCO3", 2.71, 0.0}));
    EXPECT_TRUE(m.tableRows.empty());  // every fraction 0: nothing to compute

    ASSERT_TRUE(m.ImportMaterials(Write("CaCO3 2.71 0.3\n# note\nAl\nCu 8.9 abc\nFe 7.8\n")));
    EXPECT_EQ(m.Working().compositions,
              (std::vector<FilterComposition>{{"CaCO3", 2.71, 0.3}, {"Al", 0.0, 0.0}}));
    EXPECT_EQ(prompt.Requests().back().text, "Non-numeric volume fraction value in file");
    ASSERT_TRUE(m.ImportMaterials(Write("Al 2.7\n5 1\n")));
    EXPECT_EQ(m.Working().compositions.size(), 1u);
    EXPECT_EQ(prompt.Requests().back().text, "Invalid composition formula in file");
    ASSERT_TRUE(m.ImportMaterials(Write("Al x\n")));
    EXPECT_EQ(prompt.Requests().back().text, "Non-numeric density value in file");
    EXPECT_EQ(m.materials.size(), 1u);
}

TEST_F(MaterialFilterTest, BeamHardeningMirrorsTheCompositionsAndTakesCurrentFractions) {
    // Water fills every voxel, quartz none; the channel "Void" has no formula and no row.
    ZunChan* water = doc.GetSample().FindChan("Water");
    for (int v = 0; v < 4; ++v) water->Data()[v] = 16383;
    MaterialFilter bh;
    ASSERT_TRUE(owner->GetMaterialFilter("Beam Hardening", bh));
    bh.compositions = {{"SiO2", 2.5, 0.25}};
    owner->PutMaterialFilter("Beam Hardening", bh);

    MaterialFilterModel m(*owner, "Beam Hardening", &prompt);
    m.Open();
    ASSERT_EQ(m.Working().compositions.size(), 2u);
    EXPECT_EQ(m.Working().compositions[0], (FilterComposition{"H2O", 1.0, 0.0}));
    EXPECT_EQ(m.Working().compositions[1], (FilterComposition{"SiO2", 2.5, 0.25}));  // kept by formula
    EXPECT_EQ(m.materials.size(), 2u);                                               // no empty row
    EXPECT_FALSE(m.IsMaterialCellEditable(0));
    EXPECT_FALSE(m.EditMaterialCell(0, 1, "3"));
    m.GetCurrent();
    EXPECT_DOUBLE_EQ(m.Working().compositions[0].fraction, 1.0);
    EXPECT_DOUBLE_EQ(m.Working().compositions[1].fraction, 0.0);
    EXPECT_FALSE(m.tableRows.empty());
    prompt.QueueAnswer(kPromptOk);
    m.Clear();
    EXPECT_EQ(m.Working().compositions.size(), 2u);
    EXPECT_EQ(m.Working().compositions[0].fraction, 0.0);
    EXPECT_TRUE(m.tableRows.empty());
}

}  // namespace
