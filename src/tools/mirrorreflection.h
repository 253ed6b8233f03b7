#pragma once
// Mirror reflection of a channel's words in place along one grid axis (1 x, 2 y, 3 z).

#include <cstdint>
#include <string>

#include "tools/toolsupport.h"

namespace zun {

class MirrorReflection {
public:
    // 0 done; 1 when an axis of the grid is shorter than 3 or the axis is not 1..3 (nothing moved).
    static int Compute(std::uint16_t* words, const ToolGrid& g, int axis);
    // "Mirror Reflection in X-axis completed at: ..." or "... ended with error code %d at: ...".
    static std::string Record(int axis, int result, const std::string& time);
};

namespace mirrormsg {
inline constexpr const char* kInvalid = "Internal error: invalid parameter specification";
inline constexpr const char* kStateText = "Mirror Reflection computation...";
inline constexpr const char* kLabel = "Mirror Reflection computation";
}  // namespace mirrormsg

}  // namespace zun
