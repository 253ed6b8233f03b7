#pragma once
// Helpers of the voxel tests: a scripted memory status and filled channels.

#include <cstdint>
#include <functional>

#include "foundation/chan.h"
#include "foundation/memoryguard.h"

namespace zun::testing {

// Installs a memory status source for the lifetime of the object and restores the system's after.
// Every query is counted; from query `refuseFrom` on (1-based, 0 never) the source reports no
// memory available, so that a guard with a non-zero remain refuses.
class ScriptedMemory {
public:
    ScriptedMemory(std::uint64_t total, std::uint64_t available, int refuseFrom = 0);
    ~ScriptedMemory();
    int Queries() const { return queries_; }
    void RefuseFrom(int n) { refuseFrom_ = n; }

private:
    std::uint64_t total_, available_;
    int refuseFrom_;
    int queries_ = 0;
};

// Sets the memory policy for the lifetime of the object.
class PolicyScope {
public:
    PolicyScope(bool enabled, int remain);
    ~PolicyScope();

private:
    MemoryPolicy old_;
};

// Fills a channel with value(linear index).
template <class T>
void FillLinear(Chan<T>& c, std::function<T(std::uint64_t)> value) {
    for (std::uint64_t i = 0; i < c.GetNumVoxels(); ++i) c.Data()[i] = value(i);
}

}  // namespace zun::testing
