// Neighbour interaction shared by the optimisers: the visit sequence of free voxels, sweep by
// sweep, and the snapshot of the previous state that every visit of a sweep reads.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <random>

#include "compute/kernels.h"
#include "compute/log.h"

namespace zun::zunlib {

namespace {

struct Offset {
    int dx, dy, dz, shell;
};

// Face, edge and corner neighbours of the cubic lattice: the shell is the number of non-zero
// components.
const std::vector<Offset>& Offsets() {
    static const std::vector<Offset> offsets = [] {
        std::vector<Offset> o;
        for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int s = (dx != 0) + (dy != 0) + (dz != 0);
                    if (s > 0) o.push_back({dx, dy, dz, s});
                }
        return o;
    }();
    return offsets;
}

}  // namespace

NeighbourInteraction::NeighbourInteraction(CLibBase& lib, std::uint16_t* const* channels, int range,
                                           double sweeps)
    : lib_(lib), channels_(channels), range_(std::clamp(range, 0, 3)), n_(lib.params.comp + 1) {
    const ComputeLibParams& p = lib.params;
    nx_ = p.nx;
    ny_ = p.ny;
    nz_ = p.nz;
    voxels_ = nx_ * ny_ * nz_;
    planar_ = p.dimensionCount == 2;
    for (std::int64_t v = 0; v < voxels_; ++v) {
        if (p.maskWords && (p.maskWords[v] & kWordValue) != p.maskWord) continue;
        bool free = false;
        for (int i = 0; i < n_ && !free; ++i) free = !(channels[i][v] & kWordFixed);
        if (free) order_.push_back(v);
    }
    std::uint64_t seed;
    if (p.randomSeed < 0) {
        seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) &
               0x7FFFFFFF;
        lib.Report(
            0, -1,
            Format("Neighbour interaction: random seed %llu\n", static_cast<unsigned long long>(seed)));
    } else {
        seed = static_cast<std::uint64_t>(p.randomSeed);
    }
    std::mt19937_64 rng(seed);
    // A Fisher-Yates shuffle with our own index draw, so the order is the same with every
    // standard library.
    for (std::size_t i = order_.size(); i > 1; --i) std::swap(order_[i - 1], order_[rng() % i]);
    perSweep_ = std::max<std::int64_t>(1, static_cast<std::int64_t>(order_.size()));
    total_ =
        order_.empty() ? 0 : static_cast<std::int64_t>(std::llround(std::max(0.0, sweeps) * order_.size()));
    snapshot_.resize(std::size_t(n_) * voxels_);
    RefreshSnapshot();
}

void NeighbourInteraction::RefreshSnapshot() {
    for (int i = 0; i < n_; ++i)
        std::copy(channels_[i], channels_[i] + voxels_, snapshot_.begin() + i * voxels_);
}

void NeighbourInteraction::BeginRange(std::int64_t first) {
    const std::int64_t sweep = first / perSweep_;
    if (sweep != sweep_) {
        RefreshSnapshot();
        sweep_ = sweep;
    }
}

void NeighbourInteraction::PreviousFractions(std::int64_t v, double* f) const {
    for (int i = 0; i < n_; ++i) f[i] = (snapshot_[i * voxels_ + v] & kWordValue) / double(kVoxelMax);
}

int NeighbourInteraction::Neighbours(std::int64_t v, std::int64_t* out, int* shellOf) const {
    const std::int64_t x = v % nx_, y = (v / nx_) % ny_, z = v / (nx_ * ny_);
    int k = 0;
    for (const Offset& o : Offsets()) {
        if (o.shell > range_ || (planar_ && o.dz != 0)) continue;
        const std::int64_t X = x + o.dx, Y = y + o.dy, Z = z + o.dz;
        if (X < 0 || Y < 0 || Z < 0 || X >= nx_ || Y >= ny_ || Z >= nz_) continue;
        out[k] = (Z * ny_ + Y) * nx_ + X;
        shellOf[k] = o.shell;
        ++k;
    }
    return k;
}

void NeighbourInteraction::NeighbourField(std::int64_t v, const std::vector<float>& shells, double* h) const {
    std::int64_t nb[26];
    int shellOf[26];
    const int count = Neighbours(v, nb, shellOf);
    double g[4][kMaxCompositions] = {};
    for (int q = 0; q < count; ++q)
        for (int k = 0; k < n_; ++k)
            g[shellOf[q]][k] += (snapshot_[k * voxels_ + nb[q]] & kWordValue) / double(kVoxelMax);
    const std::size_t nn = std::size_t(n_) * n_;
    for (int i = 0; i < n_; ++i) {
        double s = 0.0;
        for (int sh = 1; sh <= range_; ++sh)
            for (int k = 0; k < n_; ++k) s += shells[sh * nn + i * n_ + k] * g[sh][k];
        h[i] = s;
    }
}

}  // namespace zun::zunlib
