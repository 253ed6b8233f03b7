#pragma once
// Small stateless routines shared by the problem checks, the metrics and the energy search.

#include <Eigen/Dense>
#include <array>
#include <utility>
#include <vector>

#include "energyopt/problem.h"

namespace EnergyOpt {

using DenseTargets = std::vector<Eigen::VectorXd>;

std::vector<MaterialFunctions> RemoveComposition(const std::vector<MaterialFunctions>& compositions, int k);
// Removes composition k through the volume-fraction sum: t(j) - t(k) for every j other than k.
TargetMixtures ReduceTargets(const TargetMixtures& targets, int k);
int CheckBeamDomains(const BeamDomainMap& domains);
int CheckEvaluationProblem(const EvaluationProblem& problem);
DenseTargets ToDenseTargets(const TargetMixtures& targets);
std::array<Eigen::VectorXd, 3> SplitEnergiesByKind(const std::vector<TypedEnergy>& energies);
std::vector<std::pair<double, double>> PairValues(const Eigen::VectorXd& a, const Eigen::VectorXd& b);
Eigen::VectorXd EvenlySpaced(int count, double low, double high);
std::vector<std::pair<double, double>> ConsecutivePairs(const Eigen::VectorXd& x);
// Per target: sqrt(sum_i ((M^T t)(i) / s(i))^2) over the first s.size() columns of M.
Eigen::VectorXd ScaledTargetNorms(const Eigen::VectorXd& s, const Eigen::MatrixXd& m,
                                  const DenseTargets& targets);
// Per target: sum over the columns of M from p.size() on of |M(:,j)^T t|.
Eigen::VectorXd TrailingTargetSums(const Eigen::VectorXd& p, const Eigen::MatrixXd& m,
                                   const DenseTargets& targets);
MinimisationResult MakeOptimisationResult(int returnCode, const Eigen::VectorXd& variables, double objective,
                                          const std::string& message, int evaluations);
Eigen::VectorXd CopyResultVariables(const MinimisationResult& result);

}  // namespace EnergyOpt
