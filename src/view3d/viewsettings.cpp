#include "view3d/viewsettings.h"

#include <algorithm>
#include <cmath>

#include "document/docsettings.h"

namespace zun {

void ViewSettings::ResetAdvanced() {
    quadBufferAvailable = defaults.quadBufferAvailable;
    stereoMode = defaults.stereoMode;
    eyeSeparation = defaults.eyeSeparation;
    splitHorizontal = defaults.splitHorizontal;
    splitVertical = defaults.splitVertical;
    eyeSwap = defaults.eyeSwap;
    reserved = defaults.reserved;
    sampleDensity = defaults.sampleDensity;
    isoValue = defaults.isoValue;
    alphaFunction = 0.000001f;
    transparency = 1.0f;
    greyWeights = {0.299f, 0.587f, 0.114f};
}

void ViewSettings::CopyFrom(const ViewSettings& o) {
    background = o.background;
    axesShown = o.axesShown;
    boundingBoxFlags = o.boundingBoxFlags;
    stereoMode = o.stereoMode;
    eyeSwap = o.eyeSwap;
    eyeSeparation = o.eyeSeparation;
    splitHorizontal = o.splitHorizontal;
    splitVertical = o.splitVertical;
    reserved = o.reserved;
    sampleDensity = o.sampleDensity;
    isoValue = o.isoValue;
    renderMode = o.renderMode;
    greyWeights = o.greyWeights;
    alphaFunction = o.alphaFunction;
    transparency = o.transparency;
}

void ViewSettings::RepairLoaded() {
    if ((greyWeights[0] == 0 && greyWeights[1] == 0) || greyWeights[2] == 0)
        greyWeights = {0.299f, 0.587f, 0.114f};
    // A NaN step is no step either.
    if (!(sampleDensity > 0)) sampleDensity = defaults.sampleDensity;
}

float DefaultSampleDensity(int n) {
    return std::max(0.5f / static_cast<float>(n), 0.005f);
}

bool ResetSampleDensity(ViewSettings& s, int nz) {
    if (nz <= 0) return false;
    const float d = DefaultSampleDensity(nz);
    s.defaults.sampleDensity = d;
    if (s.sampleDensity < d / 10 || s.sampleDensity > 5 * d || !(s.sampleDensity == s.sampleDensity)) {
        s.sampleDensity = d;
        return true;
    }
    return false;
}

bool FitDisplayDims(Dims& dims, std::uint64_t maxSize, const Dims& current, int maxTextureSize) {
    const double slack = std::trunc(1.1 * static_cast<double>(maxSize) + 0.5);
    const double budget = std::min(slack, static_cast<double>(kMaxDisplayVoxels));
    double count = 1;
    for (int d : dims) count *= std::max(d, 0);
    if (!dims.empty() && count > 0 && budget < count) {
        const double s = std::cbrt(budget / count);
        for (int& d : dims) d = std::max(1, static_cast<int>(std::trunc(d * s + 0.5)));
    }
    // A thin grid can fit the budget and still exceed what the graphics card takes in one
    // texture; an empty view would follow, so the extents shrink uniformly once more.
    if (maxTextureSize > 0) {
        int largest = 0;
        for (int d : dims) largest = std::max(largest, d);
        if (largest > maxTextureSize) {
            const double s = static_cast<double>(maxTextureSize) / largest;
            // An empty axis stays empty: raised to one voxel it would be read from a grid without any.
            for (int& d : dims)
                if (d > 0) d = std::clamp(static_cast<int>(std::trunc(d * s + 0.5)), 1, maxTextureSize);
        }
    }
    return dims != current;
}

std::array<double, 3> VolumeBoxExtents(const Dims& dims, const std::array<double, 3>& voxel) {
    std::array<double, 3> n{};
    for (int i = 0; i < 3; ++i) n[i] = i < static_cast<int>(dims.size()) ? dims[i] : 1;
    double a = 0, b = 0;
    for (int i = 0; i < 3; ++i) {
        a += n[i] * n[i];
        b += (voxel[i] * n[i]) * (voxel[i] * n[i]);
    }
    // Unknown voxel sizes draw cubic voxels.
    std::array<double, 3> d = voxel;
    if (!(b > 0) || !std::isfinite(b)) {
        d = {1, 1, 1};
        b = a;
    }
    const double s = std::sqrt(a) / std::sqrt(b);
    return {d[0] * n[0] * s, d[1] * n[1] * s, d[2] * n[2] * s};
}

double RescaleDistance(double distance, double oldRadius, double newRadius) {
    if (!(oldRadius > 0) || !(newRadius > 0)) return distance;
    return distance * newRadius / oldRadius;
}

Quaternion QuatFromAngleAxis(double angle, double x, double y, double z) {
    const double len = std::sqrt(x * x + y * y + z * z);
    if (!(len > 0)) return {0, 0, 0, 1};
    const double s = std::sin(angle / 2) / len;
    return {x * s, y * s, z * s, std::cos(angle / 2)};
}

void QuatToAngleAxis(const Quaternion& q, double& angle, double& x, double& y, double& z) {
    const double sinHalf = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    angle = 2.0 * std::atan2(sinHalf, q[3]);
    if (sinHalf > 0) {
        x = q[0] / sinHalf;
        y = q[1] / sinHalf;
        z = q[2] / sinHalf;
    } else {
        x = 0;
        y = 0;
        z = 1;
    }
}

ViewRecord MakeViewRecord(const ViewSettings& s, const Quaternion& rotation, double distance, double radius) {
    ViewRecord r;
    r.background = static_cast<std::int32_t>(s.background);
    r.axesShown = s.axesShown;
    r.boundingBoxFlags = s.boundingBoxFlags;
    QuatToAngleAxis(rotation, r.angle, r.axisX, r.axisY, r.axisZ);
    r.distance = distance;
    r.radius = radius;
    r.eyeSeparation = s.eyeSeparation;
    r.eyeSwap = s.eyeSwap;
    r.renderMode = s.renderMode >= 0 && s.renderMode <= 4 ? s.renderMode : 0;
    r.reserved = s.reserved;
    r.isoValue = s.isoValue;
    r.stereoMode = s.stereoMode;
    r.sampleDensity = s.sampleDensity;
    r.greyRed = s.greyWeights[0];
    r.greyGreen = s.greyWeights[1];
    r.greyBlue = s.greyWeights[2];
    r.splitHorizontal = s.splitHorizontal;
    r.splitVertical = s.splitVertical;
    r.alphaFunction = s.alphaFunction;
    r.transparency = s.transparency;
    return r;
}

void ApplyViewRecord(const ViewRecord& r, ViewSettings& s, ViewCamera& camera) {
    s.background = static_cast<std::uint32_t>(r.background) & 0x00FFFFFFu;
    s.axesShown = r.axesShown;
    s.boundingBoxFlags = r.boundingBoxFlags;
    // Fields the file was too old to carry keep the view's own values, not the record's.
    if (r.HasRenderFields()) {
        s.eyeSeparation = r.eyeSeparation;
        s.eyeSwap = r.eyeSwap;
        s.renderMode = r.renderMode >= 0 && r.renderMode <= 4 ? r.renderMode : 0;
        s.reserved = r.reserved;
        s.isoValue = r.isoValue;
    }
    if (r.HasStereoFields()) {
        s.stereoMode = r.stereoMode >= 0 && r.stereoMode <= 6 ? r.stereoMode : 2;
        s.sampleDensity = r.sampleDensity;
        s.greyWeights = {r.greyRed, r.greyGreen, r.greyBlue};
    }
    if (r.HasSplitFields()) {
        s.splitHorizontal = r.splitHorizontal;
        s.splitVertical = r.splitVertical;
    }
    if (r.HasOpacityFields()) {
        s.alphaFunction = r.alphaFunction;
        s.transparency = r.transparency;
    }
    s.RepairLoaded();
    camera.restored = r.cameraRestored;
    if (r.cameraRestored) {
        camera.rotation = QuatFromAngleAxis(r.angle, r.axisX, r.axisY, r.axisZ);
        camera.distance = r.distance;
        camera.radius = r.radius;
    }
}

}  // namespace zun
