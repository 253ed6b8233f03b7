#include "foundation/memoryguard.h"

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "foundation/threadcount.h"
#include "foundation/voxeltypes.h"

namespace zun {

namespace {

std::mutex& PolicyMutex() {
    static std::mutex m;
    return m;
}
MemoryPolicy& Policy() {
    static MemoryPolicy policy;
    return policy;
}
std::atomic<std::uint64_t>& InUse() {
    static std::atomic<std::uint64_t> bytes{0};
    return bytes;
}
MemoryStatusSource& Source() {
    static MemoryStatusSource source;
    return source;
}

bool SystemMemoryStatus(MemoryStatus& status) {
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return false;
    char line[256];
    std::uint64_t total = 0, avail = 0;
    bool haveTotal = false, haveAvail = false;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long kb = 0;
        if (std::sscanf(line, "MemTotal: %llu kB", &kb) == 1) {
            total = kb * 1024;
            haveTotal = true;
        } else if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
            avail = kb * 1024;
            haveAvail = true;
        }
    }
    std::fclose(f);
    if (!haveTotal || !haveAvail) return false;
    status.totalPhysical = total;
    status.availablePhysical = avail;
    return true;
}

}  // namespace

int VoxelThreadCount() {
    return TeamThreads();
}

MemoryPolicy GetMemoryPolicy() {
    std::lock_guard lock(PolicyMutex());
    return Policy();
}

void SetMemoryPolicy(const MemoryPolicy& policy) {
    std::lock_guard lock(PolicyMutex());
    Policy() = policy;
}

void SetMemoryStatusSource(MemoryStatusSource source) {
    std::lock_guard lock(PolicyMutex());
    Source() = std::move(source);
}

bool QueryMemoryStatus(MemoryStatus& status) {
    MemoryStatusSource source;
    {
        std::lock_guard lock(PolicyMutex());
        source = Source();
    }
    return source ? source(status) : SystemMemoryStatus(status);
}

std::uint64_t VoxelBytesInUse() {
    return InUse().load(std::memory_order_relaxed);
}

bool GuardAdmits(std::uint64_t bytes, int remainPercent, const MemoryStatus& status) {
    if (status.totalPhysical == 0) return true;  // nothing known: the heap decides
    const float available = static_cast<float>(status.availablePhysical);
    float free = available - static_cast<float>(bytes);
    if (free < 0.0f) free = 0.0f;
    const float total = static_cast<float>(status.totalPhysical);
    const float percent = free / total * 100.0f;
    return !(percent < static_cast<float>(remainPercent));
}

VoxelAllocator::VoxelAllocator() {
    MemoryPolicy p = GetMemoryPolicy();
    remainPercent = p.enabled ? p.remain : 0;
}

void* VoxelAllocator::AllocateBytes(std::uint64_t n, std::size_t width, bool guarded) const {
    if (n > std::numeric_limits<std::uint64_t>::max() / width) return nullptr;
    const std::uint64_t bytes = n * width;
    if (bytes > std::numeric_limits<std::size_t>::max()) return nullptr;
    if (guarded && n >= 2 && !Admits(bytes)) return nullptr;
    void* block = std::malloc(bytes ? static_cast<std::size_t>(bytes) : 1);
    if (block) InUse().fetch_add(malloc_usable_size(block), std::memory_order_relaxed);
    return block;
}

bool VoxelAllocator::Admits(std::uint64_t bytes) const {
    if (remainPercent == 0) return true;
    MemoryStatus status;
    return !QueryMemoryStatus(status) || GuardAdmits(bytes, remainPercent, status);
}

void VoxelAllocator::Free(void* block) {
    if (block) InUse().fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
    std::free(block);
}

}  // namespace zun
