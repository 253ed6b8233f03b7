#pragma once
// Histogram of the value field (bits 0-13) of voxel words, and the per-region record of the
// labelling tools.

#include <cstdint>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

struct VoxelBlockRef {
    const imtype* data = nullptr;
    std::uint64_t count = 0;
};

class Histogram {
public:
    // Bins over the value range of all blocks: min(1000, range) bins of width range / bins.
    // 0 on success; -1 when the values span 3 or fewer (no counters then). With no voxels at all
    // there are 1000 zeroed counters and the result is 0.
    int Build(const std::vector<VoxelBlockRef>& blocks);
    // Sets the bin count and zeroed counters; throws std::bad_alloc when refused.
    void Allocate(std::uint32_t bins);

    std::uint32_t binCount = 1000;
    std::vector<std::uint32_t> counters;
    // The value range the bins cover (minValue..maxValue); both 0 when there were no voxels.
    int minValue = 0;
    int maxValue = 0;
};

template <class T>
struct RegionStats {
    virtual ~RegionStats() = default;

    std::uint64_t count = 0;
    std::uint64_t label = 0;
    std::int32_t cx = 0, cy = 0, cz = 0;
    double sx = 0, sy = 0, sz = 0;

    friend bool operator<(const RegionStats& a, const RegionStats& b) { return a.count < b.count; }
    friend bool operator>(const RegionStats& a, const RegionStats& b) { return a.count > b.count; }
};

template <class T>
struct RegionStats3d : RegionStats<T> {
    // Centroid = trunc(sum / count + 0.5) per axis; (0, 0, 0) for an empty region.
    virtual void ComputeCentroid() {
        if (this->count == 0) {
            this->cx = this->cy = this->cz = 0;
            return;
        }
        const double n = static_cast<double>(this->count);
        this->cx = static_cast<std::int32_t>(this->sx / n + 0.5);
        this->cy = static_cast<std::int32_t>(this->sy / n + 0.5);
        this->cz = static_cast<std::int32_t>(this->sz / n + 0.5);
    }
};

}  // namespace zun
