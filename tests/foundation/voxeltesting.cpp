#include "voxeltesting.h"

namespace zun::testing {

ScriptedMemory::ScriptedMemory(std::uint64_t total, std::uint64_t available, int refuseFrom)
    : total_(total), available_(available), refuseFrom_(refuseFrom) {
    SetMemoryStatusSource([this](MemoryStatus& s) {
        ++queries_;
        s.totalPhysical = total_;
        s.availablePhysical = (refuseFrom_ > 0 && queries_ >= refuseFrom_) ? 0 : available_;
        return true;
    });
}

ScriptedMemory::~ScriptedMemory() {
    SetMemoryStatusSource({});
}

PolicyScope::PolicyScope(bool enabled, int remain) : old_(GetMemoryPolicy()) {
    SetMemoryPolicy(MemoryPolicy{enabled, remain});
}

PolicyScope::~PolicyScope() {
    SetMemoryPolicy(old_);
}

}  // namespace zun::testing

// Oversized requests from damaged test data must come back as null (then std::bad_alloc), as they
// do without the sanitizer, instead of ending the run.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
