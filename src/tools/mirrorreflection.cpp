#include "tools/mirrorreflection.h"

#include <algorithm>

namespace zun {

int MirrorReflection::Compute(std::uint16_t* w, const ToolGrid& g, int axis) {
    if (g.nx < 3 || g.ny < 3 || g.nz < 3 || axis < 1 || axis > 3) return 1;
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    if (axis == 1) {
#pragma omp parallel for collapse(2) schedule(static) num_threads(ToolThreads())
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y) {
                std::uint16_t* row = w + g.Index(0, y, z);
                std::reverse(row, row + nx);
            }
    } else if (axis == 2) {
#pragma omp parallel for collapse(2) schedule(static) num_threads(ToolThreads())
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny / 2; ++y)
                std::swap_ranges(w + g.Index(0, y, z), w + g.Index(0, y, z) + nx,
                                 w + g.Index(0, ny - 1 - y, z));
    } else {
        const std::int64_t plane = std::int64_t(nx) * ny;
#pragma omp parallel for schedule(static) num_threads(ToolThreads())
        for (int z = 0; z < nz / 2; ++z)
            std::swap_ranges(w + z * plane, w + (z + 1) * plane, w + (std::int64_t(nz) - 1 - z) * plane);
    }
    return 0;
}

std::string MirrorReflection::Record(int axis, int result, const std::string& time) {
    const char letter = axis == 1 ? 'X' : (axis == 2 ? 'Y' : 'Z');
    std::string r = std::string("Mirror Reflection in ") + letter + "-axis ";
    if (result == 0)
        r += "completed at: ";
    else
        r += ToolFormat("ended with error code %d at: ", result);
    return r + time;
}

}  // namespace zun
