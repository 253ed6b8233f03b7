#include "document/datcolprops.h"

#include <algorithm>
#include <cmath>

#include "foundation/numformat.h"

namespace zun {

namespace {
constexpr double kTopValue = 16383.0;
}

DatcolPropsModel::DatcolPropsModel(DatcolTarget* target, std::string title, std::int32_t kind,
                                   const std::vector<std::uint32_t>& colours, const DatcolBitSpec& bits,
                                   const DatcolValueSpec& values, const DatcolMultiSpec& spectrum)
    : target_(target), title_(std::move(title)), kind_(kind), colours_(colours), spectrum_(spectrum) {
    bits_.Assign(bits);
    values_.Assign(values);
}

void DatcolPropsModel::SetColourKind(std::int32_t kind) {
    if (kind < kDatcolSingle || kind > kDatcolValues) return;
    kind_ = kind;
    if (target_) {
        target_->SetColourKind(kind);
        target_->Redraw();
    }
}

void DatcolPropsModel::SetSingleColour(std::uint32_t colour) {
    if (IsMarkerColourValue(colour)) return;
    if (colours_.empty()) colours_.push_back(colour);
    colours_[0] = colour;
    if (target_) {
        target_->SetSingleColour(colour);
        target_->Redraw();
    }
}

void DatcolPropsModel::SetEntry(bool bits, int i, bool enabled, std::uint32_t colour, float opacity) {
    if (i < 0 || i >= DatcolBaseSpec::kEntries) return;
    DatcolBaseSpec& spec = bits ? static_cast<DatcolBaseSpec&>(bits_) : values_;
    const auto k = static_cast<std::size_t>(i);
    spec.enables[k] = enabled ? 1 : 0;
    spec.colours[k] = colour;
    // An opacity is a fraction; a marker stays a marker.
    spec.opacities[k] = (opacity < 0.0f) ? opacity : std::min(opacity, 1.0f);
    spec.RebuildDerivedLists();
    if (!target_) return;
    if (bits)
        target_->SetBitSpec(bits_);
    else
        target_->SetValueSpec(values_);
    target_->Redraw();
}

void DatcolPropsModel::SetValueLimits(bool fromEnabled, std::uint16_t from, bool toEnabled,
                                      std::uint16_t to) {
    values_.fromEnabled = fromEnabled ? 1 : 0;
    values_.toEnabled = toEnabled ? 1 : 0;
    values_.fromValue = std::min<std::uint16_t>(from, 16383);
    values_.toValue = std::min<std::uint16_t>(to, 16383);
    if (target_) {
        target_->SetValueSpec(values_);
        target_->Redraw();
    }
}

void DatcolPropsModel::SetEntryFormat(std::int32_t format) {
    if (format < 0 || format > 2 || format == values_.entryFormat) return;
    values_.entryFormat = format;
    if (target_) target_->SetValueSpec(values_);
}

void DatcolPropsModel::SetStop(int i, bool enabled, std::uint32_t colour) {
    if (i < 0 || i >= DatcolMultiSpec::kStops) return;
    const auto k = static_cast<std::size_t>(i);
    spectrum_.enables[k] = enabled ? 1 : 0;
    spectrum_.colours[k] = colour;
    DataDisplaySpreadColourStops(spectrum_, 0, 16383);
    if (target_) {
        target_->SetSpectrum(spectrum_);
        target_->Redraw();
    }
}

void DatcolPropsModel::Cancel() {
    if (!target_) return;
    target_->RestoreColours();
    target_->Redraw();
}

std::string DatcolPropsModel::FormatLimit(std::uint16_t value) const {
    float min = 0, max = 0;
    switch (values_.entryFormat) {
        case 1:
            return FormatReal(-1, value / kTopValue, "%g");
        case 2:
            if (target_ && target_->PhysicalRange(min, max))
                return FormatReal(-1, min + (max - min) * (value / kTopValue), "%g");
            [[fallthrough]];
        default:
            return FormatInt(value, "%d");
    }
}

bool DatcolPropsModel::ParseLimit(const std::string& text, std::uint16_t& value) const {
    double v = 0;
    if (ScanString(text, "%lg", &v) != 0 || !std::isfinite(v)) return false;
    float min = 0, max = 0;
    double raw = v;
    if (values_.entryFormat == 1) {
        raw = v * kTopValue;
    } else if (values_.entryFormat == 2 && target_ && target_->PhysicalRange(min, max)) {
        if (max == min) return false;
        raw = (v - min) / (max - min) * kTopValue;
    }
    raw = std::floor(raw + 0.5);
    if (raw < 0 || raw > kTopValue) return false;
    value = static_cast<std::uint16_t>(raw);
    return true;
}

std::uint32_t DatcolPropsModel::SpectrumPreview(double at) const {
    std::vector<std::uint32_t> stops;
    for (int i = 0; i < DatcolMultiSpec::kStops; ++i)
        if (spectrum_.enables[static_cast<std::size_t>(i)] &&
            !IsMarkerColourValue(spectrum_.colours[static_cast<std::size_t>(i)]))
            stops.push_back(spectrum_.colours[static_cast<std::size_t>(i)]);
    if (stops.empty()) return 0;
    if (stops.size() == 1) return stops[0];
    const double x = std::clamp(at, 0.0, 1.0) * static_cast<double>(stops.size() - 1);
    const std::size_t k = std::min(static_cast<std::size_t>(x), stops.size() - 2);
    const double t = x - static_cast<double>(k);
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double a = (stops[k] >> shift) & 0xFF, b = (stops[k + 1] >> shift) & 0xFF;
        out |= static_cast<std::uint32_t>(std::lround(a + (b - a) * t)) << shift;
    }
    return out;
}

}  // namespace zun
