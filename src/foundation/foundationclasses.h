#pragma once

namespace zun {

// Adds the run-time class records of the voxel images, channels and the float matrix to the
// program's class registry. Call before any archive is read.
void RegisterFoundationClasses();

}  // namespace zun
