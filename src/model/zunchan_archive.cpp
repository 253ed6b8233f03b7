// The archive record of a channel and of a boundary channel, with the older layouts they read.

#include <string>

#include "foundation/voxelarchive.h"
#include "model/zunchan.h"

namespace zun {
namespace {


// Versions at which fields entered the channel record.
constexpr std::uint32_t kKindsSwappedBefore = 486;
constexpr std::uint32_t kDataTypeFrom = 80;
constexpr std::uint32_t kAutoRenameFrom = 93;
constexpr std::uint32_t kNoteFrom = 1040;
constexpr std::uint32_t kRetainFrom = 1200;
constexpr std::uint32_t kHistVarsFrom = 1548;
constexpr std::uint32_t kScaleOffsetFrom = 1643;
constexpr std::uint32_t kOldPairBefore = 1644;
constexpr std::uint32_t kAutoAttenuationFrom = 1754;

// Bound records before this version carry fields of an older layout.
constexpr std::int32_t kBoundLegacyBefore = 486;
constexpr std::int32_t kBoundSecondValueFrom = 247;

[[noreturn]] void Refuse(const std::string& why) {
    throw ArchiveException(ArchiveException::generic, why);
}

void SerializeSlices(Archive& ar, std::vector<std::unique_ptr<Slice>>& slices) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(slices.size());
        for (const auto& s : slices) ar.WriteObject(s.get());
        return;
    }
    slices.clear();
    const std::int32_t n = ReadArchiveCount(ar);
    for (std::int32_t i = 0; i < n; ++i) {
        auto s = ar.ReadOwnedObject<Slice>();
        if (!s) Refuse("missing slice in channel record");
        slices.push_back(std::move(s));
    }
}

}  // namespace

void ZunChan::Serialize(Archive& ar) {
    ChanXd<imtype>::Serialize(ar);
    SerializeSlices(ar, slices);
    SerializeIntVector(ar, importCounts);
    SerializeIntVector(ar, colours);
    SerializeFloatVector(ar, range);
    if (ar.IsStoring()) {
        ar << kRecordStamp << name << kind << note;
        if (kind == kXrayCt) {
            ar << dataType << polychromatic << autoRename;
            filters.Serialize(ar);
            combined.Serialize(ar);
        }
        ar << rescaleByEnergy << autoAttenuation << applyScale << scaleFactor << applyZeroOffset
           << zeroOffset;
        ar << cropImages << cropX << cropY << retainImages << modified;
        compound.Serialize(ar);
        histVars.Serialize(ar);
        return;
    }

    std::uint32_t v = 0;
    ar >> v >> name >> kind;
    if (v < kKindsSwappedBefore && (kind == kComposition || kind == kXrayCt))
        kind = kind == kComposition ? kXrayCt : kComposition;
    if (v >= kNoteFrom) ar >> note;
    if (kind == kXrayCt) {
        if (v >= kDataTypeFrom) ar >> dataType;
        ar >> polychromatic;
        if (v >= kAutoRenameFrom) ar >> autoRename;
        filters.Serialize(ar);
        combined.Serialize(ar);
    }
    ar >> rescaleByEnergy;
    if (v < kOldPairBefore) {
        std::uint8_t oldFlag = 0;
        std::uint32_t oldValue = 0;
        ar >> oldFlag >> oldValue;
    }
    if (v >= kAutoAttenuationFrom) ar >> autoAttenuation;
    if (v >= kScaleOffsetFrom) ar >> applyScale >> scaleFactor >> applyZeroOffset >> zeroOffset;
    ar >> cropImages >> cropX >> cropY;
    if (v >= kRetainFrom) ar >> retainImages;
    ar >> modified;
    compound.Serialize(ar);
    if (v >= kHistVarsFrom) histVars.Serialize(ar);

    // A damaged record must not reach the voxel loops.
    if (kind < kComposition || kind > kBoundary) Refuse("channel '" + name + "' has an unknown kind");
    if (dims.size() != 3) Refuse("channel '" + name + "' is not three-dimensional");
    if (static_cast<int>(slices.size()) != nz)
        Refuse("channel '" + name + "' has a slice count unlike its planes");
    if (range.size() != 2) Refuse("channel '" + name + "' has no value range");
    if (importCounts.size() != 3) Refuse("channel '" + name + "' has a damaged import count table");
    if (colours.empty()) Refuse("channel '" + name + "' has no plot colour");
    RelinkSlices();
}

void Bound::Serialize(Archive& ar) {
    ZunChan::Serialize(ar);
    if (ar.IsStoring()) {
        ar << std::int32_t{0} << kRecordStamp;
        return;
    }
    std::vector<std::string> dropped;
    SerializeStringVector(ar, dropped);
    std::int32_t v = 0;
    ar >> v;
    if (v < kBoundLegacyBefore) {
        std::uint32_t value = 0;
        bool flag = false;
        ar >> value;
        if (v >= kBoundSecondValueFrom) ar >> value;
        ar >> flag >> flag >> value;
    }
}

}  // namespace zun
