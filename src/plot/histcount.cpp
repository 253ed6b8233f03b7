#include "plot/histcount.h"

#include <omp.h>

#include <algorithm>
#include <array>

namespace zun {
namespace {
// Below this many voxels one thread counts faster than several start.
constexpr std::uint64_t kParallelMinimum = 1 << 20;
// Voxels counted into 32-bit counters before they are added to the 64-bit ones: no counter of
// a run can overflow.
constexpr std::int64_t kRunLength = std::int64_t{1} << 30;

// Counts p[begin, end) into out (64-bit). Runs of equal values would make every increment wait
// for the one before on the same counter; four interleaved copies of the counters (when they
// fit the caches; two for the largest bin counts) keep several increments in flight.
void CountRange(const imtype* p, std::int64_t begin, std::int64_t end, const std::uint16_t* table,
                std::uint32_t bins, int copies, std::uint32_t* scratch, std::uint64_t* out) {
    for (std::int64_t run = begin; run < end; run += kRunLength) {
        const std::int64_t stop = std::min(end, run + kRunLength);
        std::fill(scratch, scratch + static_cast<std::size_t>(copies) * bins, 0u);
        std::int64_t i = run;
        if (copies == 4) {
            std::uint32_t* c0 = scratch;
            std::uint32_t* c1 = c0 + bins;
            std::uint32_t* c2 = c1 + bins;
            std::uint32_t* c3 = c2 + bins;
            for (; i + 4 <= stop; i += 4) {
                ++c0[table[p[i] & kVoxelValueMask]];
                ++c1[table[p[i + 1] & kVoxelValueMask]];
                ++c2[table[p[i + 2] & kVoxelValueMask]];
                ++c3[table[p[i + 3] & kVoxelValueMask]];
            }
        } else if (copies == 2) {
            std::uint32_t* c0 = scratch;
            std::uint32_t* c1 = c0 + bins;
            for (; i + 2 <= stop; i += 2) {
                ++c0[table[p[i] & kVoxelValueMask]];
                ++c1[table[p[i + 1] & kVoxelValueMask]];
            }
        }
        for (; i < stop; ++i) ++scratch[table[p[i] & kVoxelValueMask]];
        for (int c = 0; c < copies; ++c)
            for (std::uint32_t k = 0; k < bins; ++k)
                out[k] += scratch[static_cast<std::size_t>(c) * bins + k];
    }
}

}  // namespace

std::uint32_t HistogramBinOf(std::uint32_t value, std::uint32_t bins) {
    const double width = static_cast<double>(kMaxHistogramBins) / bins;
    return static_cast<std::uint32_t>(value / width);
}

void CountVoxelBins(const imtype* data, std::uint64_t count, std::uint32_t bins, std::uint64_t* counts,
                    int threads) {
    if (!data || count == 0 || bins == 0) return;
    bins = std::min(bins, kMaxHistogramBins);
    // The bin of every value by the exact double-precision rule: the voxel loop is then a mask,
    // a table load and an increment.
    std::array<std::uint16_t, kMaxHistogramBins> binOf;
    for (std::uint32_t v = 0; v < kMaxHistogramBins; ++v)
        binOf[v] = static_cast<std::uint16_t>(HistogramBinOf(v, bins));

    if (threads <= 0) threads = VoxelThreadCount();
    if (count < kParallelMinimum) threads = 1;
    const int copies = bins <= 4096 ? 4 : 2;
    // Per-thread counters, made before the region so that nothing inside it can throw.
    const std::size_t perThread = static_cast<std::size_t>(copies) * bins;
    std::vector<std::uint32_t> scratch(static_cast<std::size_t>(threads) * perThread);
    std::vector<std::uint64_t> local(static_cast<std::size_t>(threads) * bins, 0);
    const auto n = static_cast<std::int64_t>(count);
    const std::uint16_t* table = binOf.data();
#pragma omp parallel num_threads(threads)
    {
        const int t = omp_get_thread_num(), nt = omp_get_num_threads();
        const std::int64_t begin = n * t / nt, end = n * (t + 1) / nt;
        CountRange(data, begin, end, table, bins, copies,
                   scratch.data() + static_cast<std::size_t>(t) * perThread,
                   local.data() + static_cast<std::size_t>(t) * bins);
    }
    for (int t = 0; t < threads; ++t) {
        const std::uint64_t* mine = local.data() + static_cast<std::size_t>(t) * bins;
        for (std::uint32_t k = 0; k < bins; ++k) counts[k] += mine[k];
    }
}

}  // namespace zun
