// Chemical formulas: whatever the text, the parser answers; a formula it takes is rebuilt into a
// text that it takes again, for the same composition.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/compound.h"
#include "model/sampleclasses.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zun::RegisterModelClasses();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    zun::Compound c;
    if (c.SetFormula(text, true) != 0) return 0;
    c.GetMolarMass();
    c.GetDefaultDensity();
    const std::string rebuilt = c.GetFormula();
    zun::Compound again;
    if (again.SetFormula(rebuilt, true) != 0) {
        std::fprintf(stderr, "the rebuilt formula \"%s\" of \"%s\" is refused\n", rebuilt.c_str(),
                     text.c_str());
        std::abort();
    }
    return 0;
}
