#include "view3d/processorset.h"

#include "foundation/threadcount.h"

namespace zun {

namespace {

// Taken during static initialisation, before main and before any viewer is realised.
[[maybe_unused]] const bool g_startingSetTaken = !StartingProcessors().empty();

}  // namespace

const std::vector<int>& StartingProcessors() {
    static const std::vector<int> cpus = ThreadProcessors();
    return cpus;
}

}  // namespace zun
