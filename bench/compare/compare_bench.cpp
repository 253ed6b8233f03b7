// Figures for "Compare...": two equal samples compared in full, the same pair with a difference
// early in the first channel, against plain memcmp over the same bytes.
//
// usage: bench_compare [size] [channels]   (default 512, 8: two samples of 2 GiB each)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "app/compare.h"
#include "foundation/threadcount.h"

using namespace zun;

namespace {

using Clock = std::chrono::steady_clock;

double BestSeconds(int repeats, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

void Fill(Image3d<std::uint16_t>& img, int chans) {
    const auto n = static_cast<std::int64_t>(img.GetNumVoxels());
    for (int c = 0; c < chans; ++c) {
        std::uint16_t* p = img.Plane(c);
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < n; ++i) p[i] = static_cast<std::uint16_t>((i * 31 + c) & 0x3FFF);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc > 1 ? std::atoi(argv[1]) : 512;
    const int chans = argc > 2 ? std::atoi(argv[2]) : 8;
    if (size <= 0 || chans <= 0) {
        std::fprintf(stderr, "usage: bench_compare [size] [channels]\n");
        return 2;
    }
    Image3d<std::uint16_t> a(true), b(true);
    try {
        a.AddChannels(chans);
        b.AddChannels(chans);
        if (a.Resize(Dims{size, size, size}) != 1 || b.Resize(Dims{size, size, size}) != 1)
            throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "bench_compare: not enough memory for two %d^3 x %d samples\n", size, chans);
        return 1;
    }
    Fill(a, chans);
    Fill(b, chans);
    const double bytes = 2.0 * static_cast<double>(a.GetNumVoxels()) * chans * sizeof(std::uint16_t);
    std::printf("two samples of %d^3 voxels x %d channels (%.2f GiB read when equal), %d usable processors\n",
                size, chans, bytes / (1u << 30), zun::UsableProcessors());

    int sink = 0;
    const double tMemcmp = BestSeconds(3, [&] {
        for (int c = 0; c < chans; ++c)
            sink += std::memcmp(a.Plane(c), b.Plane(c), a.GetNumVoxels() * sizeof(std::uint16_t)) != 0;
    });
    std::string report;
    const double tEqual = BestSeconds(3, [&] { report = CompareDocuments(a, "a.zun", "b.zun", b); });
    std::printf("memcmp, one thread:          %8.1f ms  %6.2f GB/s\n", tMemcmp * 1e3, bytes / tMemcmp / 1e9);
    std::printf("CompareDocuments, equal:     %8.1f ms  %6.2f GB/s  (%s)\n", tEqual * 1e3,
                bytes / tEqual / 1e9,
                report.find("Same") != std::string::npos ? "Same" : "unexpected report");

    b.Plane(0)[1000] ^= 0x4000;  // the read-only flag of one early voxel
    const double tEarly = BestSeconds(5, [&] { report = CompareDocuments(a, "a.zun", "b.zun", b); });
    std::printf("CompareDocuments, differing: %8.3f ms  (first difference at word 1000 of channel 0)\n",
                tEarly * 1e3);
    b.Plane(0)[1000] ^= 0x4000;
    b.Plane(chans - 1)[a.GetNumVoxels() - 1] ^= 1;  // the very last word
    const double tLast = BestSeconds(3, [&] { report = CompareDocuments(a, "a.zun", "b.zun", b); });
    std::printf(
        "CompareDocuments, last word: %8.1f ms  (%s)\n", tLast * 1e3,
        report.find("Channel " + std::to_string(chans - 1)) != std::string::npos ? "found" : "missed");
    return sink == 0 ? 0 : 1;
}
