#include "model/mucal.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/element.h"
#include "model/elementdata.h"

namespace zun {

namespace {

constexpr double kL2Jump = 1.16;
constexpr double kL3Jump = 1.41;
constexpr int kMaxZ = elementdata::kElementCount;

// The routine knows the symbols up to Z = 103 (with the old symbol Lw) to tell "no data for Z>94"
// from an invalid name.
const char* const kHeavySymbols[] = {"Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lw"};

int RoutineNumber(const std::string& name) {
    char sym[3] = {static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))), '\0', '\0'};
    if (name.size() > 1) sym[1] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[1])));
    if (int z = ElementNumber(sym); z > 0) return z;
    for (int i = 0; i < 9; ++i)
        if (std::strcmp(sym, kHeavySymbols[i]) == 0) return kMaxZ + 1 + i;
    return 0;
}

double Fit(const double* a, double e) {
    double le = std::log(e);
    return std::exp(a[0] + le * (a[1] + le * (a[2] + le * a[3])));
}

}  // namespace

int mucal(const std::string& name, double e, MucalResult& out) {
    out = MucalResult{};
    if (name.empty()) {
        out.error = "mucal: no shirt/name, no shoes/Z, no service";
        return 1;
    }
    int z = RoutineNumber(name);
    if (z == 84 || z == 85 || z == 87 || z == 88 || z == 89 || z == 91 || z == 93) {
        out.error = "mucal: no data is avaialble for Po, At, Fr, Ra, Ac, Pa, Np";
        return 3;
    }
    if (z > kMaxZ) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "mucal: no data for Z>%d", kMaxZ);
        out.error = buf;
        return 3;
    }
    if (z == 0) {
        out.error = "mucal: invalid element name " + name;
        return 5;
    }
    if (!(e >= 0.0) || std::isinf(e)) {  // NaN and infinity are no energies either
        out.error = "mucal: photon energy must be non-negative";
        return 6;
    }
    const elementdata::MucalRow& row = elementdata::kMucal[z - 1];
    for (int i = 0; i < 9; ++i) out.energy[i] = row.energy[i];
    for (int i = 0; i < 4; ++i) out.fluorescenceYield[i] = row.fluorescenceYield[i];
    out.xsec[6] = row.atomicWeight;
    out.xsec[7] = row.density;
    out.xsec[8] = z >= 28 ? kL2Jump : 0.0;
    out.xsec[9] = z >= 28 ? kL3Jump : 0.0;
    out.xsec[10] = row.kEdgeJump;
    if (e == 0.0) return 0;

    int code = 0;
    const double k = row.energy[0], l1 = row.energy[1], l2 = row.energy[2], l3 = row.energy[3],
                 m = row.energy[4];
    for (int i = 0; i < 5; ++i) {
        if (row.energy[i] > 0.0 && std::fabs(e - row.energy[i]) <= 0.001) {
            out.error =
                "mucal:  photon energy  is within 1 eV of edge\n        fit results may be inaccurate";
            code = 7;
        }
    }
    int region = e >= k ? 1 : e >= l3 ? 2 : e >= m ? 3 : 4;
    double photo = 0.0;
    switch (region) {
        case 1:
            photo = Fit(row.fit[0], e);
            break;
        case 2:
            photo = Fit(row.fit[1], e);
            if (e >= l2 && e < l1)
                photo /= kL2Jump;
            else if (e >= l3 && e < l2)
                photo /= kL2Jump * kL3Jump;
            break;
        case 3:
            photo = Fit(row.fit[2], e);
            break;
        default:
            photo = Fit(row.fit[3], e);
            break;
    }
    if (region >= 3 && z < 30) {
        out.error =
            "mucal: McMaster et al. use L-edge fits for the M edges for Z<30\nWARNING: results may be "
            "inaccurate";
        code = 8;
    }
    const double conv = row.barnsToCm2PerGram;
    double coherent = Fit(row.fit[4], e);
    double incoherent = Fit(row.fit[5], e);
    double total = photo + coherent + incoherent;
    out.xsec[0] = photo / conv;
    out.xsec[1] = coherent / conv;
    out.xsec[2] = incoherent / conv;
    out.xsec[3] = total / conv;
    out.xsec[4] = conv;
    out.xsec[5] = total * row.density / conv;
    return code;
}

}  // namespace zun
