#pragma once
// The settings of one 3-D view, their defaults, the rules that tie the ray step to the grid, the
// fitting of the sample grid into the display budget, and the view's record in the document.

#include <array>
#include <cstdint>

#include "foundation/voxeltypes.h"

namespace zun {

struct ViewRecord;

// Display budget ceiling whatever the preference says.
inline constexpr std::uint64_t kMaxDisplayVoxels = 64'000'000'000ull;
inline constexpr std::uint64_t kDefaultDisplayMaxSize = 27'000'000ull;

enum RenderMode : std::int32_t {
    kRenderComposite = 0,
    kRenderLit = 1,
    kRenderMip = 2,
    kRenderIso = 3,
    kRenderGrayscale = 4,
};

enum BoundingBoxFlag : std::int32_t {
    kBoxShown = 4,
    kBoxTransparentBin = 8,
};

// The advanced settings that have a second, default copy.
struct AdvancedDefaults {
    bool quadBufferAvailable = false;
    std::int32_t stereoMode = 2;
    float eyeSeparation = 0.05f;
    std::int32_t splitHorizontal = 42;
    std::int32_t splitVertical = 42;
    bool eyeSwap = false;
    bool reserved = true;
    float sampleDensity = 0.005f;
    float isoValue = 0.5f;
};

struct ViewSettings {
    bool quadBufferAvailable = false;
    std::int32_t stereoMode = 2;  // 0 quad buffer, 1 anaglyphic, 2 off, 3/4 split, 5/6 interlace
    float eyeSeparation = 0.05f;
    std::int32_t splitHorizontal = 42;
    std::int32_t splitVertical = 42;
    bool eyeSwap = false;
    bool reserved = true;
    float sampleDensity = 0.005f;
    float isoValue = 0.5f;
    std::array<float, 3> greyWeights{0.299f, 0.587f, 0.114f};
    float alphaFunction = 0.000001f;
    float transparency = 1.0f;
    std::uint32_t background = 0;  // 0x00BBGGRR
    bool axesShown = true;
    std::int32_t boundingBoxFlags = kBoxShown | kBoxTransparentBin;
    std::int32_t renderMode = kRenderComposite;

    AdvancedDefaults defaults;

    // The defaults back into the advanced settings; render mode, background, axes and box stay.
    void ResetAdvanced();
    // What a second window on the same document takes over from the active one.
    void CopyFrom(const ViewSettings& other);
    // The start-up repairs: zero grey weights and a non-positive ray step.
    void RepairLoaded();
};

// The ray step that suits n voxels along the third axis.
float DefaultSampleDensity(int n);
// The default becomes the step for nz; the current step is replaced when it lies outside a tenth
// to five times that. Nothing for nz <= 0. True when the current step changed.
bool ResetSampleDensity(ViewSettings& settings, int nz);

// Scales dims in place so that their product fits the budget (the preference's maxSize with 10 %
// slack, never above kMaxDisplayVoxels) and each extent fits the largest 3-D texture (0: no
// limit). True when the result differs from `current`.
bool FitDisplayDims(Dims& dims, std::uint64_t maxSize, const Dims& current, int maxTextureSize = 0);

// Box extents of the volume: proportions from the voxel sizes, diagonal equal to the voxel-count
// diagonal.
std::array<double, 3> VolumeBoxExtents(const Dims& dims, const std::array<double, 3>& voxelSize);

// A camera distance taken at oldRadius, for a volume now of newRadius (unchanged while either
// radius is unknown).
double RescaleDistance(double distance, double oldRadius, double newRadius);

// Rotation as a unit quaternion (x, y, z, w) and its angle-axis form.
using Quaternion = std::array<double, 4>;
Quaternion QuatFromAngleAxis(double angle, double x, double y, double z);
void QuatToAngleAxis(const Quaternion& q, double& angle, double& x, double& y, double& z);

// Camera state the view keeps beside the manipulator.
struct ViewCamera {
    bool restored = false;
    Quaternion rotation{0, 0, 0, 1};
    double distance = 0;
    double radius = 0;
};

// The record the document stores for the view, and its reading back.
ViewRecord MakeViewRecord(const ViewSettings& settings, const Quaternion& rotation, double distance,
                          double radius);
void ApplyViewRecord(const ViewRecord& record, ViewSettings& settings, ViewCamera& camera);

}  // namespace zun
