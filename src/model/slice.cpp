#include "model/slice.h"

#include <algorithm>
#include <cmath>

#include "model/zunchan.h"

namespace zun {
ZUN_IMPLEMENT_SERIAL(Slice, Serializable, 0)

void Slice::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp;
        ar.WriteObject(image.get());
        ar.WriteObject(import.get());
        ar << imported << modified;
        return;
    }
    std::uint32_t stamp = 0;
    ar >> stamp;
    image = ar.ReadOwnedObject<Image2d<imtype>>();
    import = ar.ReadOwnedObject<ImportInfo>();
    ar >> imported >> modified;
}

bool Slice::GetImportedRect(std::array<std::int32_t, 4>& rect) const {
    if (!import) return false;
    const ImportInfo& r = *import;
    for (int j = 0; j < 2; ++j)
        if (r.position[j] == ImportInfo::kUnset || r.cropRange[j] == ImportInfo::kUnset) return false;
    for (int j = 0; j < 2; ++j) {
        rect[j] = r.position[j];
        rect[j + 2] = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(std::int64_t{r.position[j]} + r.cropRange[j], INT32_MIN, INT32_MAX));
    }
    return true;
}

bool Slice::ClearImport() {
    const bool changed = imported || image;
    modified = changed;
    image.reset();
    imported = false;
    if (import) import->Reset();
    return changed;
}

void Slice::ReleaseImage() {
    modified = imported || image;
    image.reset();
    imported = false;
}

bool Slice::IsBoundary() const {
    return owner && owner->kind == ZunChan::kBoundary;
}

IntegerSampleRule::IntegerSampleRule(int bits, const float* scale, const float* offset)
    : mask(bits >= 64 ? ~ullong{0} : (bits <= 0 ? 0 : (ullong{1} << bits) - 1)),
      factor(mask ? 16383.0f / static_cast<float>(mask) : 0.0f),
      scale(scale),
      offset(offset) {}

imtype IntegerSampleRule::operator()(ullong v) const {
    float x = static_cast<float>(v & mask);
    if (scale) x *= *scale;
    if (offset) x += *offset;
    float f = x * factor + 0.5f;
    int bits = 0;
    if (f >= 16383.0f)
        bits = 16383;
    else if (f > 0.0f)
        bits = static_cast<int>(f);
    return static_cast<imtype>(bits | 0x4000);
}

FloatSampleRule::FloatSampleRule(float a, float b, const float* scale, const float* offset)
    : low(std::min(a, b)),
      span(std::max(a, b) - std::min(a, b)),
      zeroSpan(!(span != 0.0f)),
      scale(scale),
      offset(offset) {}

imtype FloatSampleRule::operator()(float x) const {
    if (zeroSpan) return 0x4000;
    if (scale) x *= *scale;
    if (offset) x += *offset;
    if (!(x >= low)) x = low;  // below the range, and NaN samples, read as the low end
    const float f = (x - low) * 16383.0f / span + 0.5f;
    if (f > 16383.0f) return 0x7FFF;
    return static_cast<imtype>(static_cast<int>(f) | 0x4000);
}

}  // namespace zun
