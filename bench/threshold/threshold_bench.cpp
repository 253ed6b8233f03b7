// Figures for threshold segmentation: a 256^3 CT channel split into 5 compositions, on 1 thread
// and on the usable processors, in voxels per second and in bytes moved per second (the input
// read once, each composition read and written), beside numpy doing the same on one thread in the
// same run.
//
// usage: bench_threshold [size] [compositions]   (default 256, 5)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/threadcount.h"
#include "tools/thresholdseg.h"

using namespace zun;

int main(int argc, char** argv) {
    const int size = argc > 1 ? std::atoi(argv[1]) : 256;
    const int rows = argc > 2 ? std::atoi(argv[2]) : 5;
    if (size <= 0 || rows <= 0) {
        std::fprintf(stderr, "usage: bench_threshold [size] [compositions]\n");
        return 2;
    }
    const std::int64_t n = static_cast<std::int64_t>(size) * size * size;
    std::vector<imtype> input(static_cast<std::size_t>(n));
    std::vector<std::vector<imtype>> outputs(static_cast<std::size_t>(rows),
                                             std::vector<imtype>(input.size()));
    for (std::int64_t i = 0; i < n; ++i)
        input[static_cast<std::size_t>(i)] = static_cast<imtype>((i * 2654435761u) & 0x3FFF);
    std::vector<double> lower, upper;
    for (int k = 0; k < rows; ++k) {
        lower.push_back(static_cast<double>(k) / rows);
        upper.push_back(static_cast<double>(k + 1) / rows);
    }
    const auto bounds = ThresholdRawBounds(lower, upper);
    std::vector<ThresholdRow> spec;
    for (int k = 0; k < rows; ++k)
        spec.push_back({outputs[static_cast<std::size_t>(k)].data(), bounds[static_cast<std::size_t>(k)][0],
                        bounds[static_cast<std::size_t>(k)][1]});
    const double bytes = static_cast<double>(n) * sizeof(imtype) * (1 + 2.0 * rows);
    const int usable = UsableProcessors();
    std::printf("threshold segmentation of %d^3 voxels into %d compositions, %d usable processors\n", size,
                rows, usable);
    // Figures on a shared machine depend on what else runs: say how busy it was.
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        double load = 0;
        if (std::fscanf(f, "%lf", &load) == 1) std::printf("load average over the last minute: %.1f\n", load);
        std::fclose(f);
    }
    double one = 0;
    for (int threads : {1, usable}) {
        double best = 1e30;
        for (int rep = 0; rep < 5; ++rep) {
            const auto t0 = std::chrono::steady_clock::now();
            ThresholdSegment(input.data(), n, spec, threads);
            best =
                std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        if (threads == 1) one = best;
        std::printf("%d thread%s: %8.1f ms  %8.1f Mvoxels/s  %6.2f GB/s\n", threads, threads == 1 ? " " : "s",
                    best * 1e3, n / best / 1e6, bytes / best / 1e9);
    }
    // The machine's OpenBLAS tuning variables are not what a user's numpy would see.
    const std::string cmd = "env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE OPENBLAS_NUM_THREADS=1 " +
                            std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                            "/bench/threshold/numpy_threshold.py " + std::to_string(size) + " " +
                            std::to_string(rows);
    double numpy = -1;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        if (std::fscanf(p, "%lf", &numpy) != 1) numpy = -1;
        pclose(p);
    }
    if (numpy > 0)
        std::printf("numpy, 1 thread: %8.1f ms  %8.1f Mvoxels/s  (1 thread here takes %.2f x numpy's time)\n",
                    numpy * 1e3, n / numpy / 1e6, one / numpy);
    // Every voxel lands in exactly one composition with the even split.
    std::int64_t inside = 0;
    for (const auto& o : outputs) inside += std::count(o.begin(), o.end(), imtype{16383});
    std::printf("check: %lld of %lld voxels assigned once\n", static_cast<long long>(inside),
                static_cast<long long>(n));
    return inside == n ? 0 : 1;
}
