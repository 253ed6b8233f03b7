#pragma once
// A display volume of some channels or slices only: the tree's colours of the items kept, nothing
// of the others. The tree's channel and slice "Export Data > 3D Images" commands fill it.

#include <cstdint>
#include <string>
#include <vector>

#include "document/changehints.h"
#include "view3d/displayfill.h"

namespace zun {

class ZunImage;

// Per channel, per sample slice: 1 when the item is kept.
using SliceSelection = std::vector<std::vector<std::uint8_t>>;

// Every slice of the named channels; names the sample does not know are left out.
SliceSelection SelectChannels(const ZunImage& sample, const std::vector<std::string>& names);
// The listed slices; unknown channels and slices past the channel's end are left out.
SliceSelection SelectSlices(const ZunImage& sample, const std::vector<ChanSliceRecord>& slices);
bool SelectsAnything(const SliceSelection& selection);

class SelectionLayers : public DisplayLayers {
public:
    // Both must outlive the layers.
    SelectionLayers(DisplayLayers& all, const SliceSelection& keep) : all_(all), keep_(keep) {}

    int ChannelCount() const override { return all_.ChannelCount(); }
    int PrepareSlice(int channel, int z) override;
    void PrepareViewSlices(const std::vector<int>& slices, int viewSlices) override {
        all_.PrepareViewSlices(slices, viewSlices);
    }
    void CompositeRow(int k, const int* slices, int sy, int sz, const int* mapX, int count,
                      disptype* out) const override {
        all_.CompositeRow(k, slices, sy, sz, mapX, count, out);
    }

private:
    DisplayLayers& all_;
    const SliceSelection& keep_;
};

}  // namespace zun
