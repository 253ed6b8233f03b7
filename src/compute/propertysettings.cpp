#include "compute/propertysettings.h"

#include "platform/archive.h"

namespace zun {

namespace {


std::int32_t ReadCount(Archive& ar) {
    std::int32_t n = 0;
    ar >> n;
    if (n < 0) throw ArchiveException(ArchiveException::generic, "negative count in the property methods");
    return n;
}

template <class T>
void Field(Archive& ar, T& x) {
    if (ar.IsStoring())
        ar << x;
    else
        ar >> x;
}

// Counts come from the file: elements are appended one by one, so a damaged count ends in a
// short-read error instead of a huge allocation. `element` stores or loads one element.
template <class T, class F>
void SerializeList(Archive& ar, std::vector<T>& v, F element) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        for (T& e : v) element(e);
        return;
    }
    const std::int32_t n = ReadCount(ar);
    v.clear();
    for (std::int32_t i = 0; i < n; ++i) {
        T e;
        element(e);
        v.push_back(std::move(e));
    }
}

template <class T>
void SerializeVector(Archive& ar, std::vector<T>& v) {
    SerializeList(ar, v, [&](T& x) { Field(ar, x); });
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
    auto named = [&](NamedValue& e) {
        Field(ar, e.value);
        Field(ar, e.name);
    };
    SerializeList(ar, r.allChannels, named);
    SerializeList(ar, r.compositions, named);
    SerializeList(ar, r.boundaries, named);
    SerializeList(ar, r.properties, named);
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
    SerializeList(ar, r.columns, [&](ExtrapolationColumn& c) {
        Field(ar, c.weight);
        SerializeVector(ar, c.values);
    });
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
        ar << kRecordStamp << static_cast<std::int32_t>(methods.size());
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
