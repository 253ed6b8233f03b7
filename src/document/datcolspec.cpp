#include "document/datcolspec.h"

#include <algorithm>

#include "platform/archive.h"

namespace zun {

namespace {

constexpr std::uint32_t Rgb(unsigned r, unsigned g, unsigned b) {
    return r | (g << 8) | (b << 16);
}

// The first 18 colours of the plot's series palette.
constexpr std::uint32_t kPalette[18] = {
    Rgb(255, 0, 0),    Rgb(0, 255, 0),    Rgb(0, 0, 255),    Rgb(255, 255, 0), Rgb(0, 255, 255),
    Rgb(255, 0, 255),  Rgb(255, 128, 0),  Rgb(0, 255, 128),  Rgb(128, 0, 255), Rgb(128, 255, 0),
    Rgb(0, 128, 255),  Rgb(255, 0, 128),  Rgb(200, 55, 55),  Rgb(55, 200, 55), Rgb(55, 55, 200),
    Rgb(200, 200, 55), Rgb(55, 200, 200), Rgb(200, 55, 200),
};

constexpr std::uint32_t kDefaultSpectrum[DatcolMultiSpec::kStops] = {0xFF0000, 0xFFFF00, 0x00FF00,
                                                                     0x00FFFF, 0x0080FF, 0x0000FF};

constexpr std::size_t kReadPiece = 1 << 16;

template <class T, std::size_t N>
void ArrayToVector(const std::array<T, N>& a, std::vector<T>& v) {
    v.assign(a.begin(), a.end());
}

// Loaded lists of another length fill what they can; the rest stays as it was.
template <class T, std::size_t N>
void VectorToArray(const std::vector<T>& v, std::array<T, N>& a) {
    std::copy_n(v.begin(), std::min(v.size(), N), a.begin());
}

}  // namespace

std::uint32_t DatcolPaletteColour(int i) {
    return kPalette[((i % 18) + 18) % 18];
}

void WriteByteVector(Archive& ar, const std::vector<std::uint8_t>& bytes) {
    ar << static_cast<std::uint32_t>(bytes.size());
    if (!bytes.empty()) ar.Write(bytes.data(), bytes.size());
}

void ReadByteVector(Archive& ar, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::uint32_t n = 0;
    ar >> n;
    while (bytes.size() < n) {
        std::size_t piece = std::min<std::size_t>(kReadPiece, n - bytes.size());
        std::size_t at = bytes.size();
        bytes.resize(at + piece);
        ar.Read(bytes.data() + at, piece);
    }
}

template <class T>
void SerializeCountedVector(Archive& ar, std::vector<T>& v) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        if (!v.empty()) ar.Write(v.data(), v.size() * sizeof(T));
        return;
    }
    std::int32_t n = 0;
    ar >> n;
    if (n < 0) throw ArchiveException(ArchiveException::generic, "negative count");
    v.clear();
    while (v.size() < static_cast<std::size_t>(n)) {
        std::size_t piece = std::min<std::size_t>(kReadPiece, n - v.size());
        std::size_t at = v.size();
        v.resize(at + piece);
        ar.Read(v.data() + at, piece * sizeof(T));
    }
}
template void SerializeCountedVector(Archive&, std::vector<std::uint32_t>&);
template void SerializeCountedVector(Archive&, std::vector<std::int32_t>&);
template void SerializeCountedVector(Archive&, std::vector<float>&);
template void SerializeCountedVector(Archive&, std::vector<double>&);
template void SerializeCountedVector(Archive&, std::vector<std::uint16_t>&);

DatcolBaseSpec::DatcolBaseSpec() {
    enables.fill(0);
    colours.fill(kUnsetColour);
    opacities.fill(kUnsetOpacity);
}

bool DatcolBaseSpec::IsEqual(const DatcolBaseSpec& o) const {
    return enables == o.enables && colours == o.colours && opacities == o.opacities;
}

void DatcolBaseSpec::Assign(const DatcolBaseSpec& o) {
    enables = o.enables;
    colours = o.colours;
    opacities = o.opacities;
    enabledColours = o.enabledColours;
    enabledOpacities = o.enabledOpacities;
}

void DatcolBaseSpec::AssignDefault() {
    for (int i = 0; i < kEntries; ++i) {
        enables[i] = 1;
        colours[i] = DatcolPaletteColour(i);
        opacities[i] = 1.0f;
    }
    RebuildDerivedLists();
}

void DatcolBaseSpec::RebuildDerivedLists() {
    enabledColours.clear();
    enabledOpacities.clear();
    for (int i = 0; i < kEntries; ++i) {
        if (!enables[i]) continue;
        enabledColours.push_back(colours[i]);
        enabledOpacities.push_back(opacities[i]);
    }
}

bool DatcolBaseSpec::HasUnsetEntry() const {
    for (int i = 0; i < kEntries; ++i)
        if (colours[i] == kUnsetColour || opacities[i] < -0.05f) return true;
    return false;
}

void DatcolBaseSpec::SerializeEntries(Archive& ar) {
    std::vector<std::uint8_t> en;
    std::vector<std::uint32_t> col;
    std::vector<float> op;
    if (ar.IsStoring()) {
        ArrayToVector(enables, en);
        ArrayToVector(colours, col);
        ArrayToVector(opacities, op);
        WriteByteVector(ar, en);
        SerializeCountedVector(ar, col);
        SerializeCountedVector(ar, op);
        return;
    }
    ReadByteVector(ar, en);
    SerializeCountedVector(ar, col);
    SerializeCountedVector(ar, op);
    VectorToArray(en, enables);
    VectorToArray(col, colours);
    VectorToArray(op, opacities);
}

bool DatcolValueSpec::IsEqual(const DatcolBaseSpec& other) const {
    if (!DatcolBaseSpec::IsEqual(other)) return false;
    auto* o = dynamic_cast<const DatcolValueSpec*>(&other);
    if (!o) return true;
    return fromEnabled == o->fromEnabled && toEnabled == o->toEnabled && fromValue == o->fromValue &&
           toValue == o->toValue && entryFormat == o->entryFormat;
}

void DatcolValueSpec::Assign(const DatcolBaseSpec& other) {
    DatcolBaseSpec::Assign(other);
    if (auto* o = dynamic_cast<const DatcolValueSpec*>(&other)) {
        fromEnabled = o->fromEnabled;
        toEnabled = o->toEnabled;
        fromValue = o->fromValue;
        toValue = o->toValue;
        entryFormat = o->entryFormat;
    }
}

void DatcolValueSpec::Serialize(Archive& ar) {
    SerializeEntries(ar);
    if (ar.IsStoring())
        ar << fromEnabled << toEnabled << fromValue << toValue << entryFormat;
    else
        ar >> fromEnabled >> toEnabled >> fromValue >> toValue >> entryFormat;
}

DatcolMultiSpec::DatcolMultiSpec() {
    enables.fill(0);
    colours.fill(kUnsetColour);
}

bool DatcolMultiSpec::operator==(const DatcolMultiSpec& o) const {
    return enables == o.enables && colours == o.colours;
}

void DatcolMultiSpec::AssignDefault() {
    for (int i = 0; i < kStops; ++i) {
        enables[i] = 1;
        colours[i] = kDefaultSpectrum[i];
    }
    DataDisplaySpreadColourStops(*this, 0, 16383);
}

void DatcolMultiSpec::Serialize(Archive& ar) {
    std::vector<std::uint8_t> en;
    std::vector<std::uint32_t> col;
    if (ar.IsStoring()) {
        ArrayToVector(enables, en);
        ArrayToVector(colours, col);
        WriteByteVector(ar, en);
        SerializeCountedVector(ar, col);
    } else {
        ReadByteVector(ar, en);
        SerializeCountedVector(ar, col);
        VectorToArray(en, enables);
        VectorToArray(col, colours);
    }
    SerializeCountedVector(ar, stopValues);
    SerializeCountedVector(ar, stopColours);
}

void DataDisplaySpreadColourStops(DatcolMultiSpec& spec, unsigned from, unsigned to) {
    unsigned low = std::min(from, 16383u), high = std::min(to, 16383u);
    if (low > high) std::swap(low, high);
    unsigned range = high - low;
    spec.stopValues.clear();
    spec.stopColours.clear();
    int n = 0;
    for (auto e : spec.enables) n += e != 0;
    int k = 0;
    for (int i = 0; i < DatcolMultiSpec::kStops; ++i) {
        if (!spec.enables[i]) continue;
        spec.stopColours.push_back(spec.colours[i]);
        unsigned v = k == 0 ? std::max(low, 1u) : low + range * k / (n - 1);
        spec.stopValues.push_back(static_cast<std::uint16_t>(v));
        ++k;
    }
}

DataDisplaySettings::DataDisplaySettings() {
    bitSpec.AssignDefault();
    valueSpec.AssignDefault();
    multiSpec.AssignDefault();
}

}  // namespace zun
