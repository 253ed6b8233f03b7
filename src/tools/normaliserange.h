#pragma once
// Value-range normalisation: a channel's physical values brought into [lower, upper]. Per side
// the values beyond the bound are clipped, or redistributed: the excess moves to (or the lack is
// taken from) neighbours within a radius, nearest shells first, so that the channel's total
// stays the same and no neighbour is pushed past the bound.
//
// The neighbourhood of a voxel is the ball of radius R = floor(radius + 0.1) around it, taken on
// the radius as the user typed it (0.9 gives 1, 1.9 gives 2), the voxel itself left out: with radius 1 the
// six face neighbours, and on a single slice the voxels of that slice. Capacity and transfer use the same
// set, so the total is conserved. A side whose radius reaches no neighbour is refused rather than run without
// effect.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/toolsupport.h"

namespace zun {

enum NormaliseMode : int { kNormaliseNothing = 1, kNormaliseClip = 2, kNormaliseRedistribute = 4 };

struct NormaliseSettings {
    float lower = 0, upper = 1;
    float lowerRadius = 5, upperRadius = 5;
    int lowerMode = kNormaliseNothing, upperMode = kNormaliseRedistribute;
};

// The squared-distance table and shell capacities of one side.
class RedistributeShells {
public:
    // R = floor(radius + 0.1).
    explicit RedistributeShells(int r);
    int R() const { return r_; }
    int Entry(int dx, int dy, int dz) const {
        const int w = 2 * r_ + 1;
        return table_[static_cast<std::size_t>((dz + r_) * w * w + (dy + r_) * w + (dx + r_))];
    }
    std::vector<double> capacity;

private:
    int r_;
    std::vector<int> table_;
};

// Brings voxel (x, y, z) to the bound from its neighbours; direction -1 lower, +1 upper.
// 0 done, 100 internal error (`message` says where).
int Redistribute(int x, int y, int z, RedistributeShells& shells, int direction, float bound,
                 const std::vector<std::uint8_t>& inside, std::vector<float>& values, const ToolGrid& g,
                 std::string& message);

// The one check of the settings, shared by every way a run is started: the message that refuses
// them, or empty. A redistributing side needs a radius that reaches a neighbour and a distance
// table that can be allocated.
std::string CheckNormaliseSettings(const NormaliseSettings& s);

// The whole scan, in scan order. `stop` is asked before every row (true ends the run). Returns
// 0 done, 1 stopped, 2 failed (message set); on anything but 0 the values must not be written.
int NormaliseValues(std::vector<float>& values, const std::vector<std::uint8_t>& inside, const ToolGrid& g,
                    const NormaliseSettings& s, std::string& message, const std::function<bool()>& stop = {},
                    const std::function<void(int)>& progress = {});

namespace normmsg {
inline constexpr const char* kCaption = "Normalize Channel Value Range";
inline constexpr const char* kLowerTooLarge =
    "Lower-bound redistribution radius too large. Computation aborted";
inline constexpr const char* kUpperTooLarge =
    "Upper-bound redistribution radius too large. Computation aborted";
inline constexpr const char* kLowerTooSmall =
    "Lower-bound redistribution radius reaches no neighbour (it must be 1 pixel or more). Computation "
    "aborted";
inline constexpr const char* kUpperTooSmall =
    "Upper-bound redistribution radius reaches no neighbour (it must be 1 pixel or more). Computation "
    "aborted";
inline constexpr const char* kMemory = "Insufficient memory. Computation aborted";
inline constexpr const char* kNotApplicable = "Not applicable";
inline constexpr const char* kStateText = "Normalize channel value range computation...";
inline constexpr const char* kLabel = "Normalize channel value range computation";
}  // namespace normmsg

}  // namespace zun
