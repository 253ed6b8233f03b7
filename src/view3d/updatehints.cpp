#include "view3d/updatehints.h"

namespace zun {

UpdateActions DecideUpdate(unsigned bits) {
    UpdateActions a;
    a.refresh = (bits & kUpdateRefresh) != 0;
    a.rebuild = (bits & kUpdateRebuildMask) != 0;
    return a;
}

bool ShouldRefill(unsigned bits, std::uint64_t displayVoxels, int runAnimationState) {
    if (displayVoxels == 0) return false;
    return (bits & kUpdateRebuildMask) != kUpdateData || runAnimationState != 0;
}

}  // namespace zun
