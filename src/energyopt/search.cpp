#include "energyopt/search.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "energyopt/cobyla.h"
#include "energyopt/support.h"

namespace EnergyOpt {

namespace {

constexpr int kFirstResolution = 2;
constexpr int kResolutionLimit = 10000;
constexpr double kRadiusFactor = 0.5;

int domainCount(const BeamDomainMap& domains, int type) {
    const auto it = domains.find(type);
    return it == domains.end() ? 0 : it->second.energyCount;
}

bool validObjective(double f) {
    return f >= DBL_MIN && f <= DBL_MAX;
}

}  // namespace

std::vector<Cell> DomainCells(const BeamDomain& domain, int resolution) {
    std::vector<Cell> cells;
    for (const auto& [lower, upper] :
         ConsecutivePairs(EvenlySpaced(resolution, domain.minEnergy, domain.maxEnergy)))
        cells.push_back({lower, upper});
    return cells;
}

CellChoice::CellChoice(std::vector<Cell> cells, int count)
    : cells_(std::move(cells)), count_(count), indices_(count, 0) {
    done_ = count_ > 0 && cells_.empty();
    select();
}

void CellChoice::select() {
    selected_.clear();
    if (done_) return;
    for (int i : indices_) selected_.push_back(cells_[i]);
}

void CellChoice::advance() {
    if (done_) return;
    const int last = static_cast<int>(cells_.size()) - 1;
    int j = count_ - 1;
    while (j >= 0 && indices_[j] >= last) --j;
    if (j < 0) {
        done_ = true;
        selected_.clear();
        return;
    }
    const int value = indices_[j] + 1;
    for (int l = j; l < count_; ++l) indices_[l] = value;
    select();
}

void CellChoice::reset() {
    std::fill(indices_.begin(), indices_.end(), 0);
    done_ = count_ > 0 && cells_.empty();
    select();
}

ConfigurationGenerator::ConfigurationGenerator(const BeamDomainMap& domains, int resolution) {
    for (int type = 0; type < 3; ++type) {
        const auto it = domains.find(type);
        if (it == domains.end() || it->second.energyCount == 0) continue;
        choices_[type] = CellChoice(DomainCells(it->second, resolution), it->second.energyCount);
    }
    done_ = choices_[0].done() || choices_[1].done() || choices_[2].done();
}

CellsByType ConfigurationGenerator::current() const {
    return {choices_[0].selected(), choices_[1].selected(), choices_[2].selected()};
}

void ConfigurationGenerator::advance() {
    if (done_) return;
    for (int type = 2; type >= 0; --type) {
        choices_[type].advance();
        if (!choices_[type].done()) return;
        if (type == 0) break;
        choices_[type].reset();
    }
    done_ = true;
}

int64_t ConfigurationCount(const BeamDomainMap& domains, int resolution) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    const int64_t cells = resolution - 1;
    int64_t total = 1;
    for (int type = 0; type < 3; ++type) {
        const int64_t k = domainCount(domains, type);
        if (k <= 0) continue;
        if (cells <= 0) return 0;
        // C(cells + k - 1, k), built so that every partial product is itself a binomial.
        __int128 c = 1;
        for (int64_t i = 1; i <= k && c <= kMax; ++i) c = c * (cells - 1 + i) / i;
        if (c > kMax) return kMax;
        const __int128 product = static_cast<__int128>(total) * c;
        if (product > kMax) return kMax;
        total = static_cast<int64_t>(product);
    }
    return total;
}

int EnergyObjective::value(const double* x, double* f) const {
    const Eigen::Map<const Eigen::VectorXd> energies(x, setup_.energyCount());
    const TruncatedSvd svd = setup_.decompose(scale_, energies);
    *f = ErrorObjective(svd, setup_.sensitivities(svd));
    return 0;
}

int EnergyObjective::constraints(const double* x, double* con) const {
    int i = 0;
    for (const auto& cells : bounds_) {
        for (const Cell& cell : cells) {
            con[2 * i] = cell.upper - x[i];
            con[2 * i + 1] = x[i] - cell.lower;
            ++i;
        }
    }
    return 0;
}

double ErrorObjective(const TruncatedSvd& svd, const Eigen::VectorXd& sensitivities) {
    // A not-a-number first value stays; later ones are passed over.
    double smax = sensitivities.size() > 0 ? sensitivities(0) : std::numeric_limits<double>::quiet_NaN();
    for (Eigen::Index i = 1; i < sensitivities.size(); ++i)
        if (sensitivities(i) > smax) smax = sensitivities(i);
    const double p = static_cast<double>(svd.size());
    const double d = static_cast<double>(svd.size() - svd.rank());
    const double logMax = std::log(DBL_MAX);
    return std::exp(logMax * (std::log(smax + 1.0) / logMax + d) / (p + 1.0)) - 1.0;
}

int evaluateTrialPoint(int n, int m, const double* x, double* f, double* con, void* state) {
    const auto* objective = static_cast<const EnergyObjective*>(state);
    if (!objective || n != objective->variableCount() || m != 2 * n) return 1;
    objective->value(x, f);
    objective->constraints(x, con);
    return 0;
}

MinimisationResult minimise(const EnergyObjective& objective, const Eigen::VectorXd& start,
                            const MinimiserOptions& options) {
    const int n = objective.variableCount();
    Eigen::VectorXd x = start;
    int code = kCobylaNormal;
    int evaluations = 1;
    if (options.rhobeg == 0.0) {
        // Every cell has zero width: the start point is the only feasible point, and a zero
        // radius would make the first simplex singular.
    } else {
        evaluations = options.maxfun;
        code = cobyla(n, 2 * n, x.data(), options.messageLevel, &evaluations,
                      const_cast<EnergyObjective*>(&objective), options.rhobeg, options.rhoend, options.fmin);
    }
    double f = 0.0;
    objective.value(x.data(), &f);
    return MakeOptimisationResult(code, x, f, code == kCobylaNormal ? "" : CobylaText(code), evaluations);
}

namespace {

struct SearchState {
    int64_t limit = 0;
    SearchOutcome outcome;
};

// Runs one local minimisation per configuration of the resolution, in order, while the budget
// lasts; the resolution's best valid result replaces the search's best when it is smaller.
void runResolution(const MeasurementSetup& setup, const BeamDomainMap& domains,
                   const NoiseModelScaleFunction& scale, int resolution, SearchState& state) {
    ConfigurationGenerator generator(domains, resolution);
    if (generator.done() || state.outcome.used > state.limit) return;
    state.outcome.resolutions.push_back(resolution);
    MinimiserOptions options;
    bool haveBest = false;
    double best = 0.0;
    Eigen::VectorXd bestX;
    for (; !generator.done(); generator.advance()) {
        EnergyObjective objective(setup, scale, generator.current());
        const int n = objective.variableCount();
        Eigen::VectorXd start(n);
        double widths = 0.0;
        int i = 0;
        for (const auto& cells : objective.bounds()) {
            for (const Cell& cell : cells) {
                start(i++) = (cell.lower + cell.upper) * 0.5;
                widths += (cell.upper - cell.lower) * (cell.upper - cell.lower);
            }
        }
        options.rhobeg = kRadiusFactor * std::sqrt(widths);
        const MinimisationResult result = minimise(objective, start, options);
        ++state.outcome.runs;
        if (validObjective(result.objective) && (!haveBest || result.objective < best)) {
            haveBest = true;
            best = result.objective;
            bestX = CopyResultVariables(result);
        }
        state.outcome.used += result.evaluations;
        if (state.outcome.used > state.limit) break;
    }
    if (haveBest && (!state.outcome.found || best < state.outcome.best)) {
        state.outcome.found = true;
        state.outcome.best = best;
        state.outcome.energies = {bestX.segment(0, setup.c0), bestX.segment(setup.c0, setup.c1),
                                  bestX.segment(setup.c0 + setup.c1, setup.c2)};
    }
}

}  // namespace

SearchOutcome SearchEnergies(MeasurementSetup setup, const BeamDomainMap& domains,
                             const NoiseModelScaleFunction& scale, int32_t maxIterations) {
    setup.c0 = domainCount(domains, kAttenuation);
    setup.c1 = domainCount(domains, kPhaseShift);
    setup.c2 = domainCount(domains, kAttenuationAndPhase);
    SearchState state;
    state.limit = maxIterations;
    int64_t threshold = 1;
    for (int resolution = kFirstResolution;
         state.outcome.used <= state.limit && resolution < kResolutionLimit; ++resolution) {
        // A resolution runs only when it offers at least twice the starts of the last one run.
        if (ConfigurationCount(domains, resolution) < threshold) continue;
        threshold = threshold > std::numeric_limits<int64_t>::max() / 2 ? std::numeric_limits<int64_t>::max()
                                                                        : threshold * 2;
        runResolution(setup, domains, scale, resolution, state);
    }
    return state.outcome;
}

}  // namespace EnergyOpt
