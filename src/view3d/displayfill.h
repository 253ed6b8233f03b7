#pragma once
// Filling the 3-D view's RGBA display volume from the displayed channel items, each view voxel
// sampled from the sample voxel its index maps give.

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/image.h"
#include "foundation/voxeltypes.h"

namespace zun {

// view index -> sample index: floor(i n / v + 0.49) in float arithmetic, the last one n - 1.
std::vector<int> BuildIndexMap(int sampleExtent, int viewExtent);

// What the fill needs of the displayed items (the tree's display state, or a plain list).
class DisplayLayers {
public:
    virtual ~DisplayLayers() = default;
    // Channels in document order.
    virtual int ChannelCount() const = 0;
    // Prepares the colours of channel c's item for sample slice z (before any filling, on one
    // thread) and returns its number of displayed layers (0 when nothing shows).
    virtual int PrepareSlice(int channel, int z) = 0;
    // Called once after every slice was prepared and the choice of items for each view slice k
    // (slices[k * channels + c]) is made, before the parallel fill.
    virtual void PrepareViewSlices(const std::vector<int>& slices, int viewSlices) {
        (void)slices;
        (void)viewSlices;
    }
    // Composites one view row of view slice k: voxel i of out takes sample voxel (mapX[i], sy, sz), each
    // channel c coloured by its item of sample slice slices[c] (-1: the channel shows nothing). Each texel
    // holds the bytes red, green, blue, alpha in memory order. Called from parallel loops: it only reads what
    // PrepareSlice made.
    virtual void CompositeRow(int k, const int* slices, int sy, int sz, const int* mapX, int count,
                              disptype* out) const = 0;
};

// The per-view-slice choice of items: for each view slice k and channel c the sample slice whose
// item colours it (the last displayed one between this view slice and the next), and the count
// of displayed layers of k.
struct DisplayFillPlan {
    std::vector<int> mapX, mapY, mapZ;
    int channels = 0;
    std::vector<int> slices;  // vz x channels
    std::vector<int> counts;  // vz
};

DisplayFillPlan PrepareDisplayFill(DisplayLayers& layers, const Dims& sample, const Dims& view);

enum DisplayFillMode : int {
    kFillClear = 1,  // every view slice to transparent black
    kFillAll = 2,    // the whole volume in one parallel pass
};

// Modes 1 and 2 over a packed RGBA volume of extents view. Returns the number of view slices with
// displayed layers (0 for mode 1). threads <= 0: all processors.
int FillDisplayVolume(int mode, DisplayLayers& layers, const Dims& sample, disptype* volume, const Dims& view,
                      int threads = 0);

// The view's RGBA volume: one packed texel per voxel, its memory taken through the memory guard.
class DisplayVolume {
public:
    DisplayVolume();
    // 1 resized, 0 same extents, -1 refused (the volume keeps its old extents).
    int Resize(const Dims& dims);
    const Dims& GetDims() const;
    std::uint64_t GetNumVoxels() const;
    disptype* Data();
    const disptype* Data() const;

private:
    std::unique_ptr<Image3d<disptype>> image_;
};

// A plain list of single-coloured channels, for views with no tree at hand (tests, benchmarks,
// scripted rendering). Each channel shows one colour weighted by a linear opacity ramp.
class ChannelColourLayers : public DisplayLayers {
public:
    struct Channel {
        const imtype* data = nullptr;     // the sample's voxel words
        std::uint32_t colour = 0x0000FF;  // 0x00BBGGRR
        float low = 0, high = 1, opacityLow = 0, opacityHigh = 1;
        bool boundary = false;                  // a mask: never drawn itself
        const imtype* mask = nullptr;           // voxels whose mask word is 0 show nothing
        std::vector<std::uint8_t> slicesShown;  // per sample slice; empty: every slice
    };
    ChannelColourLayers(const Dims& sample, std::vector<Channel> channels);

    int ChannelCount() const override { return static_cast<int>(channels_.size()); }
    int PrepareSlice(int channel, int z) override;
    void CompositeRow(int k, const int* slices, int sy, int sz, const int* mapX, int count,
                      disptype* out) const override;

private:
    Dims sample_;
    std::vector<Channel> channels_;
    std::vector<std::vector<std::uint16_t>> weights_;  // per channel: opacity weight of every value
};

}  // namespace zun
