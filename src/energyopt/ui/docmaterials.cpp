#include "energyopt/ui/docmaterials.h"

#include "document/zundoc.h"

namespace EnergyOpt {

std::vector<MaterialFunctions> DocMaterials::Functions(const std::vector<std::string>& names) {
    std::vector<MaterialFunctions> out;
    const zun::ZunImage& sample = doc_.GetSample();
    for (const std::string& name : names) {
        contexts_.push_back(std::make_unique<Context>(Context{&doc_, name}));
        MaterialFunctions f;
        f.context = contexts_.back().get();
        f.attenuation = &Attenuation;
        f.phaseShift = &Phase;
        const int i = sample.FindChanIndex(name);
        const zun::ZunChan* chan = i >= 0 ? sample.GetChan(i) : nullptr;
        f.isVoid = !chan || chan->compound.GetFormula().empty() || chan->compound.density == 0.0;
        out.push_back(f);
    }
    return out;
}

int32_t DocMaterials::Coefficient(const Context& c, int dataType, double energy, double* result) {
    const zun::ZunImage& sample = c.doc->GetSample();
    const int i = sample.FindChanIndex(c.name);
    if (i < 0) return kUndefinedMaterialFunction;
    const zun::Compound& compound = sample.GetChan(i)->compound;
    const zun::DocSettings& s = c.doc->Settings();
    *result =
        compound.MassAttenuation(s.attenuationMethod, dataType, s.coefficientKind, energy) * compound.density;
    return kSuccess;
}

int32_t DocMaterials::Attenuation(void* context, double energy, double* result) {
    return Coefficient(*static_cast<Context*>(context), 0, energy, result);
}

int32_t DocMaterials::Phase(void* context, double energy, double* result) {
    const auto& c = *static_cast<Context*>(context);
    const int method = c.doc->Settings().attenuationMethod;
    if (method == 0 || method == 2) return kPhiNotSupported;
    return Coefficient(c, 1, energy, result);
}

}  // namespace EnergyOpt
