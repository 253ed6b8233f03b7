#include "model/attenuation.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "model/attentable.h"
#include "model/compound.h"
#include "model/element.h"
#include "model/mucal.h"

namespace zun {

namespace {
// The fits were made to data up to 1 MeV; far beyond, the polynomials in ln E run away, so the
// routine serves the energies of the largest table and no more.
constexpr double kMucalMaxEnergy = 2000.0;
}  // namespace

double ElementAttenuationZ(int z, int method, int kind, int dataType, double energy) {
    if (z < 1 || z > kElementCount) return 0.0;
    if (method == kAttenMucal) {
        if (!(energy <= kMucalMaxEnergy)) return 0.0;
        MucalResult r;
        const int code = mucal(ElementSymbol(z), energy, r);
        if (code != 0 && code != 7 && code != 8) return 0.0;  // no data: callers check availability first
        if (kind == kAttenPhoto) return r.xsec[0];
        return r.xsec[7] > 0.0 ? r.xsec[5] / r.xsec[7] : r.xsec[3];
    }
    const AttenTable& t = GetAttenTable(method, kind == kAttenPhoto ? kAttenPhoto : kAttenTotal);
    const AttenTable::Values v = t.LookupZ(z, static_cast<float>(energy));
    if (method == kAttenTlacTrc || method == kAttenExtended)
        return dataType == kLinearAttenuation ? v.first : v.second;
    return v.first;  // NIST has no phase term
}

bool AttenEnergyRange(int method, double& lo, double& hi) {
    if (method == kAttenMucal) {
        lo = 0.0;
        hi = kMucalMaxEnergy;
        return true;
    }
    if (method != kAttenTlacTrc && method != kAttenNist && method != kAttenExtended) return false;
    lo = 0.0;
    hi = std::numeric_limits<double>::infinity();
    for (int kind : {kAttenTotal, kAttenPhoto}) {
        const AttenTable& t = GetAttenTable(method, kind);
        for (int z = 1; z <= t.ElementCount(); ++z) {
            const std::vector<AttenPoint>& pts = t.Points(z);
            if (pts.empty()) continue;
            lo = std::max(lo, static_cast<double>(pts.front().energy));
            hi = std::min(hi, static_cast<double>(pts.back().energy));
        }
    }
    return lo <= hi;
}

double ElementAttenuation(const std::string& symbol, int method, int kind, int dataType, double energy) {
    return ElementAttenuationZ(ElementNumber(symbol), method, kind, dataType, energy);
}

namespace {

// The compound flattened to one amount per element, in order of first appearance: what
// FlattenInto builds, without allocating (the mixture rule runs in tight loops).
struct FlatElements {
    int count = 0;
    std::array<int, kElementCount> z{};
    std::array<float, kElementCount> amount{};

    void Add(const Compound& c, float factor) {
        for (const Entry& e : c.entries) {
            if (e.key.compound) {
                Add(*e.key.compound, factor * e.abundance);
                continue;
            }
            const int zz = ElementNumber(e.key.symbol);
            if (zz == 0) continue;  // weighs nothing and attenuates nothing
            const float a = e.abundance * factor;
            int i = 0;
            while (i < count && z[i] != zz) ++i;
            if (i < count) {
                amount[i] += a;
            } else if (a != 0.0f) {
                z[count] = zz;
                amount[count++] = a;
            }
        }
    }
};

}  // namespace

double Compound::MassAttenuation(int method, int dataType, int kind, double energy) const {
    FlatElements flat;
    flat.Add(*this, 1.0f);
    double molar = 0.0;
    for (int i = 0; i < flat.count; ++i)
        molar += static_cast<double>(flat.amount[i]) * AtomicWeight(flat.z[i]);
    if (molar == 0.0) return 0.0;
    double mu = 0.0;
    for (int i = 0; i < flat.count; ++i) {
        const double fraction = static_cast<double>(flat.amount[i]) * AtomicWeight(flat.z[i]) / molar;
        mu += fraction * ElementAttenuationZ(flat.z[i], method, kind, dataType, energy);
    }
    return mu;
}

double Compound::LinearAttenuation(int method, int dataType, int kind, double energy) const {
    return MassAttenuation(method, dataType, kind, energy) * density;
}

namespace {

bool ListHas(const std::string& list, const std::string& symbol) {
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (list.compare(start, end - start, symbol) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool Available(int z, int method) {
    if (z == 0) return false;
    if (method == kAttenMucal)
        return z != 84 && z != 85 && z != 87 && z != 88 && z != 89 && z != 91 && z != 93;
    if (method == kAttenNist) return z <= 92;
    return true;
}

}  // namespace

int Compound::CountUnavailableElements(int method, std::string& list) const {
    int n = 0;
    for (const Entry& e : entries) {
        if (e.key.compound) {
            n += e.key.compound->CountUnavailableElements(method, list);
            continue;
        }
        if (Available(ElementNumber(e.key.symbol), method) || ListHas(list, e.key.symbol)) continue;
        if (!list.empty()) list += ',';
        list += e.key.symbol;
        ++n;
    }
    return n;
}

}  // namespace zun
