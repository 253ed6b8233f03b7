#include "foundation/histogram.h"

#include <omp.h>

#include <algorithm>
#include <cstdint>

namespace zun {

void Histogram::Allocate(std::uint32_t bins) {
    binCount = bins;
    counters.assign(bins, 0);
}

int Histogram::Build(const std::vector<VoxelBlockRef>& blocks) {
    binCount = 1000;
    counters.clear();
    counters.shrink_to_fit();
    minValue = maxValue = 0;
    const int threads = VoxelThreadCount();

    int lo = kVoxelValueMask + 1, hi = -1;
    for (const VoxelBlockRef& b : blocks) {
        if (!b.data || b.count == 0) continue;
        const auto n = static_cast<std::int64_t>(b.count);
        const imtype* p = b.data;
        int blo = lo, bhi = hi;
#pragma omp parallel for num_threads(threads) reduction(min : blo) reduction(max : bhi) schedule(static)
        for (std::int64_t i = 0; i < n; ++i) {
            const int v = p[i] & kVoxelValueMask;
            blo = std::min(blo, v);
            bhi = std::max(bhi, v);
        }
        lo = std::min(lo, blo);
        hi = std::max(hi, bhi);
    }
    if (hi < 0) {
        Allocate(1000);
        return 0;
    }
    const int range = hi - lo + 1;
    if (range <= 3) return -1;
    const std::uint32_t bins = static_cast<std::uint32_t>(std::min(1000, range));
    Allocate(bins);
    minValue = lo;
    maxValue = hi;

    // The bin of every possible value, by the exact double-precision rule, so that the voxel
    // loop is a table lookup.
    std::vector<std::uint32_t> binOf(range);
    const double width = static_cast<double>(range) / bins;
    for (int v = 0; v < range; ++v) binOf[v] = static_cast<std::uint32_t>(v / width);

    // Per-thread counters, made before the region so that nothing inside it can throw. They are
    // 64-bit: a grid may hold more than 2^32 voxels of one value.
    std::vector<std::uint64_t> local(static_cast<std::size_t>(threads) * bins, 0);
    for (const VoxelBlockRef& b : blocks) {
        if (!b.data || b.count == 0) continue;
        const auto n = static_cast<std::int64_t>(b.count);
        const imtype* p = b.data;
        const std::uint32_t* table = binOf.data();
#pragma omp parallel num_threads(threads)
        {
            std::uint64_t* mine = local.data() + static_cast<std::size_t>(omp_get_thread_num()) * bins;
#pragma omp for schedule(static)
            for (std::int64_t i = 0; i < n; ++i) ++mine[table[(p[i] & kVoxelValueMask) - lo]];
        }
    }
    // The counters stay 32-bit; a count beyond them saturates rather than wrapping to a small one.
    for (std::uint32_t k = 0; k < bins; ++k) {
        std::uint64_t sum = 0;
        for (int t = 0; t < threads; ++t) sum += local[static_cast<std::size_t>(t) * bins + k];
        counters[k] = static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, UINT32_MAX));
    }
    return 0;
}

}  // namespace zun
