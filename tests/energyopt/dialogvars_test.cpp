// The energy-optimisation settings record in the archive (exact bytes, round trip, damaged
// counts) and in a saved document, and what the sheet decides without a window: composition
// reconciliation and failure texts.

#include <gtest/gtest.h>

#include <cstring>

#include "document/dochelpers.h"
#include "document/testfiles.h"
#include "energyopt/dialogvars.h"
#include "energyopt/sheetmodel.h"
#include "foundation/foundationclasses.h"

using namespace EnergyOpt;
using zun::Archive;
using zun::MemoryStream;

namespace {

std::vector<uint8_t> Store(const DialogVars& v) {
    MemoryStream s;
    {
        Archive ar(s, Archive::Mode::Store);
        ar.WriteObject(&v);
        ar.Flush();
    }
    return s.Bytes();
}

std::unique_ptr<DialogVars> Load(std::vector<uint8_t> bytes) {
    RegisterEnergyOptClasses();
    zun::RegisterFoundationClasses();
    MemoryStream s(std::move(bytes));
    Archive ar(s, Archive::Mode::Load);
    return ar.ReadOwnedObject<DialogVars>();
}

zun::Matrix<float> MatrixOf(std::vector<std::vector<float>> rows, int cols) {
    zun::Matrix<float> m;
    m.Resize(static_cast<int>(rows.size()), cols);
    for (int r = 0; r < m.Rows(); ++r)
        for (int c = 0; c < cols; ++c) m(r, c) = rows[r][c];
    return m;
}

std::vector<std::vector<float>> RowsOf(const zun::Matrix<float>& m) {
    std::vector<std::vector<float>> out(m.Rows());
    for (int r = 0; r < m.Rows(); ++r) out[r].assign(m[r], m[r] + m.Cols());
    return out;
}

void ExpectSame(const DialogVars& a, const DialogVars& b) {
    EXPECT_EQ(a.compositionNames, b.compositionNames);
    ASSERT_EQ(a.pages.size(), b.pages.size());
    for (std::size_t i = 0; i < a.pages.size(); ++i) {
        EXPECT_EQ(a.pages[i].noiseModel, b.pages[i].noiseModel);
        EXPECT_EQ(a.pages[i].targetMixtures.Cols(), b.pages[i].targetMixtures.Cols());
        EXPECT_EQ(RowsOf(a.pages[i].targetMixtures), RowsOf(b.pages[i].targetMixtures));
    }
    EXPECT_EQ(a.maxIterations, b.maxIterations);
    ASSERT_EQ(a.beamDomains.size(), b.beamDomains.size());
    for (std::size_t i = 0; i < a.beamDomains.size(); ++i) {
        EXPECT_EQ(a.beamDomains[i].energyCount, b.beamDomains[i].energyCount);
        EXPECT_EQ(a.beamDomains[i].minEnergy, b.beamDomains[i].minEnergy);
        EXPECT_EQ(a.beamDomains[i].maxEnergy, b.beamDomains[i].maxEnergy);
    }
    auto energies = [](const std::vector<TypedEnergy>& v) {
        std::vector<std::pair<double, int>> out;
        for (auto& e : v) out.emplace_back(e.energy, e.type);
        return out;
    };
    EXPECT_EQ(energies(a.optimisedEnergies), energies(b.optimisedEnergies));
    EXPECT_EQ(energies(a.evaluationEnergies), energies(b.evaluationEnergies));
    EXPECT_EQ(a.metricCompositionNames, b.metricCompositionNames);
    EXPECT_EQ(a.metricMixtures.Cols(), b.metricMixtures.Cols());
    EXPECT_EQ(RowsOf(a.metricMixtures), RowsOf(b.metricMixtures));
    ASSERT_EQ(a.metrics.size(), b.metrics.size());
    for (std::size_t i = 0; i < a.metrics.size(); ++i) {
        EXPECT_EQ(a.metrics[i].sensitivity, b.metrics[i].sensitivity);
        EXPECT_EQ(a.metrics[i].bias, b.metrics[i].bias);
    }
}

DialogVars Filled() {
    DialogVars v;
    v.compositionNames = {"Fe", std::string(255, 'a'), std::string(65534, 'b')};
    v.pages[0].noiseModel = 1;
    v.pages[0].targetMixtures = MatrixOf({{0.25f, 0.75f, 0}, {0, 0, 1}}, 3);
    v.pages[1].targetMixtures = MatrixOf({}, 3);  // no rows, three columns
    v.maxIterations = 17;
    v.beamDomains[0] = {2, 10.5, 150.25};
    v.beamDomains[2] = {1, 20, 80};
    v.optimisedEnergies = {{42.5, 0}, {61.0, 2}};
    v.evaluationEnergies = {{30, 1}};
    v.metricCompositionNames = {std::string(254, 'c'), std::string(65533, 'd'), std::string(65535, 'e')};
    v.metricMixtures = MatrixOf({{0.5f, 0.5f, 0}}, 3);
    v.metrics = {{0.125, -3.5e-7}};
    return v;
}

}  // namespace

TEST(DialogVars, FreshRecordStoresGoldenBytes) {
    const std::vector<uint8_t> bytes = Store(DialogVars());
    std::vector<uint8_t> expected;
    auto raw = [&](std::initializer_list<int> b) {
        for (int x : b) expected.push_back(static_cast<uint8_t>(x));
    };
    auto text = [&](const char* s) { expected.insert(expected.end(), s, s + std::strlen(s)); };
    auto zeros = [&](int n) { expected.insert(expected.end(), n, 0); };
    raw({0xFF, 0xFF, 0, 0, 10, 0});
    text("DialogVars");
    raw({0x58, 0x0A, 0, 0, 2, 0, 0, 0});
    zeros(4);
    raw({0xFF, 0xFF, 0, 0, 11, 0});
    text("Matrixfloat");
    zeros(8 + 4);
    raw({0x03, 0x80});
    zeros(8);
    raw({1, 0, 0, 0, 0x03, 0x80});
    zeros(8 + 4);
    raw({3, 0, 0, 0});
    zeros(60 + 16);
    EXPECT_EQ(expected.size(), 165u);
    EXPECT_EQ(bytes, expected);
}

TEST(DialogVars, RoundTripKeepsEveryField) {
    const DialogVars v = Filled();
    std::unique_ptr<DialogVars> back = Load(Store(v));
    ASSERT_TRUE(back);
    ExpectSame(v, *back);
    EXPECT_EQ(back->pages[1].targetMixtures.Rows(), 0);

    // Loading into a record that holds data replaces every list rather than appending.
    DialogVars into = v;
    MemoryStream s;
    {
        Archive ar(s, Archive::Mode::Store);
        DialogVars fresh;
        fresh.Serialize(ar);
    }
    MemoryStream in(s.Bytes());
    Archive ar(in, Archive::Mode::Load);
    into.Serialize(ar);
    ExpectSame(DialogVars(), into);
}

TEST(DialogVars, AssignmentIsDeepAndSelfAssignmentHarmless) {
    DialogVars a = Filled();
    DialogVars& alias = a;
    a = alias;
    ExpectSame(Filled(), a);
    DialogVars b;
    b = a;
    a.pages[0].targetMixtures(0, 0) = 9;
    EXPECT_EQ(b.pages[0].targetMixtures(0, 0), 0.25f);
}

TEST(DialogVars, DamagedCountsAreRefusedOrBounded) {
    DialogVars v = Filled();
    std::vector<uint8_t> good = Store(v);
    // The page count follows the class record (6 + 10 bytes) and the stamp.
    const std::size_t pageCount = 16 + 4;
    auto withInt = [&](std::size_t at, int32_t value) {
        std::vector<uint8_t> b = good;
        std::memcpy(b.data() + at, &value, 4);
        return b;
    };
    EXPECT_THROW(Load(withInt(pageCount, -1)), zun::ArchiveException);
    // A huge count meets the end of the data, not the memory limit.
    EXPECT_THROW(Load(withInt(pageCount, 0x7FFFFFFF)), zun::ArchiveException);

    // Counts other than two pages and three domains load the first entries and pad the rest.
    DialogVars one;
    one.pages.resize(1);
    one.pages[0].noiseModel = 1;
    one.beamDomains.assign(4, {5, 1, 2});
    std::unique_ptr<DialogVars> back = Load(Store(one));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->pages.size(), 2u);
    EXPECT_EQ(back->pages[0].noiseModel, 1);
    EXPECT_EQ(back->pages[1].noiseModel, 0);
    ASSERT_EQ(back->beamDomains.size(), 3u);
    EXPECT_EQ(back->beamDomains[2].energyCount, 5);
    // Loaded over a record that had both pages, the missing page comes back as the default.
    DialogVars over = Filled();
    over.pages[1].noiseModel = 1;
    {
        MemoryStream s;
        {
            Archive ar(s, Archive::Mode::Store);
            one.Serialize(ar);
            ar.Flush();
        }
        MemoryStream in(s.Bytes());
        Archive ar(in, Archive::Mode::Load);
        over.Serialize(ar);
    }
    ASSERT_EQ(over.pages.size(), 2u);
    EXPECT_EQ(over.pages[0].noiseModel, 1);
    EXPECT_EQ(over.pages[1].noiseModel, 0);
    EXPECT_EQ(over.pages[1].targetMixtures.Rows(), 0);

    // A file that ends inside the record raises the archive's end-of-file error.
    std::vector<uint8_t> cut(good.begin(), good.end() - 5);
    EXPECT_THROW(Load(cut), zun::ArchiveException);
}

TEST(DialogVars, SavedDocumentReopensWithIdenticalFields) {
    // The application registers the record with the document's classes.
    RegisterEnergyOptClasses();
    zun::TempDir dir;
    zun::DocFixture f;
    auto* vars = dynamic_cast<DialogVars*>(f.doc.EnergyOptVars());
    ASSERT_TRUE(vars);
    *vars = Filled();
    const std::string path = dir.File("energy.zun");
    ASSERT_TRUE(f.doc.OnSaveDocument(path));
    zun::DocFixture g;
    ASSERT_TRUE(g.doc.OnOpenDocument(path)) << (g.Messages().empty() ? "" : g.Messages()[0]);
    auto* back = dynamic_cast<DialogVars*>(g.doc.EnergyOptVars());
    ASSERT_TRUE(back);
    ExpectSame(*vars, *back);
}

TEST(SheetModel, ReconcileDropsRemovedAndAddsPureMixtures) {
    DialogVars v;
    v.compositionNames = {"Fe", "Cu", "Zn"};
    v.pages[0].targetMixtures = MatrixOf({{1, 0, 0}, {0, 1, 0}, {0.5f, 0.5f, 0}, {0, 0, 1}}, 3);
    v.pages[1].targetMixtures = MatrixOf({{0, 1, 0}}, 3);
    v.metricCompositionNames = {"Fe", "Cu", "Zn"};
    ReconcileCompositions(v, {"Fe", "Zn", "Ni"});
    EXPECT_EQ(v.compositionNames, (std::vector<std::string>{"Fe", "Zn", "Ni"}));
    using R = std::vector<std::vector<float>>;
    EXPECT_EQ(RowsOf(v.pages[0].targetMixtures), (R{{1, 0, 0}, {0.5f, 0, 0}, {0, 0, 1}, {0, 1, 0}}));
    EXPECT_EQ(RowsOf(v.pages[1].targetMixtures), (R{{0, 0, 1}}));
    EXPECT_EQ(v.metricCompositionNames, (std::vector<std::string>{"Fe", "Cu", "Zn"}));
}

TEST(SheetModel, ReconcileFreshRecordAndReorderedChannels) {
    DialogVars v;
    ReconcileCompositions(v, {"Fe", "Cu"});
    using R = std::vector<std::vector<float>>;
    for (const PageSetting& p : v.pages) EXPECT_EQ(RowsOf(p.targetMixtures), (R{{1, 0}, {0, 1}}));

    // Reordered channels: every fraction stays with its composition.
    v.pages[0].targetMixtures = MatrixOf({{0.25f, 0.75f}}, 2);
    ReconcileCompositions(v, {"Cu", "Fe"});
    EXPECT_EQ(RowsOf(v.pages[0].targetMixtures), (R{{0.75f, 0.25f}}));
}

TEST(SheetModel, FailureTexts) {
    EXPECT_EQ(FailureText(kNoEnergies), "Failure: no energies supplied in beam domains");
    EXPECT_EQ(FailureText(13), "Failure: unknown error");
    EXPECT_EQ(FailureText(-1), "Failure: unknown error");
}
