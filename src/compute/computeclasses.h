#pragma once

namespace zun {

// Registers the archived classes of the computation engine.
void RegisterComputeClasses();

}  // namespace zun
