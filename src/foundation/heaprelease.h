#pragma once
// How the program's heap gives memory back to the system. A document holds many blocks of a few
// megabytes (its voxels, and the drawing buffers and textures of its views). Left to itself the C
// library raises its threshold for mapping a block on its own each time such a block is freed, so
// that later ones are carved out of the heap; a controller that closes the oldest of many
// documents and makes a new one, sample after sample, then leaves holes below documents still
// open that the heap never returns, and the program's resident memory grows without end.

#include <cstddef>

namespace zun {

// Blocks from this size on are mapped each on their own, and unmapped when freed.
inline constexpr std::size_t kOwnMappingBytes = std::size_t(256) << 10;

// Fixes the mapping threshold at kOwnMappingBytes (and with it the heap's trim threshold). Called
// once at start, before other threads allocate; false where the C library has no such setting.
bool SetHeapPolicy();

// Hands the free pages of every heap back to the system (after a document has closed, when what
// it held is free but may lie below blocks still in use). Returns false where the C library has
// no such call.
bool ReleaseFreeHeap();

}  // namespace zun
