#include "view3d/treelayers.h"

#include <algorithm>
#include <cstring>

#include "model/sample.h"
#include "tree/displaytree.h"

namespace zun {

TreeDisplayLayers::TreeDisplayLayers(const DisplayTree& tree, const ZunImage& sample)
    : tree_(tree), sample_(sample) {
    // The tree and the sample agree on the channels except in the middle of a structural change:
    // the fill then takes the channels both know.
    channels_ = std::min(tree.IsBuilt() ? tree.ChannelCount() : 0, sample.GetChanCount());
    prepared_.resize(static_cast<std::size_t>(channels_));
    lastTable_.resize(static_cast<std::size_t>(channels_));
    for (int c = 0; c < channels_; ++c) {
        if (sample.GetChan(c)->kind != ZunChan::kBoundary) ++nonBoundary_;
        prepared_[c].resize(static_cast<std::size_t>(tree.Channel(c)->ChildCount()));
    }
}

int TreeDisplayLayers::PrepareSlice(int c, int z) {
    const TreeNode* channel = tree_.Channel(c);
    if (z < 0 || z >= channel->ChildCount()) return 0;
    ItemLayers& item = prepared_[c][z];
    const int n = PrepareItemColours(channel->Child(z)->spec, &sample_, tree_.viewOption, item);
    item.data = sample_.GetChan(c)->Data();
    item.dataTable = nullptr;
    if (n > 0 && (item.displayItems & DispSpec::kItemData)) {
        // Slices are usually displayed alike, so a handful of tables serve the whole volume;
        // a volume of many different settings falls back to working each voxel out.
        constexpr std::size_t kMaxTables = 64;
        LastTable& last = lastTable_[static_cast<std::size_t>(c)];
        if (last.table && SameDataLayer(last.key, item)) {
            item.dataTable = last.table;
        } else if (tables_.size() < kMaxTables) {
            tables_.push_back(DataLayerTable(item));
            last.key = item;
            last.table = item.dataTable = tables_.back().data();
        }
    }
    return n;
}

void TreeDisplayLayers::PrepareViewSlices(const std::vector<int>& slices, int viewSlices) {
    perView_.assign(static_cast<std::size_t>(viewSlices) * channels_, ItemLayers{});
    for (int k = 0; k < viewSlices; ++k)
        for (int c = 0; c < channels_; ++c) {
            const int z = slices[static_cast<std::size_t>(k) * channels_ + c];
            if (z >= 0) perView_[static_cast<std::size_t>(k) * channels_ + c] = prepared_[c][z];
        }
}

void TreeDisplayLayers::CompositeRow(int k, const int*, int sy, int sz, const int* mapX, int count,
                                     disptype* out) const {
    if (channels_ == 0) {
        std::memset(out, 0, sizeof(disptype) * static_cast<std::size_t>(count));
        return;
    }
    const ItemLayers* items = perView_.data() + static_cast<std::size_t>(k) * channels_;
    const Dims& d = sample_.GetDims();
    const std::size_t row = (static_cast<std::size_t>(sz) * d[1] + sy) * d[0];
    std::uint16_t words[64];
    std::vector<std::uint16_t> many;
    std::uint16_t* w = words;
    if (channels_ > 64) {
        many.resize(static_cast<std::size_t>(channels_));
        w = many.data();
    }
    for (int i = 0; i < count; ++i) {
        const std::size_t voxel = row + static_cast<std::size_t>(mapX[i]);
        for (int c = 0; c < channels_; ++c)
            w[c] = items[c].data && items[c].layers ? items[c].data[voxel] : 0;
        std::uint8_t rgba[4];
        CompositeVoxelColour(items, channels_, w, voxel, nullptr, nonBoundary_, tree_.viewOption, rgba);
        out[i] = static_cast<disptype>(rgba[0]) | (static_cast<disptype>(rgba[1]) << 8) |
                 (static_cast<disptype>(rgba[2]) << 16) | (static_cast<disptype>(rgba[3]) << 24);
    }
}

}  // namespace zun
