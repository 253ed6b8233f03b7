#pragma once
// The displayed items of a document window's tree as the display-volume fill reads them.

#include <vector>

#include "tree/composite.h"
#include "view3d/displayfill.h"

namespace zun {

class DisplayTree;
class ZunImage;

class TreeDisplayLayers : public DisplayLayers {
public:
    TreeDisplayLayers(const DisplayTree& tree, const ZunImage& sample);

    int ChannelCount() const override { return channels_; }
    int PrepareSlice(int channel, int z) override;
    void PrepareViewSlices(const std::vector<int>& slices, int viewSlices) override;
    void CompositeRow(int k, const int* slices, int sy, int sz, const int* mapX, int count,
                      disptype* out) const override;

private:
    const DisplayTree& tree_;
    const ZunImage& sample_;
    int channels_ = 0;
    int nonBoundary_ = 0;
    std::vector<std::vector<ItemLayers>> prepared_;  // channel, sample slice
    std::vector<ItemLayers> perView_;                // view slice, channel: contiguous per view slice
    // Data-layer tables, shared by the slices of a channel displayed alike; each channel's next
    // slice tries the channel's newest table first.
    struct LastTable {
        ItemLayers key;
        const WeightedColour* table = nullptr;
    };
    std::vector<std::vector<WeightedColour>> tables_;
    std::vector<LastTable> lastTable_;
};

}  // namespace zun
