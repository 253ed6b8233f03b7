// Objective evaluations per second of the energy optimisation (the cost of every step of the
// search), and whole searches under a budget.

#include <benchmark/benchmark.h>

#include "energyopt/optimise.h"
#include "energyopt/search.h"
#include "model/compound.h"

using namespace EnergyOpt;

namespace {

struct Linear {
    double constant;
    double slope;
};

int32_t linearAttenuation(void* context, double energy, double* result) {
    const auto* m = static_cast<const Linear*>(context);
    *result = m->constant + m->slope / (energy * energy * energy) + 1e-3 * energy;
    return 0;
}

int32_t linearPhase(void* context, double energy, double* result) {
    const auto* m = static_cast<const Linear*>(context);
    *result = m->constant / (energy * energy);
    return 0;
}

// Three reduced compositions measured at three attenuation energies and one energy of both kinds.
struct AnalyticCase {
    std::vector<Linear> materials{{0.2, 4e3}, {0.5, 2e4}, {1.1, 9e4}};
    MeasurementSetup setup;
    NoiseModelScaleFunction scale{CommonRelError()};
    AnalyticCase() {
        for (auto& m : materials) setup.compositions.push_back({&m, linearPhase, linearAttenuation, false});
        setup.c0 = 3;
        setup.c2 = 1;
        setup.targets = {Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(0, 0.5, 0.5)};
    }
};

int32_t compoundAttenuation(void* context, double energy, double* result) {
    *result = static_cast<const zun::Compound*>(context)->LinearAttenuation(
        zun::kAttenTlacTrc, zun::kLinearAttenuation, zun::kAttenTotal, energy);
    return 0;
}

int32_t compoundPhase(void* context, double energy, double* result) {
    *result = static_cast<const zun::Compound*>(context)->LinearAttenuation(
        zun::kAttenTlacTrc, zun::kLinearPhaseShift, zun::kAttenTotal, energy);
    return 0;
}

// Water, hydroxyapatite and iron beside a void reference: the same shape as the analytic case.
struct CompoundCase {
    std::vector<zun::Compound> compounds;
    MeasurementSetup setup;
    NoiseModelScaleFunction scale{CommonRelError()};
    CompoundCase() {
        const std::pair<const char*, double> materials[] = {
            {"H2O", 1.0}, {"Ca5(PO4)3OH", 3.16}, {"Fe", 7.87}};
        compounds.resize(3);
        for (int i = 0; i < 3; ++i) {
            compounds[i].SetFormula(materials[i].first, true);
            compounds[i].density = materials[i].second;
        }
        for (auto& c : compounds)
            setup.compositions.push_back({&c, compoundPhase, compoundAttenuation, false});
        setup.c0 = 3;
        setup.c2 = 1;
        setup.targets = {Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(0, 0.5, 0.5)};
    }
};

// The objective and the whole search share one set-up for both kinds of material function.
template <class Case>
void BM_Objective(benchmark::State& state) {
    Case c;
    const std::vector<Cell> cells{{20, 40}, {40, 80}, {80, 120}};
    const EnergyObjective objective(c.setup, c.scale, {cells, {}, std::vector<Cell>{{30, 60}}});
    double x[4] = {25, 50, 100, 45};
    double f = 0;
    for (auto _ : state) {
        x[0] += 1e-9;
        objective.value(x, &f);
        benchmark::DoNotOptimize(f);
    }
    state.SetItemsProcessed(state.iterations());
}

template <class Case>
void BM_Search(benchmark::State& state) {
    Case c;
    const BeamDomainMap domains{{0, {3, 120, 20}}, {2, {1, 60, 30}}};
    int64_t used = 0;
    for (auto _ : state) {
        const SearchOutcome outcome =
            SearchEnergies(c.setup, domains, c.scale, static_cast<int32_t>(state.range(0)));
        used += outcome.used;
        benchmark::DoNotOptimize(outcome.best);
    }
    state.counters["evaluations/s"] =
        benchmark::Counter(static_cast<double>(used), benchmark::Counter::kIsRate);
}

BENCHMARK_TEMPLATE(BM_Objective, AnalyticCase)->Name("BM_ObjectiveAnalytic");
BENCHMARK_TEMPLATE(BM_Search, AnalyticCase)
    ->Name("BM_SearchAnalytic")
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Objective, CompoundCase)->Name("BM_ObjectiveCompounds");
BENCHMARK_TEMPLATE(BM_Search, CompoundCase)
    ->Name("BM_SearchCompounds")
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
