#pragma once
// The two entry points of the energy optimisation. Both validate the problem, eliminate one
// reference composition (the volume fractions of a voxel sum to one), run the numerics and
// return a status of StatusTexts (kUnexpectedError after an unexpected exception).

#include "energyopt/problem.h"

namespace EnergyOpt {

// On success the chosen energies are appended to optimalEnergies: type 0, then 1, then 2.
int32_t optimiseEnergies(OptimisationProblem& problem);

// On success metrics holds one sensitivity and bias per target mixture, in target order.
int32_t evaluateMetrics(EvaluationProblem& problem);

}  // namespace EnergyOpt
