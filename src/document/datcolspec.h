#pragma once
// Data-colour specifications of a tree item's data layer: one colour per data bit, one colour per
// data value, and a colour spectrum. Colours are 0x00BBGGRR.

#include <array>
#include <cstdint>
#include <vector>

namespace zun {

class Archive;

inline constexpr std::uint32_t kUnsetColour = 0x7FFFFFFF;
inline constexpr std::uint32_t kMixedColour = 0xFFFFFFFF;
inline constexpr float kUnsetOpacity = -0.1f;
inline constexpr float kMixedOpacity = -0.2f;

// The colour of palette entry i (18 entries, repeating).
std::uint32_t DatcolPaletteColour(int i);

class DatcolBaseSpec {
public:
    static constexpr int kEntries = 14;

    DatcolBaseSpec();  // every entry unset
    virtual ~DatcolBaseSpec() = default;
    DatcolBaseSpec(const DatcolBaseSpec&) = default;
    DatcolBaseSpec& operator=(const DatcolBaseSpec&) = default;

    // The derived lists take no part in the comparison.
    virtual bool IsEqual(const DatcolBaseSpec& other) const;
    bool operator==(const DatcolBaseSpec& other) const { return IsEqual(other); }
    bool operator!=(const DatcolBaseSpec& other) const { return !IsEqual(other); }
    virtual void Assign(const DatcolBaseSpec& other);
    // Every entry enabled, palette colour i, opacity 1.
    virtual void AssignDefault();
    // The colours and opacities of the enabled entries, in index order.
    virtual void RebuildDerivedLists();
    virtual bool HasUnsetEntry() const;

    // The three entry lists as the document file holds them.
    void SerializeEntries(Archive& ar);

    std::array<std::uint8_t, kEntries> enables{};
    std::array<std::uint32_t, kEntries> colours{};
    std::array<float, kEntries> opacities{};
    std::vector<std::uint32_t> enabledColours;
    std::vector<float> enabledOpacities;
};

class DatcolBitSpec : public DatcolBaseSpec {};

class DatcolValueSpec : public DatcolBaseSpec {
public:
    bool IsEqual(const DatcolBaseSpec& other) const override;
    void Assign(const DatcolBaseSpec& other) override;
    void Serialize(Archive& ar);

    std::uint8_t fromEnabled = 0;
    std::uint8_t toEnabled = 0;
    std::uint16_t fromValue = 1;
    std::uint16_t toValue = 16383;
    std::int32_t entryFormat = 0;  // 0 raw, 1 normalised, 2 physical
};

class DatcolMultiSpec {
public:
    static constexpr int kStops = 6;

    DatcolMultiSpec();  // every stop unset, lists empty
    // The stops take part; the compact lists do not.
    bool operator==(const DatcolMultiSpec& other) const;
    bool operator!=(const DatcolMultiSpec& other) const { return !(*this == other); }
    // Blue, cyan, green, yellow, orange, red, all enabled, spread over 0..16383.
    void AssignDefault();
    void Serialize(Archive& ar);

    std::array<std::uint8_t, kStops> enables{};
    std::array<std::uint32_t, kStops> colours{};
    std::vector<std::uint16_t> stopValues;
    std::vector<std::uint32_t> stopColours;
};

// Rebuilds the spectrum's compact lists over the voxel values from..to.
void DataDisplaySpreadColourStops(DatcolMultiSpec& spec, unsigned from, unsigned to);

// The data-display settings a new tree item takes its colours from (the preferences' section).
struct DataDisplaySettings {
    DataDisplaySettings();  // the program-wide defaults
    std::int32_t type = 0;
    std::uint32_t colour = 0x37C837;
    DatcolBitSpec bitSpec;
    DatcolValueSpec valueSpec;
    DatcolMultiSpec multiSpec;
};

// Archive helpers: a uint32 count and the bytes; an int32 count and the elements. Loading reads in
// pieces so that a damaged count ends in an end-of-file error, not in a huge allocation.
void WriteByteVector(Archive& ar, const std::vector<std::uint8_t>& bytes);
void ReadByteVector(Archive& ar, std::vector<std::uint8_t>& bytes);
template <class T>
void SerializeCountedVector(Archive& ar, std::vector<T>& v);

}  // namespace zun
