#pragma once
// The memory guard every voxel block passes through. It refuses a request that would leave less
// than a set percentage of the machine's physical memory available. The percentage comes from the
// process-wide memory policy (set by the preferences) when an allocator is created.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace zun {

// The Memory preferences as the guard sees them.
struct MemoryPolicy {
    bool enabled = false;
    int remain = 0;  // per cent of physical memory to keep available
};

MemoryPolicy GetMemoryPolicy();
void SetMemoryPolicy(const MemoryPolicy& policy);

struct MemoryStatus {
    std::uint64_t totalPhysical = 0;
    std::uint64_t availablePhysical = 0;
};

// Where the guard learns the memory status; returns false when it is unknown. Tests install their
// own source; an empty function restores the system's (/proc/meminfo).
using MemoryStatusSource = std::function<bool(MemoryStatus&)>;
void SetMemoryStatusSource(MemoryStatusSource source);
bool QueryMemoryStatus(MemoryStatus& status);

// Bytes held now in the blocks of every allocator (as the heap sizes them). A status source that
// stands for a smaller machine subtracts them, so that what is taken counts against what is left.
std::uint64_t VoxelBytesInUse();

// The guard's rule: true when `bytes` may be taken with `remainPercent` per cent of physical
// memory still available afterwards (computed in single precision; equality passes).
bool GuardAdmits(std::uint64_t bytes, int remainPercent, const MemoryStatus& status);

class VoxelAllocator {
public:
    // Reads the memory policy: remain when enabled, else 0 (guard off).
    VoxelAllocator();
    explicit VoxelAllocator(int remainPercent) : remainPercent(remainPercent) {}

    // A block of n elements of T, uninitialised, or null when the guard or the heap refuses.
    // Requests of fewer than 2 elements and every request with remainPercent 0 are not checked.
    template <class T>
    T* Allocate(std::uint64_t n) {
        return static_cast<T*>(AllocateBytes(n, sizeof(T), true));
    }
    // The same without the guard (rollbacks, which must not fail on the guard's account).
    template <class T>
    T* AllocateUnguarded(std::uint64_t n) {
        return static_cast<T*>(AllocateBytes(n, sizeof(T), false));
    }
    static void Free(void* block);

    // Whether the guard would let `bytes` be taken now, in one block or several: work that takes
    // many blocks asks for its total first, since each block on its own may pass.
    bool Admits(std::uint64_t bytes) const;

    int remainPercent = 0;

private:
    void* AllocateBytes(std::uint64_t n, std::size_t width, bool guarded) const;
};

}  // namespace zun
