#pragma once
// The records of the property computation: one PropertyMethodSettings per method in the
// controller's ordered list, with its linked-cluster settings.

#include <cstdint>
#include <string>
#include <vector>

namespace zun {

class Archive;

enum PropertyMethodKind : std::int32_t {
    kScalarAnalyticMap = 0,
    kScalarExtrapolation = 1,
    kLinkedClusterAnalysis = 2,
};

// One entry of a channel table: the channel's name and a value (a composition's property value
// in the analytic map, 1.0 elsewhere).
struct NamedValue {
    std::string name;
    float value = 1.0f;
    bool operator==(const NamedValue&) const = default;
};

// One column of the scalar-extrapolation table: a weight and one value per training row. The
// columns follow the compositions in order; the last column holds the property values.
struct ExtrapolationColumn {
    float weight = 0.0f;
    std::vector<float> values;
    bool operator==(const ExtrapolationColumn&) const = default;
};

enum ClusterSizeFilter : std::int32_t { kNoFilter = 0, kLargest, kSmallest, kBetween, kGreatEq, kLessEq };
enum PlaneOperator : std::int32_t { kPlaneNot = 0, kPlaneAnd = 1, kPlaneOr = 2 };

struct LinkedClusterSettings {
    std::uint8_t greaterEqual = 1;  // threshold comparison: 1 ">=", 0 "<="
    float threshold = 0.5f;         // normalised 0..1
    std::uint8_t componentDetails = 0;
    std::int64_t firstCluster = 1;
    std::int64_t lastCluster = 16383;
    std::int32_t sortOrder = 0;  // 0 descending (largest first), 1 ascending
    std::int32_t sizeFilter = kNoFilter;
    std::uint64_t filterLow = 0;
    std::uint64_t filterHigh = 0;
    std::uint8_t planeAxis[3] = {0, 0, 0};
    std::uint32_t planes[3][2] = {{0, 1}, {0, 1}, {0, 1}};  // X1 X2, Y1 Y2, Z1 Z2
    std::int32_t planeOperator[3] = {kPlaneNot, kPlaneNot, kPlaneNot};

    bool operator==(const LinkedClusterSettings&) const = default;
};

struct PropertyMethodSettings {
    std::int32_t kind = kScalarAnalyticMap;
    std::int32_t enabled = 1;
    // Channel tables: all channels in document order, the compositions, the boundaries, the
    // properties.
    std::vector<NamedValue> allChannels;
    std::vector<NamedValue> compositions;
    std::vector<NamedValue> boundaries;
    std::vector<NamedValue> properties;
    std::string inputChannel;
    std::string inputBound;  // empty: none
    std::string outputChannel;
    // Channel positions derived from the names by the settings check.
    std::vector<std::int32_t> inputIndices;
    std::vector<std::int32_t> boundIndices;
    std::vector<std::int32_t> outputIndices;
    std::vector<float> voxelResolution{1.0f, 1.0f, 1.0f};  // µm
    std::vector<std::int32_t> sampleDimensions{1, 1, 1};
    std::int32_t voxelStructure = 0;  // 0 isotropic, 1 anisotropic
    std::uint8_t orientation = 1;     // 1 parallel, 0 perpendicular
    std::vector<ExtrapolationColumn> columns;
    LinkedClusterSettings cluster;

    bool operator==(const PropertyMethodSettings&) const = default;
};

// "Scalar analytic map", "Scalar extrapolation", "Linked cluster analysis"; empty for others.
const char* PropertyMethodDescription(int kind);

// The method list in the controller's archive: u32 2648, i32 count, then every record.
void SerializePropertyMethods(Archive& ar, std::vector<PropertyMethodSettings>& methods);

}  // namespace zun
