#pragma once
// Moving-volume averaging: every voxel inside the sample boundary rescaled by E over the mean of
// its neighbourhood (an ellipsoid or a box, cut at the grid faces and at the boundary), repeated
// for a number of passes; and the slice-based form, which rescales each slice so that a fixed
// reference rectangle of it averages E. The kernels work on physical values in float arrays.
//
// The neighbourhood means come from running sums (O(N) per pass for the box, O(N) per template
// row for the ellipsoid); the direct form, which visits every template voxel, is kept as the
// reference the fast one is checked against.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/toolsupport.h"

namespace zun {

enum MovingGeometry : int { kEllipsoid = 0, kCubic = 1, kSliceXY = 2, kSliceYZ = 3, kSliceZX = 4 };

// The neighbourhood of a voxel: half-widths and one byte per offset of the (2h+1) box.
struct MovingTemplate {
    int hx = 0, hy = 0, hz = 0;
    std::vector<std::uint8_t> mask;
    // Ellipsoid of radii r (half-width ceil(r)) or box of edge lengths L (half-width ceil(L/2)).
    static MovingTemplate Make(int geometry, const std::array<float, 3>& dims);
    int Width() const { return 2 * hx + 1; }
    bool At(int dx, int dy, int dz) const {
        return mask[static_cast<std::size_t>(((dz + hz) * (2 * hy + 1) + (dy + hy)) * (2 * hx + 1) +
                                             (dx + hx))] != 0;
    }
    bool Full() const;
};

// Counts of a run.
struct MovingReport {
    std::int64_t averaged = 0;
    std::int64_t defective = 0;
    int defectX = 0, defectY = 0, defectZ = 0;
    bool cancelled = false;
    std::vector<std::string> messages;  // in the order the run met them
};

// Called between slices with a percentage; true cancels.
using ToolCancelCheck = std::function<bool(int percent)>;

// The mean of the voxel's neighbourhood, visiting every template voxel (the reference form).
float LocalMeanDirect(int x, int y, int z, const std::vector<float>& values,
                      const std::vector<std::uint8_t>& inside, const ToolGrid& g, const MovingTemplate& t);

struct MovingPassSettings {
    float expected = 1.0f;
    bool keepOutside = true;
    double setValue = 0.0;
    int iterations = 1;
    bool direct = false;  // the reference form
};

// All passes: `values` holds the input and ends with the last complete pass's output. On a
// cancel the report says so and `values` must not be written back.
void MovingVolumeAverage(std::vector<float>& values, const std::vector<std::uint8_t>& inside,
                         const ToolGrid& g, const MovingTemplate& t, const MovingPassSettings& s,
                         MovingReport& report, const ToolCancelCheck& cancel = {});

// Rescales the na x nb slice held in work (index b * na + a) so that the rectangle
// [a0, a1) x [b0, b1) averages E. 0 done, 3 empty region, 4 nothing counted, 5 mean too small.
int NormalizeSlice(float* work, int a0, int na, float expected, int nb, int b0, int a1, int b1);

// All slices of the geometry; region {a0, a1, b0, b1}. 0 done, else the first failing slice's
// code with its index in `failedSlice` (nothing else changes meaning: the caller writes nothing).
int SliceAverage(std::vector<float>& values, const ToolGrid& g, int geometry,
                 const std::array<int, 4>& region, float expected, int& failedSlice,
                 const ToolCancelCheck& cancel = {});

namespace mvamsg {
inline constexpr const char* kInvalid = "Invalid parameters. Computation aborted";
inline constexpr const char* kAmplitude = "Expected channel value amplitude too small. Computation aborted";
inline constexpr const char* kRegion =
    "Moving-volume or reference slice region too small. Computation aborted";
inline constexpr const char* kUnknown = "Unknown moving volume definition. Computation aborted";
inline constexpr const char* kGridTooSmall = "Sample grid size too small";
inline constexpr const char* kEmpty = "Empty computational region. Sample average unaltered.";
inline constexpr const char* kBoundaryTooSmall = "Sample boundary too small.";
inline constexpr const char* kMemory = "Insufficient memory. Computation aborted";
inline constexpr const char* kRangeTooSmall = "Output channel value range too small. Computation aborted";
inline constexpr const char* kStateText = "Moving-volume average computation...";
inline constexpr const char* kLabel = "Moving-volume average computation";
}  // namespace mvamsg

}  // namespace zun
