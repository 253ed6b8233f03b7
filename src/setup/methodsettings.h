#pragma once
// The settings blocks of the three composition methods' parameter sheets, and their copies to
// and from the document's parameter set. A sheet is made for one channel configuration: its
// counts come from the parameter set (which the document keeps in step with its channels), so a
// block never indexes past a table.

#include <cstdint>
#include <string>
#include <vector>

#include "compute/params.h"
#include "foundation/matrix.h"

namespace zun {

// The largest chunk count and grid size: the parameter set keeps them in signed 32-bit fields.
inline constexpr unsigned long long kSheetCountCap = 2147483647ULL;
// The most passes over the sample an optimisation may make: far past where a run settles, and
// few enough that a run ends by itself.
inline constexpr int kMaxIterations = 10000;
// The neighbour shells beyond the voxel itself.
inline constexpr int kMaxNeighbourRange = 3;

// The number of compositions the parameter set holds (it counts those after the first).
inline int CompositionsOf(const Params& p) {
    return p.compositionNames.empty() ? 0 : p.compositionCount + 1;
}

struct LinearOptSettings {
    LinearOptSettings(int compositions, int ctChannels);
    void LoadFromParams(const Params& p);
    void StoreToParams(Params& p) const;

    std::int32_t iterations = 1;
    std::uint32_t maxUninterruptible = 0;
    std::int32_t randomSeed = -1;
    bool minimiseCtError = false;
    std::vector<float> ctWeights;
    bool minimiseSelfEnergy = false;
    std::vector<float> selfEnergies;
    bool interactWithPrevious = false;
    std::int32_t neighbourRange = 0;
    std::vector<Matrix<float>> interactionEnergies;  // 4 shells, intra-voxel first
};

struct NonlinearOptSettings {
    explicit NonlinearOptSettings(int compositions);
    void LoadFromParams(const Params& p);
    void StoreToParams(Params& p) const;

    std::int32_t neighbourRange = 0;
    double q = 0;
    float iterations = 0;
    double maxExpValue = 0;
    std::uint32_t gridSize = 0;
    double ctErrorExponent = 0;
    std::uint32_t uninterruptiblePerCore = 0;
    double interactionExponent = 0;
    std::int32_t searchMethods = 0;  // 1 matrix search, 2 line search, 4 Lagrange multiplier
    std::vector<float> selfEnergies;
    std::vector<Matrix<float>> interactionEnergies;  // 4 shells, intra-voxel first
};

struct SegmentationSettings {
    SegmentationSettings(int compositions, int ctChannels);
    void LoadFromParams(const Params& p);
    void StoreToParams(Params& p) const;

    Matrix<float> ctCoefficients;  // compositions x 2 CT channels: zero offset, multiplier
    std::vector<bool> ctSelected;
    std::int32_t neighbourRange = 0;
    std::vector<float> selfEnergies;
    std::vector<Matrix<float>> interactionEnergies;  // 3 shells, nearest first
};

// The checks of a block that both roads to it share, the parameter sheets' OK and the remote
// set-up commands: the message refusing the first value that cannot make a sound run, or "".
std::string CheckLinearSettings(const LinearOptSettings& s);
std::string CheckNonlinearSettings(const NonlinearOptSettings& s);
std::string CheckSegmentationSettings(const SegmentationSettings& s);

}  // namespace zun
