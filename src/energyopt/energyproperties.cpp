#include "energyopt/energyproperties.h"

#include "model/sample.h"
#include "model/zunchan.h"

namespace EnergyOpt {

EnergyPropertiesRequest PrepareEnergyProperties(const zun::ZunImage& sample, int attenuationMethod,
                                                const std::string& documentName) {
    EnergyPropertiesRequest r;
    std::string missing;
    int count = 0;
    for (int i = 0; i < sample.GetChanCount(); ++i) {
        const zun::ZunChan* c = sample.GetChan(i);
        if (c->kind != zun::ZunChan::kComposition) continue;
        r.compositions.push_back(c->name);
        count += c->compound.CountUnavailableElements(attenuationMethod, missing);
    }
    r.caption = documentName + ": " +
                (r.compositions.size() == 1 ? "Channel '" + r.compositions.front() + "' Energy Properties"
                                            : std::string("Multiple Channel Energy Properties"));
    if (count > 0) r.refusal = kMissingElementData + missing;
    return r;
}

}  // namespace EnergyOpt
