#pragma once
// Tables generated from Debian's xraylib and pymca-data by tools/make_materials_data.py.
// Rows are indexed by Z - 1 (Z = 1 ... 94).

namespace zun::elementdata {

constexpr int kElementCount = 94;
constexpr int kMaxEdges = 12;

struct ElementRow {
    const char* symbol;
    double atomicWeight;  // g/mol
    double density;       // g/cm3
};

// Absorption edges at 1 keV or above, ascending.
struct EdgeRow {
    int count;
    double energy[kMaxEdges];
};

// Coefficients of the fitted cross-section routine ("mucal"); hasData false where it has none.
struct MucalRow {
    bool hasData;
    // K, L1, L2, L3, M edges, then the K-alpha1, K-beta1, L-alpha1, L-beta1 lines (keV, 0 absent).
    double energy[9];
    // ln(sigma / barn) = sum a_i (ln E)^i for: photoelectric above K, in the L region, in the M
    // region, below M; coherent; incoherent.
    double fit[6][4];
    double atomicWeight;
    double density;
    double barnsToCm2PerGram;     // atomic weight / 0.6022
    double kEdgeJump;             // photoelectric jump ratio at the K edge
    double fluorescenceYield[4];  // K, L1, L2, L3
};

extern const ElementRow kElements[kElementCount];
extern const EdgeRow kEdges[kElementCount];
extern const MucalRow kMucal[kElementCount];

}  // namespace zun::elementdata
