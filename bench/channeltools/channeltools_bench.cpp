// Figures for the channel tools at 256^3: moving-volume averaging in its fast form (running
// sums) against the direct form that visits every template voxel, for the box of edge 10 and
// the ellipsoid of radius 5 inside a sphere-shaped boundary; the gradient in its three face
// modes; value-range normalisation with 1% of the voxels beyond the upper bound. Voxels per
// second on 1 and 8 threads.
//
// usage: bench_channeltools [size] [direct size]   (default 256 and 64: the direct form visits
// about 1331 voxels per voxel, so it is timed on a smaller cube and given per voxel)

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "tools/channelgradient.h"
#include "tools/movingaverage.h"
#include "tools/normaliserange.h"

using namespace zun;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Volume {
    ToolGrid g;
    std::vector<float> values;
    std::vector<std::uint8_t> inside;
    explicit Volume(int n) : g{n, n, n} {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> d(0.5f, 1.5f);
        values.resize(static_cast<std::size_t>(g.Count()));
        inside.resize(values.size());
        for (int z = 0; z < n; ++z)
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) {
                    const std::size_t i = static_cast<std::size_t>(g.Index(x, y, z));
                    values[i] = d(rng);
                    const double r = std::hypot(x - n / 2.0, y - n / 2.0, z - n / 2.0);
                    inside[i] = r < 0.45 * n;
                }
    }
};

void Averaging(int n, int directN, int threads) {
    omp_set_num_threads(threads);
    Volume v(n), small(directN);
    for (int geometry : {kCubic, kEllipsoid}) {
        const std::array<float, 3> dims =
            geometry == kCubic ? std::array<float, 3>{10, 10, 10} : std::array<float, 3>{5, 5, 5};
        const MovingTemplate t = MovingTemplate::Make(geometry, dims);
        MovingPassSettings s;
        s.expected = 1.0f;
        MovingReport r;
        auto fast = v.values;
        const double tf = Seconds([&] { MovingVolumeAverage(fast, v.inside, v.g, t, s, r); });
        s.direct = true;
        auto direct = small.values;
        MovingReport rd;
        const double td = Seconds([&] { MovingVolumeAverage(direct, small.inside, small.g, t, s, rd); });
        const double fastRate = double(v.g.Count()) / tf, directRate = double(small.g.Count()) / td;
        std::printf(
            "averaging %-9s threads %d: fast %d^3 %.3f s = %.3g voxels/s; direct %d^3 %.3f s = %.3g "
            "voxels/s (256^3 would take %.1f s); speed-up %.0fx\n",
            geometry == kCubic ? "box 10" : "ellip r5", threads, n, tf, fastRate, directN, td, directRate,
            double(v.g.Count()) / directRate, fastRate / directRate);
    }
}

void Gradient(int n, int threads) {
    omp_set_num_threads(threads);
    const ToolGrid g{n, n, n};
    std::vector<std::uint16_t> in(static_cast<std::size_t>(g.Count())), out(in.size());
    std::mt19937 rng(2);
    for (auto& w : in) w = static_cast<std::uint16_t>(rng() & 0x3FFF);
    const char* names[3] = {"one-sided", "periodic", "out-of-grid"};
    const unsigned options[3] = {0, 1 | 4 | 16, 2 | 8 | 32};
    for (int k = 0; k < 3; ++k) {
        GradientSettings s;
        s.options = options[k];
        s.outside = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
        ChannelGradient::Compute(s, in.data(), out.data(), g, {1, 1, 1});  // warm the pages
        const double t = Seconds([&] { ChannelGradient::Compute(s, in.data(), out.data(), g, {1, 1, 1}); });
        std::printf("gradient %-11s threads %d: %.4f s = %.3g voxels/s\n", names[k], threads, t,
                    g.Count() / t);
    }
}

void Normalisation(int n, int threads) {
    omp_set_num_threads(threads);
    Volume v(n);
    // 1% of the voxels 10% above the upper bound.
    std::mt19937 rng(3);
    std::uniform_int_distribution<std::int64_t> pick(0, v.g.Count() - 1);
    std::fill(v.values.begin(), v.values.end(), 0.9f);
    for (std::int64_t k = 0; k < v.g.Count() / 100; ++k) v.values[static_cast<std::size_t>(pick(rng))] = 1.1f;
    NormaliseSettings s{0.0f, 1.0f, 5, 5, kNormaliseNothing, kNormaliseRedistribute};
    std::string message;
    const double t = Seconds([&] { NormaliseValues(v.values, v.inside, v.g, s, message); });
    std::printf("normalisation R=5 1%% beyond threads %d: %.3f s = %.3g voxels/s (the scan is serial)\n",
                threads, t, v.g.Count() / t);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 256;
    const int directN = argc > 2 ? std::atoi(argv[2]) : 64;
    for (int threads : {1, 8}) {
        Averaging(n, directN, threads);
        Gradient(n, threads);
    }
    Normalisation(n, 1);
    return 0;
}
