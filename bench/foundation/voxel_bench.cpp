// Voxel block operations on a 256^3 unsigned short channel, each timed against memcpy of the same
// block in the same run. Prints the best of several repetitions and the ratio
// memcpy time / operation time (1.0 = as fast as memcpy).

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "foundation/chan.h"
#include "foundation/histogram.h"

using namespace zun;

namespace {

double BestSeconds(int reps, const std::function<void()>& f) {
    f();  // warm up: page faults and caches
    double best = 1e30;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::stoi(argv[1]) : 256;
    const int reps = argc > 2 ? std::stoi(argv[2]) : 10;
    VoxelAllocator alloc(0);
    Chan3d<imtype> a(&alloc, {n, n, n}), b(&alloc, {n, n, n});
    for (std::uint64_t i = 0; i < a.GetNumVoxels(); ++i)
        a.Data()[i] = static_cast<imtype>((i * 2654435761u) >> 18);
    const double bytes = static_cast<double>(a.GetNumVoxels()) * sizeof(imtype);

    const double tMemcpy =
        BestSeconds(reps, [&] { std::memcpy(b.Data(), a.Data(), static_cast<std::size_t>(bytes)); });
    std::printf("channel %d^3 imtype, %.1f MiB, best of %d, %d threads\n", n, bytes / (1 << 20), reps,
                VoxelThreadCount());
    std::printf("%-28s %10s %10s %8s\n", "operation", "ms", "GB/s", "ratio");
    auto report = [&](const char* name, double t, double moved) {
        std::printf("%-28s %10.3f %10.2f %8.2f\n", name, t * 1e3, moved / t / 1e9, tMemcpy / t);
    };
    report("memcpy (reference)", tMemcpy, bytes);

    report("Clear", BestSeconds(reps, [&] { b.Clear(); }), bytes);
    report("CopyFrom (equal dims)", BestSeconds(reps, [&] { b.CopyFrom(a); }), bytes);
    report("CopyBlock whole",
           BestSeconds(reps,
                       [&] {
                           Chan<imtype>::CopyBlock(b, a, {0, 0, 0}, {0, 0, 0}, {0, 0, 0});
                       }),
           bytes);
    const int m = n * 200 / 256;
    const double boxBytes = static_cast<double>(m) * m * m * sizeof(imtype);
    const double tBox = BestSeconds(reps, [&] {
        Chan<imtype>::CopyBlock(b, a, {m, m, m}, {(n - m) / 2, (n - m) / 2, (n - m) / 2}, {1, 2, 3});
    });
    std::printf("%-28s %10.3f %10.2f %8.2f   (box %d^3, rows of %d voxels; ratio per byte moved)\n",
                "CopyBlock partial rows", tBox * 1e3, boxBytes / tBox / 1e9,
                (tMemcpy / bytes) / (tBox / boxBytes), m, m);
    Histogram h;
    report("Histogram::Build", BestSeconds(reps, [&] { a.MakeHistogram(h); }), bytes);
    return 0;
}
