#include "energyopt/optimise.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "energyopt/metrics.h"
#include "energyopt/noisemodel.h"
#include "energyopt/search.h"
#include "energyopt/support.h"

namespace EnergyOpt {

namespace {

// The problem without its reference composition: the first void one, else the first.
struct ReducedProblem {
    MeasurementSetup setup;
    std::shared_ptr<const NoiseModel> noiseModel;
};

int reduce(const std::vector<MaterialFunctions>& compositions, const NoiseModel& model,
           const TargetMixtures& targets, ReducedProblem& reduced) {
    // ReduceTargets reads every target at the composition count; shorter ones would read past
    // their end.
    for (const auto& t : targets)
        if (t.size() != compositions.size()) return kFractionCountMismatch;
    int reference = 0;
    for (size_t i = 0; i < compositions.size(); ++i) {
        if (compositions[i].isVoid) {
            reference = static_cast<int>(i);
            break;
        }
    }
    reduced.setup.compositions = RemoveComposition(compositions, reference);
    if (reduced.setup.compositions.empty()) return kNoDegreesOfFreedom;
    reduced.setup.targets = ToDenseTargets(ReduceTargets(targets, reference));
    reduced.noiseModel = EliminateNoiseModelComposition(model, reference);
    return kSuccess;
}

// Negative counts and non-finite ranges cannot be searched (a non-finite radius never shrinks),
// nor counts beyond the bound.
bool domainsSearchable(const BeamDomainMap& domains) {
    for (const auto& [type, domain] : domains) {
        if (domain.energyCount < 0 || domain.energyCount > kMaxDomainEnergies) return false;
        if (domain.energyCount > 0 && (!std::isfinite(domain.minEnergy) || !std::isfinite(domain.maxEnergy)))
            return false;
    }
    return true;
}

int32_t reportUnexpected(const char* text) {
    std::fflush(stderr);
    std::fputs(text, stderr);
    std::fflush(stderr);
    return kUnexpectedError;
}

template <typename Body>
int32_t guarded(Body body) {
    try {
        return body();
    } catch (const EvaluationFailureException& e) {
        return e.status;
    } catch (const std::exception& e) {
        std::fflush(stderr);
        std::fprintf(stderr, "UNEXPECTED ERROR : '%s'\n", e.what());
        std::fflush(stderr);
        return kUnexpectedError;
    } catch (...) {
        return reportUnexpected("FATAL ERROR : unknown exception\n");
    }
}

}  // namespace

int32_t optimiseEnergies(OptimisationProblem& problem) {
    return guarded([&]() -> int32_t {
        const int count = static_cast<int>(problem.compositions.size());
        if (count == 0) return kNoMaterials;
        if (int status = CheckBeamDomains(problem.beamDomains)) return status;
        if (!domainsSearchable(problem.beamDomains) || !problem.noiseModel) return kArgumentOutOfRange;
        if (int status = ValidateNoiseModel(*problem.noiseModel, count)) return status;
        ReducedProblem reduced;
        if (int status = reduce(problem.compositions, *problem.noiseModel, problem.targetMixtures, reduced))
            return status;
        // The objective takes the largest sensitivity over the targets, so it needs one.
        if (reduced.setup.targets.empty()) return kArgumentOutOfRange;
        const NoiseModelScaleFunction scale(*reduced.noiseModel);
        const SearchOutcome outcome =
            SearchEnergies(std::move(reduced.setup), problem.beamDomains, scale, problem.maxIterations);
        if (!outcome.found) return kNoFeasibleSolution;
        for (int type = 0; type < 3; ++type)
            for (double e : outcome.energies[type]) problem.optimalEnergies.push_back({e, type});
        return kSuccess;
    });
}

int32_t evaluateMetrics(EvaluationProblem& problem) {
    return guarded([&]() -> int32_t {
        if (int status = CheckEvaluationProblem(problem)) return status;
        ReducedProblem reduced;
        if (int status = reduce(problem.compositions, *problem.noiseModel, problem.targetMixtures, reduced))
            return status;
        const NoiseModelScaleFunction scale(*reduced.noiseModel);
        const auto split = SplitEnergiesByKind(problem.evaluationEnergies);
        MeasurementSetup& setup = reduced.setup;
        setup.c0 = static_cast<int>(split[0].size());
        setup.c1 = static_cast<int>(split[1].size());
        setup.c2 = static_cast<int>(split[2].size());
        Eigen::VectorXd energies(setup.energyCount());
        energies << split[0], split[1], split[2];
        const TruncatedSvd svd = setup.decompose(scale, energies);
        const auto pairs = PairValues(setup.sensitivities(svd), setup.biases(svd));
        problem.metrics.clear();
        for (const auto& [sensitivity, bias] : pairs) problem.metrics.push_back({sensitivity, bias});
        return kSuccess;
    });
}

}  // namespace EnergyOpt
