#pragma once
// What the "Data Colour" dialog shows and does, without its widgets: the colour kind of the
// data layer (one colour, one colour per data bit, a spectrum, one colour per value) and the
// values of each kind. Every change is written to the items at once through a DatcolTarget, so
// the 3-D view follows while the dialog is open; "Cancel" puts back what the items held when the
// dialog opened.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "document/datcolspec.h"

namespace zun {

// The items the dialog colours (the tree implements it over the display dialog's items).
class DatcolTarget {
public:
    virtual ~DatcolTarget() = default;
    virtual void SetColourKind(std::int32_t kind) = 0;
    virtual void SetSingleColour(std::uint32_t colour) = 0;
    virtual void SetBitSpec(const DatcolBitSpec& spec) = 0;
    virtual void SetValueSpec(const DatcolValueSpec& spec) = 0;
    virtual void SetSpectrum(const DatcolMultiSpec& spec) = 0;
    // The five colour fields back to what they held when the target was made.
    virtual void RestoreColours() = 0;
    // The views redraw the colours (update bit 16).
    virtual void Redraw() = 0;
    // The physical range of the items' channel (false when the items span several channels).
    virtual bool PhysicalRange(float& min, float& max) const = 0;
};

enum DatcolKind : std::int32_t { kDatcolSingle = 0, kDatcolBits = 1, kDatcolSpectrum = 2, kDatcolValues = 3 };

class DatcolPropsModel {
public:
    // colours: the display colours; the first is the single data colour.
    DatcolPropsModel(DatcolTarget* target, std::string title, std::int32_t kind,
                     const std::vector<std::uint32_t>& colours, const DatcolBitSpec& bits,
                     const DatcolValueSpec& values, const DatcolMultiSpec& spectrum);

    const std::string& Title() const { return title_; }
    std::int32_t Kind() const { return kind_; }
    std::uint32_t SingleColour() const { return colours_.empty() ? kMixedColour : colours_[0]; }
    const std::vector<std::uint32_t>& Colours() const { return colours_; }
    const DatcolBitSpec& BitSpec() const { return bits_; }
    const DatcolValueSpec& ValueSpec() const { return values_; }
    const DatcolMultiSpec& Spectrum() const { return spectrum_; }

    void SetColourKind(std::int32_t kind);
    void SetSingleColour(std::uint32_t colour);
    // Entry i of the per-bit (bits = true) or per-value table. A marker colour or opacity
    // leaves that part of every item as it is.
    void SetEntry(bool bits, int i, bool enabled, std::uint32_t colour, float opacity);
    // The value range the per-value colours cover, and the number format of its limits.
    void SetValueLimits(bool fromEnabled, std::uint16_t from, bool toEnabled, std::uint16_t to);
    void SetEntryFormat(std::int32_t format);
    void SetStop(int i, bool enabled, std::uint32_t colour);
    // Undoes every change on the items.
    void Cancel();

    // A value limit as the entry format shows it (0 raw, 1 normalised, 2 physical), and read
    // back; false for a text that is no number or lies outside 0..16383 once converted.
    std::string FormatLimit(std::uint16_t value) const;
    bool ParseLimit(const std::string& text, std::uint16_t& value) const;

    // The colour at a position 0..1 along the enabled stops (the preview bar).
    std::uint32_t SpectrumPreview(double at) const;

private:
    DatcolTarget* target_;
    std::string title_;
    std::int32_t kind_;
    std::vector<std::uint32_t> colours_;
    DatcolBitSpec bits_;
    DatcolValueSpec values_;
    DatcolMultiSpec spectrum_;
};

// A colour or opacity that is no real value (mixed over the items, or unset).
inline bool IsMarkerColourValue(std::uint32_t c) {
    return c == kMixedColour || c == kUnsetColour;
}

}  // namespace zun
