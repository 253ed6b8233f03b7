#pragma once
// The fitted cross-section routine ("mucal"): photoelectric, coherent and incoherent cross
// sections of an element from least-squares fits in ln E, with its edge and line energies and
// fluorescence yields.

#include <string>

namespace zun {

struct MucalResult {
    // K, L1, L2, L3, M edges; K-alpha1, K-beta1, L-alpha1, L-beta1 lines (keV).
    double energy[9] = {};
    // 0 photoelectric, 1 coherent, 2 incoherent, 3 total (cm2/g); 4 barns/atom to cm2/g factor;
    // 5 linear coefficient (1/cm); 6 atomic weight; 7 density; 8 L2 jump; 9 L3 jump; 10 K-edge
    // jump ratio.
    double xsec[11] = {};
    double fluorescenceYield[4] = {};  // K, L1, L2, L3
    std::string error;
};

// Codes: 0 success, 1 empty name, 3 no data for the element, 5 invalid name, 6 negative energy;
// 7 within 1 eV of an edge and 8 M-region fit for Z < 30 are warnings with valid results.
int mucal(const std::string& name, double energy, MucalResult& out);

}  // namespace zun
