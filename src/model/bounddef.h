#pragma once
// Definitions of boundary regions (the add-boundary wizard fills them, the document keeps the
// last one) and of the boundary transform.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zun {

class BoundDef {
public:
    enum Kind : std::int32_t { kClusters = 0, kSample = 1, kCuboid = 2, kSphere = 3, kCylinder = 4 };
    enum Mode : std::int32_t { kAssign = 0, kOr = 1, kAnd = 2, kXor = 3, kClear = 4 };
    enum ValueType : std::int32_t { kRaw = 0, kNormalised = 1, kPhysical = 2 };
    enum Combination : std::int32_t { kCombineOr = 0, kCombineAnd = 1, kNotApplicable = 2 };

    bool operator==(const BoundDef& o) const;
    bool operator!=(const BoundDef& o) const { return !(*this == o); }

    std::int32_t kind = kClusters;
    std::int32_t mode = kAssign;
    bool rotate = false;
    std::vector<float> rotation{0.0f, 0.0f, 0.0f};
    bool translate = false;
    std::vector<std::int32_t> translation{0, 0, 0};
    std::vector<std::string> channels;
    bool voidOutside = true;
    bool noisePresent = true;
    bool thresholdCheckOnly = false;
    bool smoothing = true;
    float strength = 0.5f;
    std::uint16_t threshold = 0;
    std::string referenceChannel;
    std::array<std::string, 3> thresholdText{"8192", "0.5", "-1"};
    std::array<std::string, 3> lowRuleText{">1", ">1", "Not applicable"};
    std::array<std::string, 3> highRuleText{"1", "1", "Not applicable"};
    std::int32_t valueType = kNormalised;
    std::int32_t lowCombination = kCombineOr;
    std::int32_t highCombination = kCombineOr;
    double normThreshold = 0.0;
    std::vector<std::int32_t> cuboidSize{0, 0, 0};
    std::int32_t diameter = 0;
    std::int32_t xyDiameter = 0;
    std::int32_t zLength = 0;
};

struct TransBoundParams {
    bool operator==(const TransBoundParams& o) const = default;

    bool rotate = false;
    std::vector<float> rotation{0.0f, 0.0f, 0.0f};
    bool translate = false;
    std::vector<std::int32_t> translation{0, 0, 0};
};

// What a boundary builder returns when the user cancelled (besides 0 and -1).
constexpr int kBoundaryCancelled = 2;

// The 3x3 matrix (row-major) that maps a destination voxel to the source voxel it copies, from
// rotation angles in degrees about X, Y and Z: Rz * Ry * Rx of the negated angles.
std::array<float, 9> BoundaryRotation(const std::vector<float>& degrees);

}  // namespace zun
