#include "app/compare.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "foundation/threadcount.h"

namespace zun {

std::uint64_t FirstDifference(const std::uint16_t* a, const std::uint16_t* b, std::uint64_t n) {
    // Blocks of 256 KiB: large enough for memcmp's speed, small enough that the threads stop soon
    // after a difference near the start.
    constexpr std::int64_t kBlock = 128 * 1024;
    // A difference near the start is found without waking a thread team.
    const std::uint64_t head = std::min<std::uint64_t>(n, 8 * kBlock);
    if (std::memcmp(a, b, head * sizeof(std::uint16_t)) != 0) {
        std::uint64_t i = 0;
        while (a[i] == b[i]) ++i;
        return i;
    }
    const std::int64_t blocks = static_cast<std::int64_t>((n + kBlock - 1) / kBlock);
    std::atomic<std::uint64_t> first{n};
    const std::int64_t firstBlock = static_cast<std::int64_t>(head / kBlock);
    const int threads = TeamThreads();
    omp_set_dynamic(0);
#pragma omp parallel for schedule(dynamic, 4) num_threads(threads)
    for (std::int64_t k = firstBlock; k < blocks; ++k) {
        const std::uint64_t begin = static_cast<std::uint64_t>(k) * kBlock;
        if (begin >= first.load(std::memory_order_relaxed)) continue;
        const std::uint64_t end = std::min<std::uint64_t>(n, begin + kBlock);
        if (std::memcmp(a + begin, b + begin, (end - begin) * sizeof(std::uint16_t)) == 0) continue;
        std::uint64_t i = begin;
        while (a[i] == b[i]) ++i;
        std::uint64_t seen = first.load(std::memory_order_relaxed);
        while (i < seen && !first.compare_exchange_weak(seen, i)) {
        }
    }
    return first.load();
}

std::string CompareDocuments(const Image3d<std::uint16_t>& first, const std::string& firstTitle,
                             const std::string& secondTitle, const Image3d<std::uint16_t>& second) {
    std::string text = "Compare " + firstTitle + " and " + secondTitle + "\n\n";
    const int chans = first.GetNumChannels(), chans2 = second.GetNumChannels();
    if (chans != chans2) {
        return text + "Different - numChans does not match ( " + std::to_string(chans) + ", " +
               std::to_string(chans2) + ")\n";
    }
    const int dims[3] = {first.nx, first.ny, first.nz};
    const int dims2[3] = {second.nx, second.ny, second.nz};
    const char* axes[3] = {"DimX", "DimY", "DimZ"};
    for (int a = 0; a < 3; ++a) {
        if (dims[a] != dims2[a]) {
            return text + "Different - " + axes[a] + " does not match ( " + std::to_string(dims[a]) + ", " +
                   std::to_string(dims2[a]) + ")\n";
        }
    }
    const std::uint64_t n = static_cast<std::uint64_t>(first.nx) * static_cast<std::uint64_t>(first.ny) *
                            static_cast<std::uint64_t>(first.nz);
    for (int c = 0; c < chans; ++c) {
        const std::uint16_t* a = first.Plane(c);
        const std::uint16_t* b = second.Plane(c);
        if (n == 0 || a == b) continue;
        const std::uint64_t i = FirstDifference(a, b, n);
        if (i < n) {
            return text + "Different - Channel " + std::to_string(c) + " image data at position (" +
                   std::to_string(i) + ") does not match ( " + std::to_string(a[i]) + ", " +
                   std::to_string(b[i]) + ")\n";
        }
    }
    return text + "Same\n" + "NumChans = " + std::to_string(chans) + ", Dim = (" + std::to_string(first.nx) +
           "," + std::to_string(first.ny) + "," + std::to_string(first.nz) + ")\n";
}

std::optional<std::pair<int, int>> PickComparedDocuments(const std::vector<std::string>& titles) {
    if (titles.size() < 2) return std::nullopt;
    return std::make_pair(0, 1);
}

}  // namespace zun
