#pragma once

namespace zun {

// Registers the archived classes of the sample model (sample, channels, slices, import records,
// plot and histogram settings). Safe to call more than once.
void RegisterSampleClasses();

// Registers every archived class of the model folder: the sample's and the materials'.
void RegisterModelClasses();

}  // namespace zun
