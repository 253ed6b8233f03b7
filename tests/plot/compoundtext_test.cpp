// The attenuation table: field checks, the energy grid, the quantities against the material
// model's own lookups, both normalisations, penetration depths, edge flags, captions, the table
// text and its file, renames and the rows the attenuation matrix starts from.

#include "plot/compoundtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "compute/model.h"
#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "platform/progress.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string kMu = attensym::kMu, kBeta = attensym::kBeta, kPhi = attensym::kPhi,
                  kDelta = attensym::kDelta;

class CompoundTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDocumentClasses();
        doc.OnNewDocument();
        AddComposition("water", "H2O", 1.0);
        AddComposition("iodine", "KI", 3.12);
        doc.Settings().attenuationMethod = kAttenTlacTrc;
        doc.SetModifiedFlag(false);
        dir = std::filesystem::temp_directory_path() /
              ("zun_compoundtext_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void AddComposition(const std::string& name, const std::string& formula, double density) {
        ASSERT_EQ(doc.InsertChannel(0, doc.InsertPositionLast(0), name), 0);
        Compound& c = doc.GetSample().GetChan(doc.GetSample().FindChanIndex(name))->compound;
        ASSERT_EQ(c.SetFormula(formula, true), 0);
        c.density = density;
    }
    const Compound& Comp(const std::string& name) {
        return doc.GetSample().GetChan(doc.GetSample().FindChanIndex(name))->compound;
    }
    std::unique_ptr<CompoundTextModel> Make(std::vector<std::string> channels) {
        auto m = std::make_unique<CompoundTextModel>(doc, std::move(channels), &prompt);
        m->title = "doc: Multiple Channel X-ray Attenuation Properties";
        m->Open();
        return m;
    }
    static CompoundTextFields Grid(CompoundTextModel& m, const char* lo, const char* hi, const char* step) {
        CompoundTextFields f = m.FieldsFromSettings();
        f.minEnergy = lo;
        f.maxEnergy = hi;
        f.interval = step;
        return f;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& r : prompt.Requests()) t.push_back(r.text);
        return t;
    }

    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    std::filesystem::path dir;
};

TEST(CompoundTextGrid, CountsRowsAsTheWindowAlwaysHas) {
    EXPECT_EQ(CompoundTextModel::EnergyCount(10.0f, 50.0f, 0.1f), 401);
    EXPECT_EQ(CompoundTextModel::EnergyCount(10.0f, 50.0f, 0.0f), 1);
    EXPECT_EQ(CompoundTextModel::EnergyCount(10.0f, 10.0f, 1.0f), 1);
    EXPECT_EQ(CompoundTextModel::EnergyCount(10.0f, 12.5f, 1.0f), 4);  // the last row passes the maximum
    EXPECT_EQ(CompoundTextModel::EnergyCount(50.0f, 10.0f, 1.0f), 0);
}

TEST(CompoundTextFormat, ColumnWidthFollowsWidthOrPrecision) {
    int w = -1;
    ASSERT_TRUE(CompoundTextModel::ColumnWidth("8.3e", &w));
    EXPECT_EQ(w, 8);
    ASSERT_TRUE(CompoundTextModel::ColumnWidth(".5g", &w));
    EXPECT_EQ(w, 6);
    ASSERT_TRUE(CompoundTextModel::ColumnWidth("10g", &w));
    EXPECT_EQ(w, 10);
    ASSERT_TRUE(CompoundTextModel::ColumnWidth("3.8f", &w));
    EXPECT_EQ(w, 9);
    ASSERT_TRUE(CompoundTextModel::ColumnWidth("g", &w));
    EXPECT_EQ(w, 0);
    for (const char* bad : {"", "d", "10s", "%10g", "10g%s", "200g", ".100f"})
        EXPECT_FALSE(CompoundTextModel::ColumnWidth(bad, &w)) << bad;
}

TEST(CompoundTextNames, SplitTakesTheFirstSymbolFound) {
    std::string channel;
    int q = -1;
    ASSERT_TRUE(CompoundTextModel::SplitSeriesName("water " + kPhi, &channel, &q));
    EXPECT_EQ(channel, "water");
    EXPECT_EQ(q, kQuantityPhi);
    // mu is searched first wherever it stands: a channel named with a symbol cannot be split back.
    ASSERT_TRUE(CompoundTextModel::SplitSeriesName("a" + kBeta + "b " + kMu, &channel, &q));
    EXPECT_EQ(channel, "a" + kBeta + "b");
    EXPECT_EQ(q, kQuantityMu);
    ASSERT_TRUE(CompoundTextModel::SplitSeriesName("x" + kMu + "y " + kDelta, &channel, &q));
    EXPECT_EQ(channel, "x");
    EXPECT_EQ(q, kQuantityMu);
    EXPECT_FALSE(CompoundTextModel::SplitSeriesName("water", &channel, &q));
}

TEST_F(CompoundTextTest, OpeningPutsDefaultsAndOffersTheCandidateSeries) {
    doc.Settings().compoundText.normalisation = 2;
    doc.Settings().compoundText.phi = true;
    auto one = std::make_unique<CompoundTextModel>(doc, std::vector<std::string>{"water"}, &prompt);
    one->settings = doc.Settings().compoundText;
    one->Open();
    EXPECT_EQ(one->settings.energies, (std::vector<float>{10.0f, 50.0f, 0.1f}));
    EXPECT_EQ(one->settings.normalisation, 0);  // one channel cannot be normalised to another
    EXPECT_TRUE(one->settings.phi);
    EXPECT_EQ(one->settings.quantityMask, 5);

    auto two = Make({"water", "iodine"});
    EXPECT_EQ(
        two->NormalisationCandidates(0),
        (std::vector<std::string>{"water " + kMu, "water " + kBeta, "water " + kPhi, "water " + kDelta,
                                  "iodine " + kMu, "iodine " + kBeta, "iodine " + kPhi, "iodine " + kDelta}));
    EXPECT_EQ(two->NormalisationCandidates(1),
              (std::vector<std::string>{"water " + kMu, "water " + kPhi, "iodine " + kMu, "iodine " + kPhi}));
    EXPECT_EQ(two->settings.normalisationSeries, "water " + kMu);

    // No phase data: phi and delta go, and the combo offers no phase series.
    doc.Settings().attenuationMethod = kAttenNist;
    auto nist =
        std::make_unique<CompoundTextModel>(doc, std::vector<std::string>{"water", "iodine"}, &prompt);
    nist->settings = doc.Settings().compoundText;
    nist->settings.delta = true;
    nist->Open();
    EXPECT_FALSE(nist->settings.phi);
    EXPECT_FALSE(nist->settings.delta);
    EXPECT_EQ(
        nist->NormalisationCandidates(0),
        (std::vector<std::string>{"water " + kMu, "water " + kBeta, "iodine " + kMu, "iodine " + kBeta}));
}

TEST_F(CompoundTextTest, FieldChecksRefuseEveryBadNumberWhateverTheSwitches) {
    auto m = Make({"water"});
    const CompoundTextSettings before = m->settings;
    struct Case {
        const char* what;
        void (*edit)(CompoundTextFields&);
    };
    const Case cases[] = {
        {"empty minimum", [](CompoundTextFields& f) { f.minEnergy = ""; }},
        {"negative maximum", [](CompoundTextFields& f) { f.maxEnergy = "-1"; }},
        {"maximum below minimum", [](CompoundTextFields& f) { f.maxEnergy = "5"; }},
        {"text interval", [](CompoundTextFields& f) { f.interval = "abc"; }},
        {"empty transmission, depth off", [](CompoundTextFields& f) { f.transmissionRatio = ""; }},
        {"transmission above 100", [](CompoundTextFields& f) { f.transmissionRatio = "100.5"; }},
        {"negative normalisation energy, mode 0",
         [](CompoundTextFields& f) { f.normalisationEnergy = "-2"; }},
        {"nan energy", [](CompoundTextFields& f) { f.minEnergy = "nan"; }},
    };
    for (const Case& c : cases) {
        prompt.Clear();
        CompoundTextFields f = m->FieldsFromSettings();
        c.edit(f);
        EXPECT_FALSE(m->ReadFields(f)) << c.what;
        EXPECT_EQ(Texts(), std::vector<std::string>{"Invalid numeric entry"}) << c.what;
        EXPECT_EQ(m->settings, before) << c.what;
    }
    CompoundTextFields ok = Grid(*m, "1", "100", "0");
    ok.transmissionRatio = "100";
    ok.beta = true;
    ASSERT_TRUE(m->ReadFields(ok));
    EXPECT_EQ(m->settings.energies, (std::vector<float>{1.0f, 100.0f, 0.0f}));
    EXPECT_EQ(m->settings.quantityMask, 3);
}

TEST_F(CompoundTextTest, ValuesAreTheMaterialModelsAttenuation) {
    auto m = Make({"water", "iodine"});
    CompoundTextFields f = Grid(*m, "10", "50", "0.1");
    f.mu = f.beta = f.phi = f.delta = true;
    ASSERT_TRUE(m->ReadFields(f));
    ASSERT_TRUE(m->Calculate());
    ASSERT_EQ(m->Energies().size(), 401u);
    EXPECT_DOUBLE_EQ(m->Energies()[1], 1.0 * static_cast<double>(0.1f) + 10.0);
    ASSERT_EQ(m->Series().size(), 8u);
    EXPECT_EQ(m->Series()[1].name, "water " + kBeta);
    EXPECT_EQ(m->Series()[4].name, "iodine " + kMu);

    for (const AttenSeries& a : m->Series()) {
        const Compound& c = Comp(a.channel);
        for (std::size_t i : {std::size_t{0}, std::size_t{123}, std::size_t{400}}) {
            const double e = m->Energies()[i];
            const double mu = c.MassAttenuation(kAttenTlacTrc, kLinearAttenuation, kAttenTotal, e);
            const double phi = c.MassAttenuation(kAttenTlacTrc, kLinearPhaseShift, kAttenTotal, e);
            const double expected[4] = {mu, mu * 1.24e-7 / e / (4 * M_PI), phi,
                                        phi * 1.24e-7 / e / (2 * M_PI)};
            EXPECT_NEAR(a.mass[i] / expected[a.quantity], 1.0, 1e-12) << a.name << " at " << e;
            EXPECT_NEAR(a.linear[i] / (expected[a.quantity] * c.density), 1.0, 1e-12) << a.name;
            if (a.quantity == kQuantityMu) {
                EXPECT_NEAR(a.linear[i] / c.LinearAttenuation(kAttenTlacTrc, 0, kAttenTotal, e), 1.0, 1e-12);
            }
        }
    }
    // The photoelectric kind changes the attenuation but never the phase.
    doc.Settings().coefficientKind = kAttenPhoto;
    ASSERT_TRUE(m->Calculate());
    const double e = m->Energies()[0];
    EXPECT_DOUBLE_EQ(m->Series()[0].mass[0], Comp("water").MassAttenuation(kAttenTlacTrc, 0, kAttenPhoto, e));
    EXPECT_DOUBLE_EQ(m->Series()[2].mass[0], Comp("water").MassAttenuation(kAttenTlacTrc, 1, kAttenTotal, e));
}

// The real decrement delta = 1 - Re(n) is positive below every absorption edge: in the table,
// the graph, the saved file and the normalised modes.
TEST_F(CompoundTextTest, DeltaIsTheRealDecrementOfTheRefractiveIndex) {
    AddComposition("calcite", "CaCO3", 2.71);
    // 1 - xraylib.Refractive_Index_Re(formula, E, density), xraylib 4 (python3-xraylib), at
    // 10, 20, 35 and 50 keV.
    const struct {
        const char* channel;
        double delta[4];
    } reference[] = {
        {"calcite",
         {5.67507286908242e-06, 1.4111302278907445e-06, 4.594534178670173e-07, 2.249027715173213e-07}},
        {"water",
         {2.3120990682024e-06, 5.764546362474476e-07, 1.8808607737952343e-07, 9.214249585554057e-08}},
    };
    const std::size_t rows[4] = {0, 2, 5, 8};  // 10, 20, 35, 50 keV on the 5 keV grid
    for (int method : {kAttenTlacTrc, kAttenExtended}) {
        doc.Settings().attenuationMethod = method;
        auto m = Make({"calcite", "water"});
        CompoundTextFields f = Grid(*m, "10", "50", "5");
        f.mu = false;
        f.delta = true;
        ASSERT_TRUE(m->Recalculate(f)) << method;
        ASSERT_EQ(m->Series().size(), 2u);
        for (std::size_t k = 0; k < 2; ++k) {
            const AttenSeries& a = m->Series()[k];
            ASSERT_EQ(a.name, std::string(reference[k].channel) + " " + kDelta);
            for (std::size_t i = 0; i < 4; ++i) {
                // The table's wavelength takes hc as 1.24e-7 keV cm, 0.013 % above its value.
                EXPECT_NEAR(a.linear[rows[i]] / reference[k].delta[i], 1.0, 1e-3)
                    << a.name << " method " << method << " at " << m->Energies()[rows[i]];
                EXPECT_EQ(m->PlotValues(k)[rows[i]], a.linear[rows[i]]);
            }
        }
        // The saved table shows no negative value in the delta columns.
        const std::string path = (dir / "delta.txt").string();
        ASSERT_TRUE(m->SaveTable(path));
        const std::string text = ReadFile(path);
        EXPECT_EQ(text.find("\t-"), std::string::npos) << text;
        EXPECT_NE(text.find("\t5.67"), std::string::npos) << text;
    }

    // Normalised to another channel's attenuation the ratio keeps delta's sign; normalised to
    // another channel's delta it is the ratio of the two decrements.
    doc.Settings().attenuationMethod = kAttenTlacTrc;
    auto m = Make({"calcite", "water"});
    CompoundTextFields f = Grid(*m, "10", "50", "5");
    f.mu = true;
    f.delta = true;
    f.normalisation = 2;
    f.normalisationSeries = "water " + kMu;
    ASSERT_TRUE(m->Recalculate(f));
    for (const AttenSeries& a : m->Series())
        for (double v : a.linear) EXPECT_GT(v, 0.0) << a.name;
    f.normalisationSeries = "water " + kDelta;
    ASSERT_TRUE(m->Recalculate(f));
    const AttenSeries& calcite = m->Series()[1];
    ASSERT_EQ(calcite.name, "calcite " + kDelta);
    EXPECT_NEAR(calcite.mass[0] / (5.67507286908242e-06 / 2.71 / 2.3120990682024e-06), 1.0, 1e-3);
}

TEST_F(CompoundTextTest, EdgesFlagTheRiseAcrossTheIodineKEdge) {
    auto m = Make({"water", "iodine"});
    CompoundTextFields f = Grid(*m, "30", "36", "0.5");
    f.phi = true;
    ASSERT_TRUE(m->ReadFields(f));
    ASSERT_TRUE(m->Calculate());
    const auto& energies = m->Energies();
    for (const AttenSeries& a : m->Series()) {
        for (std::size_t i = 0; i < energies.size(); ++i) {
            // Iodine's K edge lies at 33.17 keV; water has no edge here.
            const bool edge = a.channel == "iodine" && energies[i] > 33.17 && energies[i - 1] < 33.17;
            EXPECT_EQ(a.edges[i] != 0, edge) << a.name << " at " << energies[i];
        }
    }
}

TEST_F(CompoundTextTest, NormalisationToAnEnergyAndToAChannel) {
    auto m = Make({"water", "iodine"});
    CompoundTextFields f = Grid(*m, "20", "40", "5");
    f.mu = f.beta = true;
    f.normalisation = 1;
    f.normalisationEnergy = "25";
    ASSERT_TRUE(m->ReadFields(f));
    ASSERT_TRUE(m->Calculate());
    for (const AttenSeries& a : m->Series()) {
        EXPECT_NEAR(a.mass[1], 1.0, 1e-12) << a.name;  // 25 keV is the second row
        EXPECT_EQ(a.linear, a.mass) << a.name;
    }
    EXPECT_EQ(m->TitleText(), kMu + "_tot," + kBeta + "_tot (norm to 25keV)");

    f.normalisation = 2;
    f.normalisationSeries = "water " + kMu;
    ASSERT_TRUE(m->ReadFields(f));
    ASSERT_TRUE(m->Calculate());
    // The normalising series itself leaves the table.
    ASSERT_EQ(m->Series().size(), 3u);
    EXPECT_EQ(m->Series()[0].name, "water " + kBeta);
    const AttenSeries& iodine = m->Series()[1];
    EXPECT_EQ(iodine.name, "iodine " + kMu);
    for (std::size_t i = 0; i < m->Energies().size(); ++i) {
        const double e = m->Energies()[i];
        const double ratio =
            Comp("iodine").MassAttenuation(1, 0, 0, e) / Comp("water").MassAttenuation(1, 0, 0, e);
        EXPECT_NEAR(iodine.mass[i] / ratio, 1.0, 1e-12);
        EXPECT_NEAR(iodine.linear[i] / (ratio * 3.12 / 1.0), 1.0, 1e-6);
    }
    EXPECT_EQ(m->NormalisingEdges(), std::vector<std::uint8_t>(5, 0));
    EXPECT_EQ(m->TitleText(), kMu + "_tot," + kBeta + "_tot (norm to 'water " + kMu + "')");

    // A series name the symbols do not split refuses the calculation and keeps the old results.
    prompt.Clear();
    m->settings.normalisationSeries = "water";
    EXPECT_FALSE(m->Calculate());
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text.rfind("Unknown language detected.", 0), 0u);
    EXPECT_EQ(m->Series().size(), 3u);
}

TEST_F(CompoundTextTest, PenetrationDepthFollowsTheLinearAttenuation) {
    auto m = Make({"iodine"});
    CompoundTextFields f = Grid(*m, "10", "30", "10");
    f.phi = true;
    f.penetrationDepth = true;
    f.transmissionRatio = "37";
    ASSERT_TRUE(m->ReadFields(f));
    ASSERT_TRUE(m->Calculate());
    for (const AttenSeries& a : m->Series())
        for (std::size_t i = 0; i < 3; ++i) {
            const double lac = Comp("iodine").LinearAttenuation(1, 0, 0, m->Energies()[i]);
            EXPECT_NEAR(a.depth[i], -10.0 * std::log(0.37) / lac, 1e-5 * a.depth[i]) << a.name;
        }
}

TEST_F(CompoundTextTest, CaptionsByKindMaskAndMode) {
    auto m = Make({"water"});
    struct Case {
        int kind, mask, mode;
        std::string title;
    };
    const Case cases[] = {
        {0, 1, 0, kMu + "_tot (1/cm)"},
        {1, 1, 0, kMu + "_m_tot (cm^2/g)"},
        {1, 4, 0, kPhi + "_m (cm^2/g)"},
        {1, 5, 0, kMu + "_m_tot," + kPhi + "_m (cm^2/g)"},
        {0, 2, 0, kBeta + "_tot"},
        {0, 4, 0, kPhi + " (1/cm)"},
        {0, 5, 1, kMu + "_tot," + kPhi + " (norm to 10keV)"},
        {0, 8, 0, kDelta},
        {0, 10, 0, "Imaginary Refractive Index"},
        {0, 15, 0, kMu + "_tot," + kPhi + "," + kBeta + "_tot," + kDelta},
        {0, 3, 0, kMu + "_tot," + kBeta + "_tot"},
    };
    for (const Case& c : cases) {
        m->settings.attenuationKind = c.kind;
        m->settings.quantityMask = c.mask;
        m->settings.mu = c.mask & 1;
        m->settings.beta = c.mask & 2;
        m->settings.phi = c.mask & 4;
        m->settings.delta = c.mask & 8;
        m->settings.normalisation = c.mode;
        EXPECT_EQ(m->TitleText(), c.title) << c.kind << "/" << c.mask;
    }
    EXPECT_EQ(m->Caption(), kMu + "_tot," + kBeta + "_tot vs Beam Energy (keV)");
    doc.Settings().coefficientKind = kAttenPhoto;
    m->settings.quantityMask = 1;
    m->settings.beta = false;
    m->settings.attenuationKind = 1;
    EXPECT_EQ(m->TitleText(), kMu + "_m_pe (cm^2/g)");
}

TEST_F(CompoundTextTest, PhaseWithoutPhaseDataAndBadFormatsAreRefused) {
    auto m = Make({"water"});
    doc.Settings().attenuationMethod = kAttenMucal;
    m->settings.phi = true;
    EXPECT_FALSE(m->Calculate());
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text,
              "The phase shift coefficient cannot be computed with the\nmucal attenuation method - change "
              "graph type "
              "or change Attenuation Properties Method.");

    doc.Settings().attenuationMethod = kAttenTlacTrc;
    prompt.Clear();
    m->settings.tableFormat = "10d";
    ASSERT_TRUE(m->Calculate());
    EXPECT_FALSE(m->BuildTable());
    EXPECT_EQ(Texts(), std::vector<std::string>{"Invalid data format string"});

    // A grid too fine to hold is refused before anything is allocated.
    prompt.Clear();
    ASSERT_TRUE(m->ReadFields(Grid(*m, "1", "1000", "0.0001")));
    EXPECT_FALSE(m->Calculate());
    EXPECT_EQ(Texts(), std::vector<std::string>{attenmsg::kTooManyEnergies});
}

TEST_F(CompoundTextTest, TableAndSavedFileMatchTheGoldenFile) {
    auto m = Make({"water", "iodine"});
    m->settings.normalisationSeries = "water " + kMu;
    CompoundTextFields f = Grid(*m, "32", "34", "0.5");
    f.mu = f.beta = true;
    f.penetrationDepth = true;
    f.markEdges = true;
    f.showWavelength = true;
    f.tableFormat = "8.4g";
    ASSERT_TRUE(m->Recalculate(f));
    const std::string path = (dir / "atten.txt").string();
    ASSERT_TRUE(m->SaveTable(path));
    const std::string golden = ReadFile(std::string(ZUN_TEST_DIR) + "/data/attenuation_table.txt");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(ReadFile(path), golden);

    // A second save without Recalculate writes the same table again, never the comments alone.
    const std::string second = (dir / "atten2.txt").string();
    ASSERT_TRUE(m->SaveTable(second));
    EXPECT_EQ(ReadFile(second), golden);

    prompt.Clear();
    EXPECT_FALSE(m->SaveTable((dir / "missing" / "x.txt").string()));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Could not open " + (dir / "missing" / "x.txt").string()});
}

TEST_F(CompoundTextTest, TableIgnoresADecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    auto m = Make({"water", "iodine"});
    CompoundTextFields f = Grid(*m, "32", "34", "0.5");
    f.mu = f.beta = true;
    f.penetrationDepth = f.markEdges = f.showWavelength = true;
    f.tableFormat = "8.4g";
    const bool ok = m->Recalculate(f) && m->SaveTable((dir / "atten.txt").string());
    std::setlocale(LC_ALL, previous.c_str());
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadFile((dir / "atten.txt").string()),
              ReadFile(std::string(ZUN_TEST_DIR) + "/data/attenuation_table.txt"));
}

TEST_F(CompoundTextTest, LongTablesShowProgressAndCanBeCancelled) {
    auto m = Make({"water"});
    int opened = 0;
    HeadlessProgress* last = nullptr;
    int cancelAt = 0;
    m->openProgress = [&](const std::string& title) -> std::unique_ptr<ProgressSink> {
        ++opened;
        EXPECT_EQ(title, m->title + " Calculate X-ray Attenuation Graph data");
        auto p = std::make_unique<HeadlessProgress>();
        p->CancelAtCall(cancelAt);
        last = p.get();
        return p;
    };
    ASSERT_TRUE(m->Recalculate(Grid(*m, "1", "1000", "1")));  // 1000 rows
    EXPECT_EQ(opened, 0);
    ASSERT_TRUE(m->Recalculate(Grid(*m, "1", "1001", "1")));
    EXPECT_EQ(opened, 1);
    EXPECT_GT(last->Calls(), 0);
    EXPECT_TRUE(prompt.Requests().empty());

    cancelAt = 11;
    ASSERT_TRUE(m->Recalculate(Grid(*m, "1", "1001", "1")));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Data calculation cancelled"});
    // Two header lines and the ten rows before the cancel.
    EXPECT_EQ(std::count(m->Table().begin(), m->Table().end(), '\n'), 12);
}

TEST_F(CompoundTextTest, RenameFollowsIntoTitleChannelsAndNormalisation) {
    auto m = Make({"water", "iodine"});
    m->title = "doc: Channel 'water' X-ray Attenuation Properties";
    m->settings.normalisation = 2;
    m->settings.normalisationSeries = "water " + kPhi;
    ASSERT_TRUE(m->Calculate());
    EXPECT_FALSE(m->RenameChannel("other", "x"));
    ASSERT_TRUE(m->RenameChannel("water", "H2O"));
    EXPECT_EQ(m->title, "doc: Channel 'H2O' X-ray Attenuation Properties");
    EXPECT_EQ(m->Channels(), (std::vector<std::string>{"H2O", "iodine"}));
    EXPECT_EQ(m->settings.normalisationSeries, "H2O " + kPhi);
    ASSERT_EQ(doc.RenameChannel("water", "H2O"), 0);
    ASSERT_TRUE(m->Calculate());
    EXPECT_EQ(m->Series().front().name, "H2O " + kMu);
    EXPECT_EQ(m->GraphSeriesName(0), "H2O " + kMu + ", d=1");
    EXPECT_EQ(m->SaveDialogTitle(), doc.GetNameText() + " Multiple Channels Save Attenuation Graph Text");
    EXPECT_EQ(Make({"H2O"})->SaveDialogTitle(),
              doc.GetNameText() + " Channel 'H2O' Save Attenuation Graph Text");
    EXPECT_TRUE(m->ShowsChannel(doc.GetSample().FindChanIndex("iodine")));
    EXPECT_FALSE(m->ShowsChannel(0));  // "Void"
}

TEST_F(CompoundTextTest, OkStoresOnlyChangesAndMatrixRowsComeFromTheCtChannels) {
    auto m = Make({"water", "iodine"});
    m->settings = doc.Settings().compoundText;
    m->ApplyToDocument();
    EXPECT_FALSE(doc.IsModified());
    m->settings.markEdges = true;
    m->ApplyToDocument();
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.Settings().compoundText.markEdges);

    ASSERT_EQ(doc.InsertChannel(1, doc.InsertPositionLast(1), "ct_30"), 0);
    ASSERT_EQ(doc.InsertChannel(1, doc.InsertPositionLast(1), "ct_poly"), 0);
    Params& p = doc.GetModel().GetParams();
    ASSERT_GE(p.ctBeamEnergy.size(), 3u);
    p.ctBeamEnergy[1] = 30.0f;
    p.ctBeamEnergy[2] = 60.0f;
    doc.GetSample().GetChan(doc.GetSample().FindChanIndex("ct_poly"))->polychromatic = true;
    EXPECT_EQ(m->MatrixRows(), (std::vector<AttenEnergyRow>{{30.0f, ""}}));

    m->settings.matrixEnergies = {12.5, 40.0};
    EXPECT_EQ(m->MatrixRows(), (std::vector<AttenEnergyRow>{{12.5f, ""}, {40.0f, ""}}));
    m->KeepMatrixRows({{15.0f, "p"}});
    EXPECT_EQ(m->MatrixRows(), (std::vector<AttenEnergyRow>{{15.0f, "p"}}));
    EXPECT_EQ(m->settings.matrixEnergies, std::vector<double>{15.0});
}

}  // namespace
