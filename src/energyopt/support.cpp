#include "energyopt/support.h"

#include <cmath>
#include <limits>

#include "energyopt/noisemodel.h"

namespace EnergyOpt {

std::vector<MaterialFunctions> RemoveComposition(const std::vector<MaterialFunctions>& compositions, int k) {
    std::vector<MaterialFunctions> kept;
    kept.reserve(compositions.size());
    for (size_t i = 0; i < compositions.size(); ++i)
        if (static_cast<long long>(i) != k) kept.push_back(compositions[i]);
    return kept;
}

TargetMixtures ReduceTargets(const TargetMixtures& targets, int k) {
    TargetMixtures reduced;
    if (targets.empty()) return reduced;
    const size_t length = targets.front().size();
    reduced.reserve(targets.size());
    for (const auto& t : targets) {
        std::vector<double> r;
        r.reserve(length);
        for (size_t j = 0; j < length; ++j)
            if (static_cast<long long>(j) != k) r.push_back(t[j] - t[k]);
        reduced.push_back(std::move(r));
    }
    return reduced;
}

int CheckBeamDomains(const BeamDomainMap& domains) {
    long long total = 0;
    for (const auto& [type, domain] : domains) {
        if (domain.maxEnergy < domain.minEnergy) return kMinAboveMax;
        total += domain.energyCount;
    }
    return (domains.empty() || total == 0) ? kNoEnergies : kSuccess;
}

int CheckEvaluationProblem(const EvaluationProblem& problem) {
    if (problem.compositions.empty()) return kNoMaterials;
    if (problem.evaluationEnergies.empty()) return kNoEvaluationEnergies;
    if (!problem.noiseModel) return kArgumentOutOfRange;
    return ValidateNoiseModel(*problem.noiseModel, static_cast<int>(problem.compositions.size()));
}

DenseTargets ToDenseTargets(const TargetMixtures& targets) {
    DenseTargets dense;
    dense.reserve(targets.size());
    for (const auto& t : targets) dense.push_back(Eigen::Map<const Eigen::VectorXd>(t.data(), t.size()));
    return dense;
}

std::array<Eigen::VectorXd, 3> SplitEnergiesByKind(const std::vector<TypedEnergy>& energies) {
    std::array<Eigen::VectorXd, 3> split;
    for (int kind = 0; kind < 3; ++kind) {
        Eigen::Index count = 0;
        for (const auto& e : energies) count += (e.type == kind);
        split[kind].resize(count);
        Eigen::Index i = 0;
        for (const auto& e : energies)
            if (e.type == kind) split[kind](i++) = e.energy;
    }
    return split;
}

std::vector<std::pair<double, double>> PairValues(const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
    std::vector<std::pair<double, double>> pairs;
    pairs.reserve(b.size());
    for (Eigen::Index i = 0; i < b.size(); ++i) pairs.emplace_back(a(i), b(i));
    return pairs;
}

Eigen::VectorXd EvenlySpaced(int count, double low, double high) {
    Eigen::VectorXd values(std::max(count, 0));
    // The order of operations is kept so the end points come out exactly as the cells expect.
    for (int i = 0; i < count; ++i)
        values(i) = (static_cast<double>(i) / static_cast<double>(count - 1)) * (high - low) + low;
    return values;
}

std::vector<std::pair<double, double>> ConsecutivePairs(const Eigen::VectorXd& x) {
    std::vector<std::pair<double, double>> pairs;
    if (x.size() < 2) return pairs;
    pairs.reserve(x.size() - 1);
    for (Eigen::Index i = 0; i + 1 < x.size(); ++i) pairs.emplace_back(x(i), x(i + 1));
    return pairs;
}

Eigen::VectorXd ScaledTargetNorms(const Eigen::VectorXd& s, const Eigen::MatrixXd& m,
                                  const DenseTargets& targets) {
    const Eigen::Index n = s.size();
    Eigen::VectorXd values(static_cast<Eigen::Index>(targets.size()));
    for (size_t k = 0; k < targets.size(); ++k) {
        if (n == 0) {
            values(k) = std::numeric_limits<double>::infinity();
            continue;
        }
        const Eigen::VectorXd y = m.leftCols(n).transpose() * targets[k];
        double sum = 0.0;
        for (Eigen::Index i = 0; i < n; ++i) sum += std::pow(y(i), 2.0) / std::pow(s(i), 2.0);
        values(k) = std::sqrt(sum);
    }
    return values;
}

Eigen::VectorXd TrailingTargetSums(const Eigen::VectorXd& p, const Eigen::MatrixXd& m,
                                   const DenseTargets& targets) {
    const Eigen::Index first = p.size();
    const Eigen::Index count = m.cols() - first;
    Eigen::VectorXd values(static_cast<Eigen::Index>(targets.size()));
    for (size_t k = 0; k < targets.size(); ++k) {
        values(k) = count > 0 ? (m.rightCols(count).transpose() * targets[k]).cwiseAbs().sum() : 0.0;
    }
    return values;
}

MinimisationResult MakeOptimisationResult(int returnCode, const Eigen::VectorXd& variables, double objective,
                                          const std::string& message, int evaluations) {
    MinimisationResult result;
    result.returnCode = returnCode;
    result.variables = variables;
    result.objective = objective;
    result.message = message;
    result.evaluations = evaluations;
    return result;
}

Eigen::VectorXd CopyResultVariables(const MinimisationResult& result) {
    return result.variables;
}

}  // namespace EnergyOpt
