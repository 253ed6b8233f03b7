// The computation-library kernels on a 256^3 phantom of three compositions (void and two
// materials) with two CT channels: voxels per second and per thread, and the nonlinear kernel's
// share of the machine's peak double-precision rate measured in the same run.
//
//   bench_compute_kernels [size] [threads]
#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "compute/devices.h"
#include "compute/kernels.h"

using namespace zun;
using namespace zun::zunlib;
using Clock = std::chrono::steady_clock;

namespace {

struct Phantom {
    ComputeLibParams p;
    std::vector<std::vector<std::uint16_t>> words, initial;
    std::vector<std::uint16_t*> ptrs;

    Phantom(int size, int threads) {
        const int comp = 2, ct = 2, n = comp + 1;
        p.nx = p.ny = p.nz = size;
        p.comp = comp;
        p.ct = ct;
        // Water and calcite at 20 and 60 keV (1/cm).
        p.matrix = {1, 1, 1, 0.0f, 0.81f, 15.44f, 0.0f, 0.206f, 1.019f};
        p.matrixRowMax = {0.0f, 15.44f, 1.019f};
        p.channelAtten = {{0, 1}, {0, 1}, {0, 1}, {0.0f, 18.5f}, {0.0f, 1.22f}};
        p.ctAccuracy = {0.0f, 6.714277e-5f * 18.5f, 6.714277e-5f * 1.22f};
        p.compTolerance.assign(n, 1);
        p.linearObjectiveWeights.assign(n, 0.0f);
        p.nonlinearSelfEnergy.assign(n, 0.0f);
        p.dlsSelfEnergy.assign(n, 0.0f);
        p.dlsZeroOffset.assign(n, std::vector<float>(ct + 1, 0.0f));
        p.dlsMultiplier.assign(n, std::vector<float>(ct + 1, 1.0f));
        p.ctChannelUsed.assign(ct + 1, true);
        p.ctDataSetWeights.assign(ct + 1, 10.0f);
        for (auto* s : {&p.linearInteractionEnergy, &p.nonlinearInteractionEnergy, &p.dlsInterfacialEnergy}) {
            s->assign(4 * n * n, 0.0f);
            for (int i = 0; i < n; ++i)
                for (int k = 0; k < n; ++k) (*s)[i * n + k] = i == k ? 0.0f : 0.01f;
        }
        p.importCounts.assign(n, {0, 0, 0});
        p.importCounts[1] = {0, 0, 16};
        p.importAxis = 2;
        p.SetThreadCount(threads);
        const std::size_t voxels = std::size_t(size) * size * size;
        words.assign(n + ct, std::vector<std::uint16_t>(voxels));
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> U(0.0, 1.0);
        for (std::size_t v = 0; v < voxels; ++v) {
            double f[3], s = 0;
            for (double& x : f) s += (x = -std::log(U(rng) + 1e-12));
            for (int i = 0; i < n; ++i)
                words[i][v] = static_cast<std::uint16_t>(std::lround(f[i] / s * 16383));
            for (int j = 1; j <= ct; ++j) {
                double mu = 0;
                for (int i = 0; i < n; ++i) mu += f[i] / s * p.Matrix(j, i);
                words[comp + j][v] = static_cast<std::uint16_t>(
                    0x4000 | std::lround(mu / p.channelAtten[comp + j][1] * 16383));
            }
        }
        // A few measured sections for the extrapolation.
        for (int z = 0; z < size; z += 16)
            for (std::size_t v = 0; v < std::size_t(size) * size; ++v)
                words[1][z * size * size + v] |= 0x4000;
        initial = words;
        for (auto& w : words) ptrs.push_back(w.data());
    }
    void Reset() { words = initial; }
    std::size_t Voxels() const { return words[0].size(); }
};

// Peak double-precision rate: independent fused multiply-adds on every thread.
__attribute__((target("avx2,fma"))) double PeakGflopsFma(int threads) {
    const long reps = 20'000'000;
    double t0 = omp_get_wtime();
#pragma omp parallel num_threads(threads)
    {
        typedef double v4 __attribute__((vector_size(32)));
        v4 a[10], b = {1.0000001, 1.0000001, 1.0000001, 1.0000001}, c = {1e-9, 1e-9, 1e-9, 1e-9};
        for (int k = 0; k < 10; ++k) a[k] = v4{double(k), 1.0, 2.0, 3.0};
        for (long r = 0; r < reps; ++r)
            for (int k = 0; k < 10; ++k) a[k] = a[k] * b + c;
        double sink = 0;
        for (int k = 0; k < 10; ++k) sink += a[k][0] + a[k][3];
        if (sink == 42.0) std::printf(" ");
    }
    const double dt = omp_get_wtime() - t0;
    return 2.0 * 4 * 10 * double(reps) * threads / dt / 1e9;
}

template <class F>
double Time(F&& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Report(const char* name, double seconds, std::size_t voxels, int threads) {
    const double rate = voxels / seconds;
    std::printf("%-28s %8.3f s  %10.3f M voxels/s  %8.3f M voxels/s per thread\n", name, seconds, rate / 1e6,
                rate / 1e6 / threads);
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc > 1 ? std::atoi(argv[1]) : 256;
    const int threads = argc > 2 ? std::atoi(argv[2]) : omp_get_num_procs();
    Phantom ph(size, threads);
    const std::size_t voxels = ph.Voxels();
    const std::int64_t plane = std::int64_t(size) * size;
    std::printf("phantom %d^3 (%zu voxels), 3 compositions, 2 CT channels, %d threads\n", size, voxels,
                threads);

    double t = Time([&] {
        CLibDataCheckCorrect lib(ph.p);
        for (int z = 0; z < size; ++z) {
            std::vector<std::uint16_t*> p;
            for (auto* q : ph.ptrs) p.push_back(q + z * plane);
            DataCheckSlice(lib, p.data(), z);
        }
    });
    Report("data check (per slice)", t, voxels, threads);
    ph.Reset();

    // The path the pipeline takes with several threads: chunks of 1024 voxels dispatched over the
    // device threads.
    ComputeDeviceSet devices;
    {
        std::vector<ComputeDeviceEntry> list;
        devices.GetDeviceList(list);
        for (std::size_t k = 0; k < list.size(); ++k) list[k].threadCount = int(k) < threads ? 1 : 0;
        devices.ApplyDeviceSelection(list);
    }
    DataCheckConstants constants(ph.p);
    auto chunk = [](void* user, void*, void* const* ptrs, int count, std::int64_t items, std::int64_t,
                    std::int64_t) {
        std::uint16_t* words[8];
        for (int i = 0; i < count; ++i) words[i] = static_cast<std::uint16_t*>(ptrs[i]);
        CheckVoxelRange(*static_cast<DataCheckConstants*>(user), words, 0, items, nullptr);
        return 0;
    };
    std::vector<void*> base(ph.ptrs.begin(), ph.ptrs.end());
    t = Time([&] {
        devices.Compute("check", &constants, nullptr, nullptr, base.data(), int(base.size()),
                        sizeof(std::uint16_t), std::int64_t(voxels), 1024, chunk, nullptr);
    });
    Report("data check (chunked)", t, voxels, threads);
    ph.Reset();

    t = Time([&] {
        CLibInterSectionExtrapolate lib(ph.p);
        for (int i = 0; i <= ph.p.comp; ++i) ExtrapolateChannel(lib, ph.ptrs[i], i);
    });
    Report("extrapolation", t, voxels, threads);
    ph.Reset();

    t = Time([&] {
        CLibDiscreteLeastSquareSegmentation lib(ph.p);
        for (int z = 0; z < size; ++z) {
            std::vector<std::uint16_t*> p;
            for (auto* q : ph.ptrs) p.push_back(q + z * plane);
            SegmentSlice(lib, p.data(), z);
        }
    });
    Report("segmentation", t, voxels, threads);
    ph.Reset();

    const std::int64_t range = 5000LL * threads;
    t = Time([&] {
        CLibDatConLinearOpt lib(ph.p);
        CLinearSM sm(lib);
        for (std::int64_t d = 0; d < std::int64_t(voxels); d += range)
            sm.Run(ph.ptrs.data(), d, std::min<std::int64_t>(range, voxels - d));
    });
    Report("linear optimisation", t, voxels, threads);
    ph.Reset();

    const std::int64_t nrange = 2000LL * threads;
    t = Time([&] {
        CLibDatConNonlinearOpt lib(ph.p);
        CNonlinearGCM gcm(lib);
        for (std::int64_t d = 0; d < std::int64_t(voxels); d += nrange)
            gcm.Run(ph.ptrs.data(), d, std::min<std::int64_t>(nrange, voxels - d));
    });
    Report("nonlinear optimisation", t, voxels, threads);

    // Floating-point work of the grid search alone (a lower bound: the refinement's small
    // programmes and the few weighted points come on top): per grid point and CT channel 3
    // multiply-adds, the absolute value and the sum (8 each); the pair energy, the minimum and
    // the weight-range test (3).
    const double points = CNonlinearGCM::GridPointCount(ph.p.gridSize, 3);
    const double flopsPerPoint = 2 * 8 + 3;
    const double gflops = points * flopsPerPoint * voxels / t / 1e9;
    const bool fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const double peak = fma ? PeakGflopsFma(threads) : 0.0;
    std::printf("nonlinear grid search: %.0f points x %.0f flops per voxel -> %.2f GFLOP/s", points,
                flopsPerPoint, gflops);
    if (peak > 0)
        std::printf(" of %.1f GFLOP/s peak (AVX2 FMA, %d threads): %.1f %%\n", peak, threads,
                    100.0 * gflops / peak);
    else
        std::printf("\n");
    return 0;
}
