#pragma once
// The view's colour schemes: plain RGB, or a red-yellow-blue mixing model in which the red, green
// and blue bytes of a colour are taken as amounts of red, yellow and blue. Colours are 0x00BBGGRR.

#include <cstdint>

namespace zun {

enum class ColourScheme { Rgb = 0, RybNormal = 1, RybPaint = 2 };

// The colour under a scheme (RGB leaves it as it is).
std::uint32_t ColourSchemeMap(std::uint32_t colour, ColourScheme scheme);
// The mapping of a composited colour: paint mixing when paint is set, else normal mixing.
std::uint32_t ColourSchemeMapComposite(std::uint32_t colour, bool paint);
// The scheme of a view option (0 RGB, 1 RYB normal, 2 RYB paint; others RGB).
ColourScheme ColourSchemeOfViewOption(int viewOption);

}  // namespace zun
