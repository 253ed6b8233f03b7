#pragma once
// A "Set Data" request: a value and the two flags written into a box of voxels of the selected
// channels, into every voxel of the box or only where the present value lies in a range.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zun {

struct SetDataRequest {
    enum Format { kRaw = 0, kNormalised = 1, kPhysical = 2 };

    std::string caption;
    std::vector<std::string> channels;
    std::array<std::uint32_t, 3> ranges{};   // box extent; 0 covers the rest of the axis
    std::array<std::uint32_t, 3> offsets{};  // box start
    int format = kNormalised;
    bool physicalAvailable = true;
    float minimum = 0, maximum = 1;  // the (first) channel's physical range
    float from = 0, to = 1;          // condition range, in the entry format
    float value = 0;                 // in the entry format
    bool readOnly = false;
    bool error = false;
    bool conditional = false;
    bool applyData = false;
    bool applyReadOnly = false;
    bool applyError = false;
    bool boundarySelected = false;
};

}  // namespace zun
