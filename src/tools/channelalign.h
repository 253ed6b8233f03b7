#pragma once
// Channel alignment: a channel moved by a sub-voxel translation from a backup of its words, and
// the Pearson correlation with a reference channel over the region where the moved data lie,
// so that the user can try translations by hand. The presenter keeps the dialog's state: every
// Apply starts again from the backup, Cancel restores it, OK keeps the moved words.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/toolsupport.h"

namespace zun {

class CZunDoc;

// The target voxels whose shifted source lies inside the grid: [lo, hi) per axis.
struct AlignOverlap {
    int xlo = 0, xhi = 0, ylo = 0, yhi = 0, zlo = 0, zhi = 0;
    bool Thin() const { return xhi - xlo < 2 || yhi - ylo < 2 || zhi - zlo < 2; }
};
AlignOverlap ComputeAlignOverlap(const ToolGrid& g, float dx, float dy, float dz);

// Every word of `out` from `backup` shifted by (dx, dy, dz), whole words interpolated with the
// neighbour on the side the fraction points to. `progress` (may be null) gets 0..50.
void TranslateChannel(const std::uint16_t* backup, std::uint16_t* out, const ToolGrid& g, float dx, float dy,
                      float dz, ToolProgress* progress = nullptr);
// Pearson correlation of the whole words over the overlap; -100 when undefined (a constant
// channel). `progress` gets 50..100.
double CrossCorrelate(const std::uint16_t* a, const std::uint16_t* b, const ToolGrid& g,
                      const AlignOverlap& o, ToolProgress* progress = nullptr);

namespace alignmsg {
inline constexpr const char* kMemoryActivity = "allocating memory buffer for ChannelAlign";
inline constexpr const char* kUpdating = "Updating display ...";
inline constexpr const char* kUndefined = "Cross correlation undefined";
}  // namespace alignmsg

class ChannelAlignModel {
public:
    // Takes the backup of the moving channel. Throws std::bad_alloc when it cannot be made.
    ChannelAlignModel(CZunDoc& doc, int moving, int reference);

    std::string Title() const;
    // Edits of DX, DY or DZ: Apply enabled, OK disabled.
    void Edited();
    // The texts of the edits ("%.1f" at the start); text that is no number reads 0, a number
    // that is not finite is refused before anything changes. Returns the message to show
    // ("Value must be a real number", "Sample too small...", "Computation in progress.") or
    // empty when the channel was moved and correlated.
    std::string Apply(const std::string& dx, const std::string& dy, const std::string& dz);
    // Appends the translation to the moving channel's history.
    void Ok();
    // Restores the backup; false (nothing changed) while a computation runs on the document.
    bool Cancel();

    bool ApplyEnabled() const { return applyEnabled_; }
    bool OkEnabled() const { return okEnabled_; }
    std::string CorrelationText() const { return correlationText_; }
    double Correlation() const { return correlation_; }
    std::string StatusText() const { return status_; }
    ToolProgress& Progress() { return progress_; }
    float DX() const { return dx_; }
    float DY() const { return dy_; }
    float DZ() const { return dz_; }

private:
    void AnnounceChange();

    CZunDoc& doc_;
    int moving_, reference_;
    std::string movingName_, referenceName_;
    ToolGrid grid_;
    std::vector<std::uint16_t> backup_;
    float dx_ = 0, dy_ = 0, dz_ = 0;
    bool applyEnabled_ = false;
    bool okEnabled_ = false;
    double correlation_ = -100;
    std::string correlationText_;
    std::string status_;
    ToolProgress progress_;
};

}  // namespace zun
