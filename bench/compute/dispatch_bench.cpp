// Overhead of the chunked parallel dispatch: an empty kernel over 256^3 items in chunks of 1024
// on every processor.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "compute/devices.h"

namespace {

int EmptyKernel(void*, void*, void* const*, int, std::int64_t, std::int64_t, std::int64_t) {
    return 0;
}

void BM_DispatchEmptyKernel(benchmark::State& state) {
    zun::ComputeDeviceSet devices;
    const std::int64_t total = 256LL * 256 * 256;
    std::vector<std::uint16_t> words(16);
    void* ptrs[5] = {words.data(), words.data(), words.data(), words.data(), words.data()};
    for (auto _ : state) {
        int r = devices.Compute("empty", nullptr, nullptr, nullptr, ptrs, 5, 0, total, 1024, EmptyKernel,
                                nullptr);
        benchmark::DoNotOptimize(r);
    }
    state.counters["threads"] = devices.TotalThreads();
    state.counters["chunks"] = static_cast<double>(total / 1024);
}
BENCHMARK(BM_DispatchEmptyKernel)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
