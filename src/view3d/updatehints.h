#pragma once
// What a batch of update bits makes the 3-D view do.

#include <cstdint>

namespace zun {

// Bit 0: the display volume changed in place; bits 0xFA: the volume must be rebuilt. Bit 2
// (statistics only) alone does nothing.
inline constexpr unsigned kUpdateRefresh = 0x01;
inline constexpr unsigned kUpdateRebuildMask = 0xFA;
inline constexpr unsigned kUpdateData = 0x02;
inline constexpr unsigned kUpdateDisplayItems = 0x08;
inline constexpr unsigned kUpdateColours = 0x10;
inline constexpr unsigned kUpdateOpacity = 0x40;
inline constexpr unsigned kUpdateMask = 0x80;

struct UpdateActions {
    bool refresh = false;  // re-upload the texture and redraw
    bool rebuild = false;  // resize the volume, maybe refill it, rebuild the scene
};

UpdateActions DecideUpdate(unsigned bits);

// After the rebuild resized the volume: whether the tree fills it again. A pure data update after
// a fill that found nothing to show keeps the empty volume.
bool ShouldRefill(unsigned bits, std::uint64_t displayVoxels, int runAnimationState);

}  // namespace zun
