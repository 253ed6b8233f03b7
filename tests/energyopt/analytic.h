#pragma once
// Analytic material functions for the energy-optimisation tests: coefficients that are simple
// functions of the energy, with call counting and injectable failures.

#include <vector>

#include "energyopt/problem.h"

namespace EnergyOptTest {

struct AnalyticMaterial {
    // mu(E) = muConstant + muSlope * E; phi(E) = phiConstant + phiSlope / E.
    double muConstant = 0.0;
    double muSlope = 0.0;
    double phiConstant = 0.0;
    double phiSlope = 0.0;
    int phaseStatus = 0;  // returned by the phase-shift function when not 0
    int attenuationStatus = 0;
    bool throwStd = false;    // the attenuation function throws std::runtime_error
    bool throwOther = false;  // the attenuation function throws an int
    mutable int calls = 0;
};

int32_t AnalyticAttenuation(void* context, double energy, double* result);
int32_t AnalyticPhase(void* context, double energy, double* result);

EnergyOpt::MaterialFunctions Functions(AnalyticMaterial& material, bool isVoid = false);
std::vector<EnergyOpt::MaterialFunctions> FunctionsOf(std::vector<AnalyticMaterial>& materials);

}  // namespace EnergyOptTest
