#pragma once
// The boundary builders over plain voxel blocks (x fastest, then y, then z). Each writes its new
// region into bit 14 of the target's words and leaves the value bits (the existing mask) as they
// were; bit 15 is clear when they return. They return 0, -1 after a message, or
// kBoundaryCancelled; after -1 or a cancel both flag bits are clear. The channel forms are
// ZunChan::BuildSampleBoundary and its siblings.

#include <vector>

#include "foundation/voxeltypes.h"
#include "model/bounddef.h"

namespace zun {

class ProgressSink;
class Prompt;

int BuildSampleBoundaryOnBlocks(imtype* target, int nx, int ny, int nz,
                                const std::vector<const imtype*>& sources, BoundDef& def,
                                ProgressSink* progress, Prompt* prompt, int threads = 0);
int BuildClusterBoundaryOnBlocks(imtype* target, const imtype* reference, int nx, int ny, int nz,
                                 BoundDef& def, ProgressSink* progress, Prompt* prompt, int threads = 0);
int BuildBoundaryFromDefOnBlocks(imtype* target, int nx, int ny, int nz, BoundDef& def,
                                 ProgressSink* progress, int threads = 0);
// Moves the masks (value bits) of the channels; a cancel leaves every mask as it was.
int TransformBoundaryBlocks(const std::vector<imtype*>& channels, int nx, int ny, int nz,
                            const TransBoundParams& params, ProgressSink* progress, int threads = 0);

}  // namespace zun
