#include "tree/colourscheme.h"

#include <algorithm>
#include <cmath>

namespace zun {

namespace {

struct Rgbf {
    float r, g, b;
};

// Corners of the mixing cube, indexed by (red amount, yellow amount, blue amount) as bits 0..2.
// Paint mixing starts from white paper and ends in near-black; normal mixing starts from black
// and ends in white, with the same primaries and secondaries in between.
constexpr Rgbf kPaint[8] = {
    {1.0f, 1.0f, 1.0f},      // none: white
    {1.0f, 0.0f, 0.0f},      // red
    {1.0f, 1.0f, 0.0f},      // yellow
    {1.0f, 0.5f, 0.0f},      // red + yellow: orange
    {0.163f, 0.373f, 0.6f},  // blue
    {0.5f, 0.0f, 0.5f},      // red + blue: purple
    {0.0f, 0.66f, 0.2f},     // yellow + blue: green
    {0.2f, 0.094f, 0.0f},    // all: dark brown
};
constexpr Rgbf kNormal[8] = {
    {0.0f, 0.0f, 0.0f},  {1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f},  {1.0f, 0.5f, 0.0f},
    {0.0f, 0.35f, 1.0f}, {0.6f, 0.0f, 0.8f}, {0.0f, 0.8f, 0.25f}, {1.0f, 1.0f, 1.0f},
};

std::uint32_t MapThroughCube(std::uint32_t colour, const Rgbf* cube) {
    const float x = static_cast<float>(colour & 0xFF) / 255.0f;
    const float y = static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
    const float z = static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
    float out[3] = {0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        const float w = ((corner & 1) ? x : 1 - x) * ((corner & 2) ? y : 1 - y) * ((corner & 4) ? z : 1 - z);
        out[0] += w * cube[corner].r;
        out[1] += w * cube[corner].g;
        out[2] += w * cube[corner].b;
    }
    std::uint32_t result = 0;
    for (int i = 0; i < 3; ++i) {
        const long v = std::lround(std::clamp(out[i], 0.0f, 1.0f) * 255.0f);
        result |= static_cast<std::uint32_t>(v) << (8 * i);
    }
    return result;
}

}  // namespace

std::uint32_t ColourSchemeMap(std::uint32_t colour, ColourScheme scheme) {
    switch (scheme) {
        case ColourScheme::RybNormal:
            return MapThroughCube(colour, kNormal);
        case ColourScheme::RybPaint:
            return MapThroughCube(colour, kPaint);
        default:
            return colour & 0xFFFFFF;
    }
}

std::uint32_t ColourSchemeMapComposite(std::uint32_t colour, bool paint) {
    return ColourSchemeMap(colour, paint ? ColourScheme::RybPaint : ColourScheme::RybNormal);
}

ColourScheme ColourSchemeOfViewOption(int viewOption) {
    return (viewOption == 1 || viewOption == 2) ? static_cast<ColourScheme>(viewOption) : ColourScheme::Rgb;
}

}  // namespace zun
