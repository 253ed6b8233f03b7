#pragma once
// Tabulated element attenuation data: the TLAC/TRC, NIST and Extended sets, each with a total and a
// photoelectric table. Built once on first use from the data embedded in the library, read-only
// afterwards (lookups from several threads need no lock).

#include <string_view>
#include <utility>
#include <vector>

namespace zun {

struct AttenPoint {
    float energy;  // keV
    float value;   // cm2/g
    float phase;   // phase-shift term per unit density (0 where the set has none)
};

class AttenTable {
public:
    using Values = std::pair<float, float>;  // value, phase value

    // One record as stored: energy (keV), value, phase value.
    struct Record {
        double energy, value, phase;
    };

    AttenTable(int method, int kind, int elementCount)
        : method_(method), kind_(kind), elementCount_(elementCount) {}

    int Method() const { return method_; }
    int Kind() const { return kind_; }
    int ElementCount() const { return elementCount_; }

    // Fills the per-element point lists from records (the elements one after the other in Z
    // order, index[i] = {first record, record count} of Z = i + 1). A repeated energy keeps its
    // first values.
    void Build(const std::vector<Record>& records, const std::vector<std::pair<int, int>>& index);
    // Makes every absorption edge a point carrying the high-energy side of the jump, except where
    // the set holds the jump itself (two points a few eV apart near the edge's energy).
    void InsertEdges();

    // (0, 0) for a symbol the set does not hold or an energy outside its range.
    Values Lookup(std::string_view symbol, float energy) const;
    Values LookupZ(int z, float energy) const;
    static Values Interpolate(const std::vector<AttenPoint>& points, float energy);

    const std::vector<AttenPoint>& Points(int z) const;  // Z = 1 ... ElementCount()

private:
    int method_, kind_, elementCount_;
    std::vector<std::vector<AttenPoint>> elements_;  // index Z - 1, ascending energy
};

// The table of a method (1 TLAC/TRC, 2 NIST, 3 Extended) and kind (1 photoelectric, else total).
// The first call builds all six tables. Throws std::runtime_error when the embedded data is damaged.
const AttenTable& GetAttenTable(int method, int kind);

}  // namespace zun
