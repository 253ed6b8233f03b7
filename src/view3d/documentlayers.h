#pragma once
// The displayed channels of a sample when no tree gives their display settings: every
// composition channel after the first (the first is the space between materials) in its own
// colour, the others hidden.

#include <memory>

#include "view3d/displayfill.h"

namespace zun {

class ZunImage;

std::unique_ptr<ChannelColourLayers> MakeSampleLayers(const ZunImage& sample);

}  // namespace zun
