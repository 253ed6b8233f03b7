#include "compounds.h"

#include <stdexcept>

namespace EnergyOptTest {

CompoundMaterial MakeCompound(const std::string& formula, double density, int method) {
    CompoundMaterial m;
    if (m.compound.SetFormula(formula, true) != 0) throw std::invalid_argument("bad formula " + formula);
    m.compound.density = density;
    m.method = method;
    return m;
}

int32_t CompoundAttenuation(void* context, double energy, double* result) {
    const auto* m = static_cast<const CompoundMaterial*>(context);
    *result = m->compound.LinearAttenuation(m->method, zun::kLinearAttenuation, zun::kAttenTotal, energy);
    return 0;
}

int32_t CompoundPhase(void* context, double energy, double* result) {
    const auto* m = static_cast<const CompoundMaterial*>(context);
    if (m->method != zun::kAttenTlacTrc && m->method != zun::kAttenExtended)
        return EnergyOpt::kPhiNotSupported;
    *result = m->compound.LinearAttenuation(m->method, zun::kLinearPhaseShift, zun::kAttenTotal, energy);
    return 0;
}

std::vector<EnergyOpt::MaterialFunctions> FunctionsOf(std::vector<CompoundMaterial>& materials) {
    std::vector<EnergyOpt::MaterialFunctions> functions;
    for (auto& m : materials)
        functions.push_back({&m, CompoundPhase, CompoundAttenuation, m.compound.entries.empty()});
    return functions;
}

}  // namespace EnergyOptTest
