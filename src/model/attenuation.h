#pragma once
// Element attenuation coefficients from the four sources: 0 mucal (fits), 1 TLAC/TRC, 2 NIST,
// 3 Extended.

#include <string>

namespace zun {

// Mass coefficient (cm2/g) of kind 0 total / 1 photoelectric; for data type non-zero the phase
// term per unit density (the fits and NIST have none). 0 where the source has no data.
double ElementAttenuation(const std::string& symbol, int method, int kind, int dataType, double energy);
// The same by atomic number (Z = 1 ... 94).
double ElementAttenuationZ(int z, int method, int kind, int dataType, double energy);

// The photon energies (keV) a method serves for every element it holds: lo < E <= hi for the
// fitted routine (0 has no meaning there), lo <= E <= hi for the tables. False for an unknown
// method.
bool AttenEnergyRange(int method, double& lo, double& hi);

}  // namespace zun
