// Histogram counting of a whole channel (default 512^3 words), timed against one read pass over
// the same words (a sum on the same threads): the figure of merit is count time / pass time.
// Usage: bench_plot [edge] [repetitions] [threads]

#include <omp.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "plot/histcount.h"

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
    const std::uint64_t n = argc > 1 ? std::stoull(argv[1]) : 512;
    const int reps = argc > 2 ? std::stoi(argv[2]) : 5;
    const int threads = argc > 3 ? std::stoi(argv[3]) : VoxelThreadCount();
    const std::uint64_t count = n * n * n;
    std::vector<imtype> words(count);
    const auto total = static_cast<std::int64_t>(count);
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t i = 0; i < total; ++i)
        words[static_cast<std::size_t>(i)] =
            static_cast<imtype>((static_cast<std::uint64_t>(i) * 2654435761u) >> 13);

    std::uint64_t sink = 0;
    const double pass = BestSeconds(reps, [&] {
        std::uint64_t sum = 0;
        const imtype* p = words.data();
#pragma omp parallel for num_threads(threads) reduction(+ : sum) schedule(static)
        for (std::int64_t i = 0; i < total; ++i) sum += p[i];
        sink += sum;
    });
    const double mib = static_cast<double>(count) * sizeof(imtype) / (1 << 20);
    std::printf("channel %llu^3 words, %.0f MiB, best of %d, %d threads\n",
                static_cast<unsigned long long>(n), mib, reps, threads);
    std::printf("%-34s %10s %10s %8s\n", "operation", "ms", "GB/s", "x pass");
    auto report = [&](const char* name, double t) {
        std::printf("%-34s %10.1f %10.2f %8.2f\n", name, t * 1e3, mib * (1 << 20) / t / 1e9, t / pass);
    };
    report("read pass (sum, reference)", pass);
    for (std::uint32_t bins : {16384u, 1000u, 100u, 2u}) {
        std::vector<std::uint64_t> counts(bins);
        const double t = BestSeconds(reps, [&] {
            std::fill(counts.begin(), counts.end(), 0);
            CountVoxelBins(words.data(), count, bins, counts.data(), threads);
        });
        sink += counts[0];
        const std::string name = "histogram, " + std::to_string(bins) + " bins";
        report(name.c_str(), t);
    }
    {
        std::vector<std::uint64_t> counts(16384);
        const double t =
            BestSeconds(reps, [&] { CountVoxelBins(words.data(), count, 16384, counts.data(), 1); });
        report("histogram, 16384 bins, 1 thread", t);
        sink += counts[1];
    }
    std::printf("(checksum %llu)\n", static_cast<unsigned long long>(sink));
    return 0;
}
