#include "view3d/selectionlayers.h"

#include "model/sample.h"

namespace zun {

namespace {
SliceSelection Empty(const ZunImage& sample) {
    const int slices = sample.GetSliceCount() > 0 ? sample.GetSliceCount() : 0;
    return SliceSelection(static_cast<std::size_t>(sample.GetChanCount()),
                          std::vector<std::uint8_t>(static_cast<std::size_t>(slices), 0));
}
}  // namespace

SliceSelection SelectChannels(const ZunImage& sample, const std::vector<std::string>& names) {
    SliceSelection keep = Empty(sample);
    for (const std::string& name : names) {
        const int c = sample.FindChanIndex(name);
        if (c >= 0) keep[static_cast<std::size_t>(c)].assign(keep[static_cast<std::size_t>(c)].size(), 1);
    }
    return keep;
}

SliceSelection SelectSlices(const ZunImage& sample, const std::vector<ChanSliceRecord>& slices) {
    SliceSelection keep = Empty(sample);
    for (const ChanSliceRecord& s : slices) {
        const int c = sample.FindChanIndex(s.channel);
        if (c < 0) continue;
        auto& row = keep[static_cast<std::size_t>(c)];
        if (s.slice < row.size()) row[s.slice] = 1;
    }
    return keep;
}

bool SelectsAnything(const SliceSelection& selection) {
    for (const auto& row : selection)
        for (std::uint8_t k : row)
            if (k) return true;
    return false;
}

int SelectionLayers::PrepareSlice(int channel, int z) {
    if (channel < 0 || static_cast<std::size_t>(channel) >= keep_.size()) return 0;
    const auto& row = keep_[static_cast<std::size_t>(channel)];
    if (z < 0 || static_cast<std::size_t>(z) >= row.size() || !row[static_cast<std::size_t>(z)]) return 0;
    return all_.PrepareSlice(channel, z);
}

}  // namespace zun
