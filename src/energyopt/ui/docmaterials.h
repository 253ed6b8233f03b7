#pragma once
// The material functions of a document's compositions for the energy optimisation: each looks
// its channel up by name and returns the composition's linear attenuation or phase shift with
// the document's attenuation source and coefficient kind.

#include <memory>
#include <string>
#include <vector>

#include "energyopt/problem.h"

namespace zun {
class CZunDoc;
}

namespace EnergyOpt {

class DocMaterials {
public:
    explicit DocMaterials(const zun::CZunDoc& doc) : doc_(doc) {}
    // One entry per name, in order; the contexts live as long as this object.
    std::vector<MaterialFunctions> Functions(const std::vector<std::string>& names);

private:
    struct Context {
        const zun::CZunDoc* doc;
        std::string name;
    };
    static int32_t Attenuation(void* context, double energy, double* result);
    static int32_t Phase(void* context, double energy, double* result);
    static int32_t Coefficient(const Context& c, int dataType, double energy, double* result);

    const zun::CZunDoc& doc_;
    std::vector<std::unique_ptr<Context>> contexts_;
};

}  // namespace EnergyOpt
