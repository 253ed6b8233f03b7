#include "compute/propertysettings.h"

#include "platform/archive.h"

namespace zun {

namespace {

constexpr std::uint32_t kVersionStamp = 2648;

std::int32_t ReadCount(Archive& ar) {
    std::int32_t n = 0;
    ar >> n;
    if (n < 0) throw ArchiveException(ArchiveException::generic, "negative count in the property methods");
    return n;
}

// Counts come from the file: elements are appended one by one, so a damaged count ends in a
// short-read error instead of a huge allocation.
template <class T>
void SerializeVector(Archive& ar, std::vector<T>& v) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        for (T x : v) ar << x;
        return;
    }
    const std::int32_t n = ReadCount(ar);
    v.clear();
    for (std::int32_t i = 0; i < n; ++i) {
        T x{};
        ar >> x;
        v.push_back(x);
    }
}

void SerializeNamedValues(Archive& ar, std::vector<NamedValue>& v) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        for (const NamedValue& e : v) ar << e.value << e.name;
        return;
    }
    const std::int32_t n = ReadCount(ar);
    v.clear();
    for (std::int32_t i = 0; i < n; ++i) {
        NamedValue e;
        ar >> e.value >> e.name;
        v.push_back(std::move(e));
    }
}

void SerializeColumns(Archive& ar, std::vector<ExtrapolationColumn>& columns) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(columns.size());
        for (ExtrapolationColumn& c : columns) {
            ar << c.weight;
            SerializeVector(ar, c.values);
        }
        return;
    }
    const std::int32_t n = ReadCount(ar);
    columns.clear();
    for (std::int32_t i = 0; i < n; ++i) {
        ExtrapolationColumn c;
        ar >> c.weight;
        SerializeVector(ar, c.values);
        columns.push_back(std::move(c));
    }
}

template <class T>
void Field(Archive& ar, T& x) {
    if (ar.IsStoring())
        ar << x;
    else
        ar >> x;
}

void SerializeCluster(Archive& ar, LinkedClusterSettings& c) {
    Field(ar, c.greaterEqual);
    Field(ar, c.threshold);
    Field(ar, c.componentDetails);
    Field(ar, c.firstCluster);
    Field(ar, c.lastCluster);
    Field(ar, c.sortOrder);
    Field(ar, c.sizeFilter);
    Field(ar, c.filterLow);
    Field(ar, c.filterHigh);
    for (auto& a : c.planeAxis) Field(ar, a);
    for (auto& axis : c.planes)
        for (auto& p : axis) Field(ar, p);
    for (auto& op : c.planeOperator) Field(ar, op);
}

void SerializeRecord(Archive& ar, PropertyMethodSettings& r) {
    Field(ar, r.kind);
    Field(ar, r.enabled);
    SerializeNamedValues(ar, r.allChannels);
    SerializeNamedValues(ar, r.compositions);
    SerializeNamedValues(ar, r.boundaries);
    SerializeNamedValues(ar, r.properties);
    Field(ar, r.inputChannel);
    Field(ar, r.inputBound);
    Field(ar, r.outputChannel);
    SerializeVector(ar, r.inputIndices);
    SerializeVector(ar, r.boundIndices);
    SerializeVector(ar, r.outputIndices);
    SerializeVector(ar, r.voxelResolution);
    SerializeVector(ar, r.sampleDimensions);
    Field(ar, r.voxelStructure);
    // Reserved words, kept in the layout with their historical values.
    std::int32_t reservedInt = 0, reservedTen = 10, reservedWords[3] = {0, 0, 0};
    std::uint8_t reservedByte = 1;
    Field(ar, reservedInt);
    Field(ar, r.orientation);
    Field(ar, reservedByte);
    Field(ar, reservedTen);
    for (auto& w : reservedWords) Field(ar, w);
    SerializeColumns(ar, r.columns);
    SerializeCluster(ar, r.cluster);
}

}  // namespace

const char* PropertyMethodDescription(int kind) {
    switch (kind) {
        case kScalarAnalyticMap:
            return "Scalar analytic map";
        case kScalarExtrapolation:
            return "Scalar extrapolation";
        case kLinkedClusterAnalysis:
            return "Linked cluster analysis";
        default:
            return "";
    }
}

void SerializePropertyMethods(Archive& ar, std::vector<PropertyMethodSettings>& methods) {
    if (ar.IsStoring()) {
        ar << kVersionStamp << static_cast<std::int32_t>(methods.size());
        for (PropertyMethodSettings& r : methods) SerializeRecord(ar, r);
        return;
    }
    std::uint32_t stamp = 0;
    ar >> stamp;
    const std::int32_t n = ReadCount(ar);
    std::vector<PropertyMethodSettings> loaded;
    for (std::int32_t i = 0; i < n; ++i) {
        PropertyMethodSettings r;
        SerializeRecord(ar, r);
        loaded.push_back(std::move(r));
    }
    methods = std::move(loaded);
}

}  // namespace zun
