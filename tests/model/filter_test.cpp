// Beam filters, the integration grid, effective attenuation and the filter archives.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>

#include "materials_support.h"
#include "model/attentable.h"
#include "model/compound.h"
#include "model/element.h"
#include "model/filter.h"
#include "model/polyfilters.h"
#include "platform/prompt.h"

namespace zun {
namespace {

Compound Make(const char* formula, double density) {
    Compound c;
    EXPECT_EQ(c.SetFormula(formula, true), 0) << formula;
    c.density = density;
    return c;
}

// The set a new CT channel gets.
PolyFilters StandardSet() {
    PolyFilters p;
    p.AddDeviceFilter("Source", true)->table = {{0.0f, 1.0f}, {10.0f, 1.0f}};
    p.AddDeviceFilter("Detector", false);
    p.AddMaterialFilter("Beam Hardening", false, 0.1f, 0.0f, 100.0f, 0.1f);
    return p;
}

TEST(BeamFilter, TransferValues) {
    DeviceFilter f("f", true);
    f.table = {{10.0f, 0.5f}, {20.0f, 1.0f}};
    EXPECT_FLOAT_EQ(f.GetValue(15.0f), 0.75f);
    EXPECT_EQ(f.GetValue(10.0f), 0.5f);
    EXPECT_EQ(f.GetValue(9.99f), 0.0f);
    EXPECT_EQ(f.GetValue(20.01f), 0.0f);
    EXPECT_EQ(f.GetValue(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    float hi = -1, lo = -1;
    EXPECT_EQ(f.GetEnergyRange(hi, lo), 0);
    EXPECT_EQ(hi, 20.0f);
    EXPECT_EQ(lo, 10.0f);
    f.enabled = false;
    EXPECT_EQ(f.GetValue(15.0f), 1.0f);
    EXPECT_EQ(f.GetValue(99.0f), 1.0f);
    hi = lo = -1;
    EXPECT_EQ(f.GetEnergyRange(hi, lo), 1);
    EXPECT_EQ(hi, -1.0f);
    DeviceFilter line("line", true);
    line.table = {{60.0f, 1.0f}};
    EXPECT_EQ(line.GetValue(60.0f), 1.0f);
    EXPECT_EQ(line.GetValue(60.01f), 0.0f);
    f.enabled = true;
    f.Resample({5.0f, 12.5f, 20.0f});
    EXPECT_EQ(f.table, (std::map<float, float>{{5.0f, 0.0f}, {12.5f, 0.625f}, {20.0f, 1.0f}}));
}

TEST(PolyFilters, RangesAndGrid) {
    PolyFilters p;
    float hi = 0, lo = 0, step = 0;
    EXPECT_EQ(p.GetCommonEnergyRange(hi, lo, step), 1);
    EXPECT_EQ(step, 0.1f);
    p.AddDeviceFilter("a", true)->table = {{0.0f, 1.0f}, {10.0f, 1.0f}};
    p.AddDeviceFilter("b", true)->table = {{5.0f, 1.0f}, {50.0f, 1.0f}};
    p.AddDeviceFilter("off", false)->table = {{100.0f, 1.0f}};
    EXPECT_EQ(p.GetCommonEnergyRange(hi, lo, step), 0);
    EXPECT_EQ(hi, 50.0f);
    EXPECT_EQ(lo, 0.0f);
    std::set<float> grid = {77.0f};
    p.BuildEnergyGrid(grid);
    EXPECT_EQ(grid, (std::set<float>{0.0f, 5.0f - 0.1f, 5.0f, 10.0f, 10.0f + 0.1f, 50.0f}));
    PolyFilters none;
    none.AddDeviceFilter("empty", true);
    grid = {77.0f};
    none.BuildEnergyGrid(grid);
    EXPECT_EQ(grid, std::set<float>{77.0f});  // unusable: left as it was

    auto combined = p.MakeCombinedFilter("combined");
    EXPECT_TRUE(combined->enabled);
    EXPECT_EQ(combined->name, "combined");
    EXPECT_EQ(combined->table.size(), 6u);
    EXPECT_EQ(combined->table.at(0.0f), 0.0f);  // b blocks below 5 keV
    EXPECT_EQ(combined->table.at(5.0f), 1.0f);
    EXPECT_EQ(combined->table.at(10.1f), 0.0f);
    EXPECT_TRUE(none.MakeCombinedFilter("x")->table.empty());

    std::vector<double> energies;
    p.ComputeCombinedGain(energies);
    EXPECT_EQ(energies.size(), 6u);
    EXPECT_EQ(p.filters[2]->table.size(), 6u);  // the disabled filter becomes 1.0 on the grid
    for (auto [e, v] : p.filters[2]->table) EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(p.filters[0]->table.at(50.0f), 0.0f);  // an enabled one is 0 outside its old range
}

TEST(PolyFilters, EffectiveAttenuationCases) {
    const Compound water = Make("H2O", 1.0);
    auto mu = [&](float e) { return water.MassAttenuation(kAttenTlacTrc, 0, 0, e) * water.density; };

    // A new channel's set: the plain mean of mu over 0.0, 0.1, ..., 9.9 keV (0 below 1 keV).
    PolyFilters p = StandardSet();
    float lac = -1;
    ASSERT_EQ(p.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 0);
    double sum = 0;
    const float h = 10.0f / 100.0f;
    for (int i = 0; i < 100; ++i) sum += mu(0.0f + static_cast<float>(i) * h);
    EXPECT_NEAR(lac, sum / 100, 1e-6 * lac);
    EXPECT_EQ(mu(0.5f), 0.0);

    // A single line is monochromatic, whatever the rest holds; blocked by a zero it has no beam.
    PolyFilters mono = StandardSet();
    mono.AddDeviceFilter("line", true)->table = {{60.0f, 1.0f}};
    mono.filters[0]->table = {{0.0f, 1.0f}, {100.0f, 1.0f}};
    ASSERT_EQ(mono.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 0);
    EXPECT_EQ(lac, static_cast<float>(mu(60.0f)));
    mono.filters[1]->enabled = true;
    mono.filters[1]->table = {{50.0f, 1.0f}, {60.0f, 0.0f}};
    EXPECT_EQ(mono.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 1);
    EXPECT_EQ(lac, 0.0f);

    // An interval just above maxStep is split in two: samples 10.0 and 10.075.
    PolyFilters split;
    split.AddDeviceFilter("Source", true)->table = {{10.0f, 1.0f}, {10.15f, 1.0f}};
    ASSERT_EQ(split.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 0);
    const float half = (10.15f - 10.0f) / 2.0f;
    EXPECT_NEAR(lac, (mu(10.0f) + mu(10.0f + half)) / 2, 1e-6 * lac);

    // No usable spectrum: no points, or ranges that do not overlap.
    PolyFilters empty;
    EXPECT_EQ(empty.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 1);
    PolyFilters apart;
    apart.AddDeviceFilter("a", true)->table = {{1.0f, 1.0f}, {10.0f, 1.0f}};
    apart.AddDeviceFilter("b", true)->table = {{20.0f, 1.0f}, {30.0f, 1.0f}};
    EXPECT_EQ(apart.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 1);
    EXPECT_EQ(lac, 0.0f);
}

TEST(PolyFilters, StepsFromDamagedFilesStayBounded) {
    const Compound water = Make("H2O", 1.0);
    PolyFilters p = StandardSet();
    float ref = 0;
    ASSERT_EQ(p.EffectiveAttenuation(water, ref, kAttenTlacTrc, 0), 0);
    for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        p.maxStep = bad;
        float lac = 0, hi = 0, lo = 0, step = 0;
        ASSERT_EQ(p.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 0);
        EXPECT_EQ(lac, ref) << bad;
        p.GetCommonEnergyRange(hi, lo, step);
        EXPECT_EQ(step, 0.1f);
    }
    p.maxStep = 1e-12f;
    const auto t0 = std::chrono::steady_clock::now();
    float lac = 0;
    ASSERT_EQ(p.EffectiveAttenuation(water, lac, kAttenTlacTrc, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    EXPECT_TRUE(std::isfinite(lac));
    EXPECT_GT(lac, 0.0f);

    MaterialFilter m;
    m.energyStep = -0.5f;
    EXPECT_EQ(m.GetEnergyStep(), 0.1f);
    m.energyStep = 0.25f;
    EXPECT_EQ(m.GetEnergyStep(), 0.25f);
}

TEST(Filters, CopiesAndComparisons) {
    MaterialFilter m("Al", true);
    m.thickness = 0.2;
    m.compositions = {{"Al", 2.7, 1.0}};
    m.table = {{1.0f, 0.1f}, {2.0f, 0.5f}};
    auto c = m.Clone();
    EXPECT_EQ(c->GetRuntimeClass(), &MaterialFilter::classInfo);
    EXPECT_TRUE(*c == m);
    static_cast<MaterialFilter&>(*c).compositions[0].density = 2.71;
    EXPECT_FALSE(*c == m);
    DeviceFilter d("Al", true);
    d.table = m.table;
    EXPECT_FALSE(d == m);  // another class
    MaterialFilter fromDevice;
    fromDevice.Assign(d);
    EXPECT_EQ(fromDevice.name, "Al");
    EXPECT_EQ(fromDevice.thickness, 0.1);

    PolyFilters p = StandardSet();
    PolyFilters q(p);
    EXPECT_FALSE(q == p);  // same content, other filter objects
    EXPECT_TRUE(p == p);
    EXPECT_TRUE(PolyFilters() == PolyFilters());
    ASSERT_EQ(q.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(*q.filters[i] == *p.filters[i]);
    q = p;
    EXPECT_EQ(q.filters[2]->GetRuntimeClass(), &MaterialFilter::classInfo);
    EXPECT_EQ(q.FindFilter("Detector"), q.filters[1].get());
    EXPECT_EQ(q.FindFilter("detector"), nullptr);
    q.DeleteFilterByName("Detector");
    EXPECT_EQ(q.size(), 2u);
    EXPECT_TRUE(PolyFilters::IsStandardFilterName("Beam Hardening"));
    EXPECT_FALSE(PolyFilters::IsStandardFilterName("source"));

    CombinedFilters cf;
    cf.curves = {{true, 1.5f}, {false, 2.0f}};
    cf.filters = StandardSet();
    CombinedFilters cg(cf);
    EXPECT_TRUE(cg == cf);
    EXPECT_EQ(cg.filters.size(), 0u);  // the working set is not copied
    cg.curves[1].scaling = 2.5f;
    EXPECT_FALSE(cg == cf);
}

TEST(Filters, CheckCompositions) {
    HeadlessPrompt prompt;
    Compound::SetPrompt(&prompt);
    MaterialFilter m;
    m.compositions = {{"Al2O3", 3.9, 0.5}, {"NpO2", 11.1, 0.3}, {"PuO2", 11.5, 0.2}};
    std::string text;
    EXPECT_EQ(m.CheckCompositions(kAttenNist, text), 2);
    EXPECT_EQ(text, "Np,Pu");
    text.clear();
    EXPECT_EQ(m.CheckCompositions(kAttenTlacTrc, text), 0);
    m.compositions.push_back({"Al2O", 1.0, 0.1});
    m.compositions.insert(m.compositions.begin() + 1, {"al2o3", 1.0, 0.1});
    text.clear();
    EXPECT_EQ(m.CheckCompositions(kAttenTlacTrc, text), -1);
    EXPECT_EQ(text, "al2o3");
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, "Invalid character 'a' at position 1");
    Compound::SetPrompt(nullptr);
}

TEST(Filters, ArchiveRoundTrips) {
    PolyFilters p;
    auto* src = p.AddDeviceFilter("Source", true);
    src->table = {{10.0f, 0.25f}, {20.0f, 1.0f}};
    src->attribute = 7;
    src->energyUnit = 0;
    auto* mat = p.AddMaterialFilter("Cu", true, 0.05f, 1.0f, 150.0f, 0.5f);
    mat->compositions = {{"Cu", 8.96, 0.9}, {"Zn", 7.14, 0.1}};
    mat->table = {{1.0f, 0.0f}, {150.0f, 0.8f}};
    p.filters.push_back(std::make_unique<BeamFilter>("plain", false));
    p.maxStep = 0.25f;

    auto q = test::RoundTrip(p);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->maxStep, 0.25f);
    ASSERT_EQ(q->size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(q->filters[i]->GetRuntimeClass(), p.filters[i]->GetRuntimeClass()) << i;
        EXPECT_TRUE(*q->filters[i] == *p.filters[i]) << i;
    }
    for (const BeamFilter* f :
         {static_cast<BeamFilter*>(src), static_cast<BeamFilter*>(mat), p.filters[2].get()}) {
        auto g = test::RoundTrip(*f);
        ASSERT_TRUE(g);
        EXPECT_TRUE(*g == *f);
    }
    CombinedFilters cf;
    cf.curves = {{true, 1.5f}, {false, 0.5f}};
    cf.energyUnit = 0;
    auto cg = test::RoundTrip(cf);
    ASSERT_TRUE(cg);
    EXPECT_TRUE(*cg == cf);
}

// A material filter record written by hand, with the legacy byte of version 90 and a point whose
// energy is NaN.
TEST(Filters, LoadsOlderMaterialLayoutAndDropsBrokenPoints) {
    RegisterMaterialClasses();
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        ar.Write("\xFF\xFF", 2);
        ar << std::uint16_t{0} << std::uint16_t{14};
        ar.Write("MaterialFilter", 14);
        ar << std::uint32_t{2648} << std::string("Al") << std::int32_t{255} << true << std::int32_t{1}
           << std::int32_t{3};
        ar << 1.0f << 0.5f << std::numeric_limits<float>::quiet_NaN() << 0.7f << 2.0f << 0.9f;
        ar << std::uint32_t{90} << 0.3 << 1.0f << 2.0f << 1.0f << true << std::uint32_t{1};
        ar << std::string("Al") << 2.7 << 1.0;
        ar.Flush();
    }
    ms.Rewind();
    Archive in(ms, Archive::Mode::Load);
    auto m = in.ReadOwnedObject<MaterialFilter>();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->table, (std::map<float, float>{{1.0f, 0.5f}, {2.0f, 0.9f}}));
    EXPECT_EQ(m->thickness, 0.3);
    EXPECT_EQ(m->energyStep, 1.0f);
    ASSERT_EQ(m->compositions.size(), 1u);
    EXPECT_EQ(m->compositions[0].density, 2.7);
}

void WriteFilter(std::ofstream& f, const BeamFilter& b) {
    f << "filter " << (b.enabled ? 1 : 0) << " " << b.table.size() << "\n";
    for (auto [e, v] : b.table) f << e << " " << v << "\n";
}

// The effective coefficient of a polychromatic beam against a numpy computation on the same tables.
TEST(PolyFilters, EffectiveAttenuationAgreesWithNumpy) {
    const Compound sample = Make("(H2O)0.9(KI)0.1", 1.2);
    const Compound al = Make("Al", 2.7);
    PolyFilters p;
    auto* source = p.AddDeviceFilter("Source", true);
    for (float e = 5.0f; e <= 120.0f; e += 2.5f) source->table[e] = e * (120.0f - e) / 3600.0f + 0.01f;
    auto* layer = p.AddMaterialFilter("Beam Hardening", true, 0.1f, 1.0f, 150.0f, 0.5f);
    for (int i = 0; i <= 298; ++i) {
        const float e = 1.0f + 0.5f * static_cast<float>(i);
        layer->table[e] =
            static_cast<float>(std::exp(-al.LinearAttenuation(kAttenTlacTrc, 0, 0, e) * layer->thickness));
    }
    p.AddDeviceFilter("Detector", true)->table = {{3.0f, 0.2f}, {20.0f, 0.9f}, {80.0f, 0.6f}, {140.0f, 0.3f}};
    p.AddDeviceFilter("off", false)->table = {{30.0f, 0.0f}, {40.0f, 0.0f}};

    Compound flat;
    sample.FlattenInto(flat, 1.0f);
    const AttenTable& table = GetAttenTable(kAttenTlacTrc, kAttenTotal);
    for (float step : {0.1f, 1.3f}) {
        p.maxStep = step;
        const std::string input = test::TempPath("effective.txt");
        {
            std::ofstream f(input);
            f.precision(9);
            f << "step " << step << "\ndensity " << sample.density << "\n";
            for (const auto& b : p.filters) WriteFilter(f, *b);
            for (const Entry& e : flat.entries) {
                const int z = ElementNumber(e.key.symbol);
                f.precision(17);
                f << "element " << e.abundance << " " << AtomicWeight(z) << " " << table.Points(z).size()
                  << "\n";
                f.precision(9);
                for (const AttenPoint& pt : table.Points(z)) f << pt.energy << " " << pt.value << "\n";
            }
        }
        float lac = 0;
        ASSERT_EQ(p.EffectiveAttenuation(sample, lac, kAttenTlacTrc, 0), 0);
        const double ref = std::stod(test::RunPython("effective_reference.py", input));
        EXPECT_NEAR(lac, ref, 1e-6 * ref) << "maxStep " << step;
    }
}

}  // namespace
}  // namespace zun
