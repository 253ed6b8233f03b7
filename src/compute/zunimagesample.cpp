#include "compute/zunimagesample.h"

#include "model/sample.h"
#include "model/slice.h"

namespace zun {

std::array<std::uint32_t, 3> ZunImageSample::Dims() const {
    const auto& d = Image().GetDims();
    std::array<std::uint32_t, 3> out{1, 1, 1};
    for (std::size_t k = 0; k < 3 && k < d.size(); ++k) out[k] = static_cast<std::uint32_t>(d[k]);
    return out;
}

int ZunImageSample::ChannelCount() const {
    return Image().GetChanCount();
}

int ZunImageSample::ChannelKind(int ch) const {
    const ZunImage& s = Image();
    return s.IsChanIndex(ch) ? s.GetChan(ch)->kind : -1;
}

std::uint16_t* ZunImageSample::ChannelWords(int ch) {
    ZunImage& s = Image();
    return s.IsChanIndex(ch) ? s.GetChan(ch)->Data() : nullptr;
}

std::array<float, 2> ZunImageSample::ChannelRange(int ch) const {
    const ZunImage& s = Image();
    if (!s.IsChanIndex(ch) || s.GetChan(ch)->range.size() != 2) return {0.0f, 1.0f};
    return {s.GetChan(ch)->range[0], s.GetChan(ch)->range[1]};
}

void ZunImageSample::SetChannelRangeValue(int ch, int which, float value) {
    ZunImage& s = Image();
    if (!s.IsChanIndex(ch) || which < 0 || which > 1) return;
    auto& r = s.GetChan(ch)->range;
    if (r.size() != 2) r = {0.0f, 1.0f};
    r[static_cast<std::size_t>(which)] = value;
}

int ZunImageSample::ImportedBitDepth(int ch) const {
    const ZunImage& s = Image();
    if (!s.IsChanIndex(ch)) return 0;
    const ZunChan* c = s.GetChan(ch);
    int smallest = 0;
    for (int z = 0; z < c->GetSliceCount(); ++z) {
        const Slice* slice = c->GetSlice(z);
        if (!slice->imported || !slice->import) continue;
        const int bits = slice->import->bits;
        if (bits <= 0 || bits == ImportInfo::kUnset) continue;
        if (smallest == 0 || bits < smallest) smallest = bits;
    }
    return smallest;
}

std::array<std::int32_t, 3> ZunImageSample::ImportCounts(int ch) const {
    const std::vector<std::int32_t> counts = Image().GetImportCounts(ch);
    std::array<std::int32_t, 3> out{0, 0, 0};
    for (std::size_t k = 0; k < 3 && k < counts.size(); ++k) out[k] = counts[k];
    return out;
}

void ZunImageSample::ResetRecordedSettings(int ch) {
    ZunImage& s = Image();
    if (s.IsChanIndex(ch)) LogText::AppendSection(nullptr, s.GetChan(ch)->note, nullptr);
}

int ZunImageSample::MaskChannel() const {
    const ZunImage& s = Image();
    if (!s.boundaryMaskOn || !s.IsChanIndex(s.activeBoundaryIndex)) return -1;
    return s.activeBoundaryIndex;
}

std::uint16_t ZunImageSample::MaskWord() const {
    return Image().boundaryMaskWord;
}

}  // namespace zun
