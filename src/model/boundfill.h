#pragma once
// Steps of the boundary builders over byte masks (bit 0 sample, bit 1 a mark), with the progress
// reporting they share.

#include <algorithm>
#include <cstdint>

#include "platform/progress.h"

namespace zun {

// Progress of one builder: captions, fixed points and parallel voxel loops that report between
// blocks. Without a sink nothing is reported and nothing can be cancelled.
class BuildProgress {
public:
    explicit BuildProgress(ProgressSink* sink) : sink_(sink) {}
    void Begin(const char* caption);
    // True once the user has cancelled.
    bool Report(int percent);
    bool Cancelled() const { return cancelled_; }

    // body(i) for every i in [0, n), in parallel, reporting lo..hi between blocks. False when
    // cancelled (the blocks after the cancel are not run).
    template <class F>
    bool Loop(std::int64_t n, int lo, int hi, int threads, F&& body) {
        const std::int64_t block = sink_ ? std::max<std::int64_t>(n / 50, 1) : std::max<std::int64_t>(n, 1);
        for (std::int64_t b = 0; b < n; b += block) {
            const std::int64_t e = std::min(n, b + block);
#pragma omp parallel for num_threads(threads) schedule(static)
            for (std::int64_t i = b; i < e; ++i) body(i);
            if (sink_ &&
                Report(lo + static_cast<int>((hi - lo) * static_cast<double>(e) / static_cast<double>(n))))
                return false;
        }
        return true;
    }
    ProgressSink* Sink() const {
        return sink_;
    }

private:
    ProgressSink* sink_;
    bool cancelled_ = false;
};

struct MaskGrid {
    int nx, ny, nz;
    std::int64_t Count() const { return static_cast<std::int64_t>(nx) * ny * nz; }
    std::int64_t Index(int x, int y, int z) const { return (static_cast<std::int64_t>(z) * ny + y) * nx + x; }
};

// Closes holes that touch the grid's faces: background corners and edge runs between sample
// voxels, and face voxels that rays within the face find surrounded. Marked voxels of faces that
// hold sample inside their border become sample.
void FillFaceHoles(std::uint8_t* mask, const MaskGrid& g, int threads);
// Every background voxel from which at least 35 of 60 rays meet sample becomes sample. False when
// cancelled (the mask is then unchanged in bit 0).
bool FillEnclosedVoxels(std::uint8_t* mask, const MaskGrid& g, int threads, BuildProgress& progress, int lo,
                        int hi);
// Dilation and erosion of bit 0 with the 3x3x3 cube; positions outside the grid never erode.
bool DilateMask(std::uint8_t* mask, std::uint8_t* scratch, const MaskGrid& g, int threads,
                BuildProgress& progress, int lo, int hi);
bool ErodeMask(std::uint8_t* mask, std::uint8_t* scratch, const MaskGrid& g, int threads,
               BuildProgress& progress, int lo, int hi);

}  // namespace zun
