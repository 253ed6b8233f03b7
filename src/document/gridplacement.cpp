#include "document/gridplacement.h"

#include <algorithm>
#include <limits>

namespace zun {

GridAxisSpan KeptAlongAxis(std::uint32_t oldSize, std::uint32_t newSize, std::int64_t offset) {
    GridAxisSpan s;
    const std::int64_t first = std::max<std::int64_t>(offset, 0);
    const std::int64_t end = std::min<std::int64_t>(offset + oldSize, newSize);
    if (end <= first) return s;
    s.newFirst = first;
    s.oldFirst = first - offset;
    s.count = end - first;
    return s;
}

bool GridsShareVoxels(const std::array<std::uint32_t, 3>& oldSizes,
                      const std::array<std::uint32_t, 3>& newSizes,
                      const std::array<std::int32_t, 3>& offsets) {
    for (std::size_t k = 0; k < 3; ++k)
        if (KeptAlongAxis(oldSizes[k], newSizes[k], offsets[k]).count == 0) return false;
    return true;
}

std::array<std::int32_t, 3> ClampGridOffsets(const std::array<std::uint32_t, 3>& oldSizes,
                                             const std::array<std::uint32_t, 3>& newSizes,
                                             const std::array<std::int32_t, 3>& offsets) {
    constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min() + 1;
    constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
    std::array<std::int32_t, 3> r{};
    for (std::size_t k = 0; k < 3; ++k) {
        // The bounds themselves stay negatable: -INT_MIN would not be.
        const std::int64_t lo = std::max<std::int64_t>(-static_cast<std::int64_t>(oldSizes[k]), kLow);
        const std::int64_t hi = std::min<std::int64_t>(newSizes[k], kHigh);
        r[k] = static_cast<std::int32_t>(std::clamp<std::int64_t>(offsets[k], lo, hi));
    }
    return r;
}

}  // namespace zun
