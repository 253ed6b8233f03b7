#include "foundation/threadcount.h"

#include <omp.h>
#include <sched.h>

#include <cerrno>

#include <algorithm>
#include <atomic>
#include <thread>

namespace zun {

std::vector<int> ThreadProcessors() {
    std::vector<int> cpus;
    // The fixed-size set covers 1024 processors; larger machines need a bigger one.
    for (int size = CPU_SETSIZE; size <= (1 << 16); size *= 2) {
        cpu_set_t* set = CPU_ALLOC(size);
        if (!set) break;
        const std::size_t bytes = CPU_ALLOC_SIZE(size);
        CPU_ZERO_S(bytes, set);
        const bool ok = sched_getaffinity(0, bytes, set) == 0;
        const int error = errno;
        if (ok)
            for (int i = 0; i < size; ++i)
                if (CPU_ISSET_S(i, bytes, set)) cpus.push_back(i);
        CPU_FREE(set);
        if (ok || error != EINVAL) break;
    }
    return cpus;
}

namespace {

// 0 when no test chose a count.
std::atomic<int> g_testProcessors{0};

}  // namespace

int UsableProcessors() {
    if (const int chosen = g_testProcessors.load(); chosen > 0) return chosen;
    const std::size_t count = ThreadProcessors().size();
    if (count > 0) return static_cast<int>(count);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int TeamThreads(int selected) {
    const int wanted = selected > 0 ? selected : omp_get_max_threads();
    return std::max(1, std::min(UsableProcessors(), wanted));
}

TestProcessorCount::TestProcessorCount(int count)
    : previous_(g_testProcessors.exchange(std::max(1, count))) {}

TestProcessorCount::~TestProcessorCount() {
    g_testProcessors.store(previous_);
}

}  // namespace zun
