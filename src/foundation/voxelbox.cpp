#include "foundation/voxelbox.h"

#include <algorithm>

namespace zun {

namespace {
int At(const Dims& v, int j, int missing) {
    return j < static_cast<int>(v.size()) ? v[j] : missing;
}
}  // namespace

bool PlanBox(const Dims& dstDims, const Dims& srcDims, const Dims& extent, const Dims& dstStart,
             const Dims& srcStart, BoxPlan& plan) {
    // A grid without voxels has no start inside it.
    if (CountVoxels(dstDims) == 0 || CountVoxels(srcDims) == 0) return false;
    const int n = static_cast<int>(
        std::max({dstDims.size(), srcDims.size(), extent.size(), dstStart.size(), srcStart.size()}));
    plan.axes = n;
    plan.extent.assign(n, 0);
    plan.dstStride.assign(n, 0);
    plan.srcStride.assign(n, 0);
    plan.dstBase = plan.srcBase = 0;
    std::uint64_t ds = 1, ss = 1;
    for (int j = 0; j < n; ++j) {
        const int dd = At(dstDims, j, 1), sd = At(srcDims, j, 1);
        const int a = At(dstStart, j, 0), b = At(srcStart, j, 0), e = At(extent, j, 0);
        if (a < 0 || a >= dd || b < 0 || b >= sd || e < 0) return false;
        std::uint64_t ext = std::min<std::uint64_t>(dd - a, sd - b);
        if (e > 0) ext = std::min<std::uint64_t>(ext, static_cast<std::uint64_t>(e));
        plan.extent[j] = ext;
        plan.dstStride[j] = ds;
        plan.srcStride[j] = ss;
        plan.dstBase += static_cast<std::uint64_t>(a) * ds;
        plan.srcBase += static_cast<std::uint64_t>(b) * ss;
        ds *= static_cast<std::uint64_t>(dd);
        ss *= static_cast<std::uint64_t>(sd);
    }
    // Lower axes covered completely in both grids merge into one contiguous run.
    int k = 0;
    std::uint64_t run = 1;
    while (k < n) {
        run *= plan.extent[k];
        const bool complete = plan.extent[k] == static_cast<std::uint64_t>(At(dstDims, k, 1)) &&
                              plan.extent[k] == static_cast<std::uint64_t>(At(srcDims, k, 1));
        if (!complete) break;
        ++k;
    }
    plan.runAxis = std::min(k, n - 1);
    plan.runLength = run;
    return true;
}

}  // namespace zun
