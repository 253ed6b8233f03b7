#pragma once
// Material functions over real compounds: linear attenuation and phase shift from the
// compound's attenuation tables, with no phase data for the sources that have none.

#include <string>
#include <vector>

#include "energyopt/problem.h"
#include "model/compound.h"

namespace EnergyOptTest {

struct CompoundMaterial {
    zun::Compound compound;
    int method = zun::kAttenTlacTrc;
};

// formula "" makes a void composition.
CompoundMaterial MakeCompound(const std::string& formula, double density, int method);
int32_t CompoundAttenuation(void* context, double energy, double* result);
int32_t CompoundPhase(void* context, double energy, double* result);
std::vector<EnergyOpt::MaterialFunctions> FunctionsOf(std::vector<CompoundMaterial>& materials);

}  // namespace EnergyOptTest
