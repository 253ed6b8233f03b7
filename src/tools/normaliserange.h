#pragma once
// Value-range normalisation: a channel's physical values brought into [lower, upper]. Per side
// the values beyond the bound are clipped, or redistributed: the excess moves to (or the lack is
// taken from) neighbours within a radius, nearest shells first, so that the channel's total
// stays the same and no neighbour is pushed past the bound.
//
// The neighbourhood of a voxel holds the offsets with no zero component (the three axis planes
// through the voxel neither give nor receive); with radius 1 only the eight corners take part.
// Capacity and transfer use the same set, so the total is conserved either way.

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
inline constexpr const char* kMemory = "Insufficient memory. Computation aborted";
inline constexpr const char* kNotApplicable = "Not applicable";
inline constexpr const char* kStateText = "Normalize channel value range computation...";
inline constexpr const char* kLabel = "Normalize channel value range computation";
}  // namespace normmsg

}  // namespace zun
