#pragma once

namespace zun {

// Registers the archived classes of the materials code (compounds and beam filters).
void RegisterMaterialClasses();

}  // namespace zun
