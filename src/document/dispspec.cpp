#include "document/dispspec.h"

#include <cmath>

namespace zun {

ZUN_IMPLEMENT_SERIAL(DispSpec, ::zun::Serializable, kDocVersion)

std::vector<float> MakeDefaultOpacity(int channelType) {
    const double baseLow = 0.0, baseHigh = 1.0, opacityLow = 0.0, opacityHigh = 1.0;
    int t = static_cast<int>(baseLow * 100);
    if (channelType == 0 || channelType == 1) {
        t += 5;
        t = static_cast<int>(std::min<double>(t, baseHigh * 100));
    }
    return {static_cast<float>(t / 100.0), static_cast<float>(baseHigh), static_cast<float>(opacityLow),
            static_cast<float>(opacityHigh)};
}

DispSpec::DispSpec() : DispSpec(0, 0, kRoot) {}

DispSpec::DispSpec(std::int32_t displayItems, std::int32_t statColumns_, std::int32_t kind_,
                   const std::vector<float>* opacity, const DataDisplaySettings* settings,
                   std::int32_t channelType_, bool active_, bool imported_,
                   std::optional<std::uint32_t> dataColour)
    : kind(kind_),
      statColumns(statColumns_),
      channelType(channelType_),
      active(active_),
      imported(imported_) {
    shown.displayItems = displayItems;
    shown.opacity = opacity ? *opacity : MakeDefaultOpacity(0);
    const DataDisplaySettings defaults;
    const DataDisplaySettings& s = settings ? *settings : defaults;
    shown.bitSpec.Assign(s.bitSpec);
    shown.valueSpec.Assign(s.valueSpec);
    shown.multiSpec = s.multiSpec;
    shown.displayColours = {dataColour.value_or(kDefaultDataColour), kDefaultRoColour, kDefaultErrColour};
    ResetStatistics();
    SaveState();
}

void DispSpec::SaveState() {
    saved = shown;
}

void DispSpec::ResetStatistics() {
    statMin = 3.4028235e38f;
    statMax = -3.4028235e38f;
    statAve = statStdev = 0;
    statCount = 0;
    statSum = statSumSq = 0;
    statStale = 1;
}

bool DispSpec::SameContent(const DispSpec& o) const {
    const Displayed& a = shown;
    const Displayed& b = o.shown;
    return kind == o.kind && statColumns == o.statColumns && channelType == o.channelType &&
           active == o.active && imported == o.imported && a.displayItems == b.displayItems &&
           a.opacity == b.opacity && a.includeFlags == b.includeFlags && a.maskState == b.maskState &&
           a.maskName == b.maskName && a.colourKind == b.colourKind && a.displayColours == b.displayColours &&
           a.bitSpec == b.bitSpec && a.valueSpec == b.valueSpec && a.multiSpec == b.multiSpec &&
           a.multiSpec.stopValues == b.multiSpec.stopValues &&
           a.multiSpec.stopColours == b.multiSpec.stopColours && statMin == o.statMin &&
           statMax == o.statMax && statAve == o.statAve && statStdev == o.statStdev &&
           statCount == o.statCount && statSum == o.statSum && statSumSq == o.statSumSq &&
           statStale == o.statStale;
}

void DispSpec::Serialize(Archive& ar) {
    Displayed& d = shown;
    if (ar.IsStoring()) {
        ar << kDocVersion << kind << d.displayItems << statColumns << channelType << active << imported;
        SerializeCountedVector(ar, d.opacity);
        ar << d.includeFlags << d.maskState << d.maskName;
        ar << statMin << statMax << statAve << statStdev << statCount << statSum << statSumSq << statStale;
        ar << d.colourKind;
        SerializeCountedVector(ar, d.displayColours);
        d.bitSpec.SerializeEntries(ar);
        d.valueSpec.Serialize(ar);
        d.multiSpec.Serialize(ar);
        return;
    }
    std::uint32_t stamp = 0;
    ar >> stamp >> kind >> d.displayItems >> statColumns >> channelType >> active >> imported;
    SerializeCountedVector(ar, d.opacity);
    ar >> d.includeFlags >> d.maskState >> d.maskName;
    ar >> statMin >> statMax >> statAve >> statStdev >> statCount >> statSum >> statSumSq >> statStale;
    ar >> d.colourKind;
    SerializeCountedVector(ar, d.displayColours);
    d.bitSpec.SerializeEntries(ar);
    d.valueSpec.Serialize(ar);
    d.multiSpec.Serialize(ar);
    // The readers index these directly.
    if (d.opacity.size() != 4) d.opacity.resize(4, 0.0f);
    if (d.displayColours.size() != 3) d.displayColours.resize(3, kDefaultDataColour);
    d.bitSpec.RebuildDerivedLists();
    d.valueSpec.RebuildDerivedLists();
    SaveState();
}

void TreeRecord::Serialize(Archive& ar, std::int32_t fileVersion) {
    if (ar.IsStoring()) {
        for (const DispSpec& s : items) ar.WriteObject(&s);
        ar << viewOption;
        return;
    }
    // The item count comes from the tree the document built; items holds that many entries.
    for (DispSpec& s : items) {
        auto loaded = ar.ReadOwnedObject<DispSpec>();
        if (!loaded) throw ArchiveException(ArchiveException::badClass, "missing display specification");
        s = *loaded;
    }
    if (fileVersion < 2198) {
        std::int32_t ignored = 0;
        ar >> ignored;
    }
    ar >> viewOption;
}

}  // namespace zun
