#include "foundation/threadcount.h"

#include <omp.h>
#include <sched.h>

#include <cerrno>

#include <algorithm>
#include <thread>

namespace zun {

int UsableProcessors() {
    // The fixed-size set covers 1024 processors; larger machines need a bigger one.
    for (int size = CPU_SETSIZE; size <= (1 << 16); size *= 2) {
        cpu_set_t* set = CPU_ALLOC(size);
        if (!set) break;
        const std::size_t bytes = CPU_ALLOC_SIZE(size);
        CPU_ZERO_S(bytes, set);
        const bool ok = sched_getaffinity(0, bytes, set) == 0;
        const int count = ok ? CPU_COUNT_S(bytes, set) : 0;
        CPU_FREE(set);
        if (ok) return std::max(1, count);
        if (errno != EINVAL) break;
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int TeamThreads(int selected) {
    const int wanted = selected > 0 ? selected : omp_get_max_threads();
    return std::max(1, std::min(UsableProcessors(), wanted));
}

}  // namespace zun
