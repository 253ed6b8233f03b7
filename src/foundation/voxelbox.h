#pragma once
// Geometry of a box of voxels inside one or two grids: the clipped extents and the contiguous runs
// that cover it. Box copies, fills and masked sets all walk a box through this.

#include <cstdint>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

struct BoxPlan {
    int axes = 0;
    std::vector<std::uint64_t> extent;  // clipped, per axis (at least 1)
    std::vector<std::uint64_t> dstStride, srcStride;
    std::uint64_t dstBase = 0, srcBase = 0;
    int runAxis = 0;              // axes below it are complete in both grids
    std::uint64_t runLength = 0;  // voxels per contiguous run
};

// Plans a box between a destination grid and a source grid (the same grid for one-channel
// operations). Axes missing from a vector count as extent 1 (grids), start 0 and extent 0
// (boxes). An extent of 0 means as much as fits. Every start is checked on every axis: false when
// some start lies outside its grid or some extent is negative (nothing may then be touched).
bool PlanBox(const Dims& dstDims, const Dims& srcDims, const Dims& extent, const Dims& dstStart,
             const Dims& srcStart, BoxPlan& plan);

// Calls f(dstOffset, srcOffset, length) for every contiguous run of the planned box, in
// increasing order of the higher axes.
template <class F>
void ForEachRun(const BoxPlan& p, F&& f) {
    std::uint64_t d = p.dstBase, s = p.srcBase;
    const int n = p.axes;
    const int k = p.runAxis;
    if (k >= n - 1) {
        f(d, s, p.runLength);
        return;
    }
    std::vector<std::uint64_t> idx(n, 0);
    for (;;) {
        f(d, s, p.runLength);
        int j = k + 1;
        for (; j < n; ++j) {
            if (++idx[j] < p.extent[j]) {
                d += p.dstStride[j];
                s += p.srcStride[j];
                break;
            }
            d -= (p.extent[j] - 1) * p.dstStride[j];
            s -= (p.extent[j] - 1) * p.srcStride[j];
            idx[j] = 0;
        }
        if (j == n) return;
    }
}

}  // namespace zun
