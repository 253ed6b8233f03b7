// Attenuation lookups: Compound::MassAttenuation calls per second for ten compounds over
// 0-150 keV, the one-time build of the tables, and effective coefficients of a filtered beam.
//
//   build/bench/materials/bench_materials [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "model/attentable.h"
#include "model/compound.h"
#include "model/polyfilters.h"

namespace {

const char* const kFormulas[] = {"H2O",  "CaCO3", "Fe2O3", "C6H12O6",  "Ca5(PO4)3(OH)", "(H2O)0.9(NaCl)0.1",
                                 "SiO2", "Al2O3", "PbO",   "K4Fe(CN)6"};

std::vector<zun::Compound> Compounds() {
    std::vector<zun::Compound> v(10);
    for (int i = 0; i < 10; ++i) v[i].SetFormula(kFormulas[i], true);
    return v;
}

void BM_MassAttenuation(benchmark::State& state) {
    const int method = static_cast<int>(state.range(0));
    const auto compounds = Compounds();
    std::vector<double> energies;
    for (int i = 0; i <= 1500; ++i) energies.push_back(0.1 * i);
    std::size_t calls = 0;
    for (auto _ : state) {
        double sum = 0.0;
        for (const auto& c : compounds)
            for (double e : energies) sum += c.MassAttenuation(method, 0, 0, e);
        benchmark::DoNotOptimize(sum);
        calls += compounds.size() * energies.size();
    }
    state.counters["calls/s"] = benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kIsRate);
    state.SetLabel(zun::Compound::GetAttenMethodName(method));
}
BENCHMARK(BM_MassAttenuation)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// Effective coefficients of the ten compounds for a 150 keV spectrum through an aluminium layer.
void BM_EffectiveAttenuation(benchmark::State& state) {
    auto compounds = Compounds();
    for (auto& c : compounds) c.density = 1.0;
    zun::Compound al;
    al.SetFormula("Al", true);
    al.density = 2.7;
    zun::PolyFilters p;
    auto* source = p.AddDeviceFilter("Source", true);
    for (float e = 1.0f; e <= 150.0f; e += 1.0f) source->table[e] = e * (150.0f - e) / 5625.0f;
    auto* layer = p.AddMaterialFilter("Beam Hardening", true, 0.1f, 1.0f, 150.0f, 0.5f);
    for (float e = 1.0f; e <= 150.0f; e += 0.5f)
        layer->table[e] = std::exp(-al.LinearAttenuation(1, 0, 0, e) * 0.1);
    for (auto _ : state) {
        float sum = 0.0f;
        for (const auto& c : compounds) {
            float lac = 0.0f;
            p.EffectiveAttenuation(c, lac, 1, 0);
            sum += lac;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_EffectiveAttenuation)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const auto t0 = std::chrono::steady_clock::now();
    zun::GetAttenTable(1, 0);
    const auto t1 = std::chrono::steady_clock::now();
    std::printf("one-time build of the six attenuation tables: %.1f ms\n",
                std::chrono::duration<double, std::milli>(t1 - t0).count());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
