#pragma once
// The import record of a slice: where its image came from and how the image is cut and placed in
// the plane. Combined records (several slices edited at once) hold "mixed" values where the
// slices differ.

#include <array>
#include <climits>
#include <cstdint>
#include <string>

#include "platform/archive.h"

namespace zun {

class ImportInfo : public Serializable {
    ZUN_DECLARE_SERIAL(ImportInfo)
public:
    static constexpr std::int32_t kUnset = INT_MAX;
    static constexpr std::int32_t kMixed = 2147483646;
    static constexpr float kScaleUnset = -2.0f;
    static constexpr float kScaleMixed = -1.0f;
    static constexpr const char* kPathMixed = "...";
    using Pair = std::array<std::int32_t, 2>;

    bool operator==(const ImportInfo& o) const;
    bool operator!=(const ImportInfo& o) const { return !(*this == o); }
    void Reset() { *this = ImportInfo(); }
    // Field by field: an unset field takes the other's value; differing set values become mixed.
    void Merge(const ImportInfo& other);
    void Serialize(Archive& ar) override;

    std::string path;
    std::int32_t bits = kUnset;
    Pair resolution{kUnset, kUnset};
    float scale = kScaleUnset;
    Pair cropRange{kUnset, kUnset};
    Pair cropOffset{kUnset, kUnset};
    Pair position{kUnset, kUnset};
};

// A text made of sections, each closed by the marker "<#@#>"; channels keep their import events
// and dialog settings in one.
class LogText {
public:
    static constexpr const char* kMarker = "<#@#>";
    // With a key: replaces (or, with a null text, removes) the first section containing the key.
    // Without: appends the text as a new section; a null text and no key empties the text.
    static void AppendSection(const std::string* text, std::string& sectioned, const std::string* key);
    // The first section containing the key, without its marker; false when there is none.
    static bool FindSection(const std::string& sectioned, const std::string& key, std::string& section);
};

}  // namespace zun
