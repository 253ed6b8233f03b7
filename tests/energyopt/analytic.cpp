#include "analytic.h"

#include <stdexcept>

namespace EnergyOptTest {

int32_t AnalyticAttenuation(void* context, double energy, double* result) {
    auto* m = static_cast<AnalyticMaterial*>(context);
    ++m->calls;
    if (m->throwStd) throw std::runtime_error("material table missing");
    if (m->throwOther) throw 42;
    if (m->attenuationStatus != 0) return m->attenuationStatus;
    *result = m->muConstant + m->muSlope * energy;
    return 0;
}

int32_t AnalyticPhase(void* context, double energy, double* result) {
    auto* m = static_cast<AnalyticMaterial*>(context);
    ++m->calls;
    if (m->phaseStatus != 0) return m->phaseStatus;
    *result = m->phiConstant + m->phiSlope / energy;
    return 0;
}

EnergyOpt::MaterialFunctions Functions(AnalyticMaterial& material, bool isVoid) {
    return {&material, AnalyticPhase, AnalyticAttenuation, isVoid};
}

std::vector<EnergyOpt::MaterialFunctions> FunctionsOf(std::vector<AnalyticMaterial>& materials) {
    std::vector<EnergyOpt::MaterialFunctions> functions;
    for (auto& m : materials) functions.push_back(Functions(m));
    return functions;
}

}  // namespace EnergyOptTest
