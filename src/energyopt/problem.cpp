#include "energyopt/problem.h"

namespace EnergyOpt {

const char* const StatusTexts[kStatusTextCount] = {
    "success",
    "phi values not supported in currently enabled attenuation tables (see Zun Properties)",
    "argument value out of range",
    "undefined material function",
    "no feasible solutions found",
    "no materials supplied",
    "no energies supplied in beam domains",
    "at least one supplied beam domain has min energy > max energy",
    "number of supplied volume fraction entries not equal to number of materials",
    "no evaluation energies supplied",
    "number of measured responses does not equal the number of measurements inferred from the "
    "measurement energies provided",
    "an entry is negative, or sum of entries > 1.0",
    "no degrees of freedom (only one material)",
};

}  // namespace EnergyOpt
