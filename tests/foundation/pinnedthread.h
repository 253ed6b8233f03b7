#pragma once
// Runs a function on a thread of its own whose CPU affinity is narrowed to the first `count`
// processors the test may run on, so the test program's other threads keep their mask.

#include <sched.h>

#include <thread>
#include <utility>

namespace zun {

// False (and `f` not called) when the mask could not be set or holds fewer processors.
template <class F>
bool RunOnProcessors(int count, F&& f) {
    bool ran = false;
    std::thread t([&] {
        cpu_set_t have, want;
        if (sched_getaffinity(0, sizeof have, &have) != 0 || CPU_COUNT(&have) < count) return;
        CPU_ZERO(&want);
        for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < count; ++cpu)
            if (CPU_ISSET(cpu, &have)) {
                CPU_SET(cpu, &want);
                ++taken;
            }
        if (sched_setaffinity(0, sizeof want, &want) != 0) return;
        std::forward<F>(f)();
        ran = true;
    });
    t.join();
    return ran;
}

}  // namespace zun
