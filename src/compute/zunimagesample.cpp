#include "compute/zunimagesample.h"

#include "model/sample.h"
#include "model/slice.h"

namespace zun {

std::array<std::uint32_t, 3> ZunImageSample::Dims() const {
    const auto& d = image_.GetDims();
    std::array<std::uint32_t, 3> out{1, 1, 1};
    for (std::size_t k = 0; k < 3 && k < d.size(); ++k) out[k] = static_cast<std::uint32_t>(d[k]);
    return out;
}

int ZunImageSample::ChannelCount() const {
    return image_.GetChanCount();
}

int ZunImageSample::ChannelKind(int ch) const {
    return image_.GetChan(ch)->kind;
}

std::uint16_t* ZunImageSample::ChannelWords(int ch) {
    return image_.GetChan(ch)->Data();
}

std::array<float, 2> ZunImageSample::ChannelRange(int ch) const {
    const auto& r = image_.GetChan(ch)->range;
    return {r.size() > 0 ? r[0] : 0.0f, r.size() > 1 ? r[1] : 1.0f};
}

void ZunImageSample::SetChannelRangeValue(int ch, int which, float value) {
    auto& r = image_.GetChan(ch)->range;
    if (r.size() < 2) r.resize(2, 0.0f);
    r[which] = value;
}

int ZunImageSample::ImportedBitDepth(int ch) const {
    const ZunChan* c = image_.GetChan(ch);
    int smallest = 0;
    for (int s = 0; s < c->GetSliceCount(); ++s) {
        const Slice* slice = c->GetSlice(s);
        if (!slice->imported || !slice->import) continue;
        const int bits = slice->import->bits;
        if (bits <= 0 || bits == ImportInfo::kUnset) continue;
        if (smallest == 0 || bits < smallest) smallest = bits;
    }
    return smallest;
}

std::array<std::int32_t, 3> ZunImageSample::ImportCounts(int ch) const {
    const auto& counts = image_.GetChan(ch)->importCounts;
    std::array<std::int32_t, 3> out{0, 0, 0};
    for (std::size_t k = 0; k < 3 && k < counts.size(); ++k) out[k] = counts[k];
    return out;
}

void ZunImageSample::ResetRecordedSettings(int ch) {
    LogText::AppendSection(nullptr, image_.GetChan(ch)->note, nullptr);
}

int ZunImageSample::MaskChannel() const {
    if (!image_.boundaryMaskOn || !image_.IsChanIndex(image_.activeBoundaryIndex)) return -1;
    return image_.activeBoundaryIndex;
}

std::uint16_t ZunImageSample::MaskWord() const {
    return image_.boundaryMaskWord;
}

}  // namespace zun
