#pragma once

namespace zun {

// Registers the archived classes of the sample model (sample, channels, slices, import records,
// plot and histogram settings). Safe to call more than once.
void RegisterSampleClasses();

}  // namespace zun
