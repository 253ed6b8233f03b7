#include "view3d/processorset.h"

#include <sched.h>

namespace zun {

namespace {

// Room for every processor the kernel may report, however many the machine has.
struct CpuSet {
    explicit CpuSet(int count = 4096) : count(count), size(CPU_ALLOC_SIZE(count)), set(CPU_ALLOC(count)) {
        if (set) CPU_ZERO_S(size, set);
    }
    ~CpuSet() {
        if (set) CPU_FREE(set);
    }
    CpuSet(const CpuSet&) = delete;
    CpuSet& operator=(const CpuSet&) = delete;
    int count;
    std::size_t size;
    cpu_set_t* set;
};

std::vector<int> ReadCurrent() {
    CpuSet s;
    std::vector<int> cpus;
    if (!s.set || sched_getaffinity(0, s.size, s.set) != 0) return cpus;
    for (int i = 0; i < s.count; ++i)
        if (CPU_ISSET_S(i, s.size, s.set)) cpus.push_back(i);
    return cpus;
}

// Taken during static initialisation, before main and before any viewer is realised.
[[maybe_unused]] const bool g_startingSetTaken = !StartingProcessors().empty();

}  // namespace

const std::vector<int>& StartingProcessors() {
    static const std::vector<int> cpus = ReadCurrent();
    return cpus;
}

}  // namespace zun
