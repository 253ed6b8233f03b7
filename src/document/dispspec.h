#pragma once
// The display specification of one item of the document tree (root, channel or slice). A plain
// core record: the tree and the 3-D view read it, the document file stores one per item.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/datcolspec.h"
#include "platform/archive.h"

namespace zun {

inline constexpr std::uint32_t kDocVersion = 2648;

// Default single colours of the three display layers.
inline constexpr std::uint32_t kDefaultDataColour = 0x0037C837;
inline constexpr std::uint32_t kDefaultRoColour = 0x000080FF;
inline constexpr std::uint32_t kDefaultErrColour = 0x008000FF;

// The default opacity setting of a channel type: [low threshold, high threshold, opacity at low,
// opacity at high].
std::vector<float> MakeDefaultOpacity(int channelType);

class DispSpec : public Serializable {
    ZUN_DECLARE_SERIAL(DispSpec)
public:
    enum Kind { kRoot = 0, kChannel = 1, kSlice = 2 };
    enum Items { kItemData = 1, kItemRo = 2, kItemErr = 4 };
    enum Columns { kColMin = 1, kColMax = 2, kColAve = 4, kColStdev = 8, kColN = 16 };

    DispSpec();
    DispSpec(std::int32_t displayItems, std::int32_t statColumns, std::int32_t kind,
             const std::vector<float>* opacity = nullptr, const DataDisplaySettings* settings = nullptr,
             std::int32_t channelType = 0, bool active = false, bool imported = false,
             std::optional<std::uint32_t> dataColour = std::nullopt);
    DispSpec(const DispSpec&) = default;
    DispSpec& operator=(const DispSpec&) = default;

    void Serialize(Archive& ar) override;
    // Makes the saved copies equal to the current fields.
    void SaveState();
    // Statistics back to "not computed".
    void ResetStatistics();

    // Every field, the saved copies and derived lists excepted.
    bool SameContent(const DispSpec& o) const;

    struct Displayed {
        std::int32_t displayItems = 0;
        std::vector<float> opacity;
        std::int32_t includeFlags = 16;
        std::int32_t maskState = 0;
        std::string maskName;
        std::int32_t colourKind = 0;
        std::vector<std::uint32_t> displayColours;
        DatcolBitSpec bitSpec;
        DatcolValueSpec valueSpec;
        DatcolMultiSpec multiSpec;
    };

    std::int32_t kind = kRoot;
    std::int32_t statColumns = 0;
    std::int32_t channelType = 0;
    std::uint8_t active = 0;
    std::uint8_t imported = 0;
    Displayed shown;  // what the item shows now
    Displayed saved;  // what it showed when the display dialog opened

    float statMin = 0, statMax = 0, statAve = 0, statStdev = 0;
    std::uint64_t statCount = 0;
    double statSum = 0, statSumSq = 0;
    std::uint8_t statStale = 1;
};

// The tree's record of one document window: the item specifications in pre-order (root, then
// each channel followed by its slices) and the tree's view option.
struct TreeRecord {
    std::vector<DispSpec> items;
    std::int32_t viewOption = 0;

    // fileVersion: the version of the file being read (older files carry one extra word).
    void Serialize(Archive& ar, std::int32_t fileVersion);
};

}  // namespace zun
