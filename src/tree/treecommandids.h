#pragma once
// The command numbers of the document tree's context menus. They identify an entry wherever the
// menus are built, enabled and dispatched, and other windows register their handlers by them.

namespace zun::treecmd {

enum : int {
    // ---- document (root) popup
    kInsertCompFirst = 32823,
    kInsertCompLast = 32824,
    kInsertCtFirst = 32849,
    kInsertCtLast = 32850,
    kInsertPropFirst = 32853,
    kInsertPropLast = 32854,
    kInsertBoundFirst = 33045,
    kInsertBoundLast = 33046,
    kEditData = 32896,
    kReverseSlicesAll = 32998,
    kExportImagesAll = 33229,
    kExportOsgAll = 33171,
    kExportWebAll = 33184,
    kExportTextAll = 32868,
    kExportRgba = 33198,
    kSubtractModel = 32892,
    kSetupGrid = 33137,
    kAutosizeGrid = 32825,
    kXrayProperties = 33132,
    kEnergyPropertiesAll = 33005,
    kDiscardAll = 33126,
    kImportedPropertiesAll = 32859,
    kStatsTopLevel = 33098,
    kStatsChannelsOnly = 33099,
    kStatsAllRoot = 33100,
    kDisplayPropertiesRoot = 32827,
    kDisplayRoot = 32781,

    // ---- channel and boundary popups
    kInsertCompBefore = 32821,
    kInsertCompAfter = 32822,
    kInsertCtBefore = 32851,
    kInsertCtAfter = 32852,
    kInsertPropBefore = 32857,
    kInsertPropAfter = 32858,
    kInsertBoundBefore = 33043,
    kInsertBoundAfter = 33044,
    kDeleteChannels = 32783,
    kRenameChannel = 32894,
    kSetData = 32830,
    kReverseSlicesChan = 32996,
    kImportImagesChan = 33157,
    kImportTextChan = 32884,
    kExportImagesChan = 33230,
    kExportOsgChan = 33174,
    kExportWebChan = 33185,
    kExportTextChan = 32885,
    kAlignsWithPlaceholder = 33196,
    kAlignsWithFirst = 1095,
    kComputeGradient = 33216,
    kMapDataPlaceholder = 33204,
    kMapDataFirst = 1155,
    kMovingAverage = 33199,
    kNormalizeRange = 33200,
    kMirrorX = 33208,
    kMirrorY = 33209,
    kMirrorZ = 33211,
    kThresholdSegmentation = 33197,
    kChannelInformation = 33116,
    kCompositionProperties = 32888,
    kXrayAttenuationProperties = 32890,
    kXrayCtProperties = 32893,
    kEnergyPropertiesChan = 33004,
    kImportedPropertiesChan = 32860,
    kDiscardChan = 33128,
    kStatsChannelSelection = 33101,
    kStatsChannelSlices = 33102,
    kStatsChannelAll = 33103,
    kHistogramChan = 33124,
    kRunFillIn = 33133,
    kRunStepThrough = 33134,
    kRunFillFromTop = 33135,
    kRunFillFromRight = 33136,
    kDisplayPropertiesChan = 32828,
    kDisplayChan = 32784,
    kClearBoundary = 33066,
    kBuildBoundary = 33067,
    kTransformBoundary = 33068,
    kActiveBoundary = 33070,

    // ---- slice popup
    kInsertSliceBefore = 32819,
    kInsertSliceAfter = 32820,
    kDeleteSlices = 32785,
    kClearSlices = 32818,
    kImportImagesSlice = 32880,
    kImportTextSlice = 32886,
    kExportImagesSlice = 33231,
    kExportOsgSlice = 33177,
    kExportWebSlice = 33186,
    kExportTextSlice = 32887,
    kImportedPropertiesSlice = 32861,
    kDiscardSlice = 33127,
    kStatsSlice = 33087,
    kHistogramSlice = 33123,
    kDisplayPropertiesSlice = 32829,
    kDisplaySlice = 32786,
};

// The channel submenus offer one entry per channel, for the first 50 channels.
inline constexpr int kChannelSubmenuCap = 50;

inline bool IsAlignsWithEntry(int id) {
    return id >= kAlignsWithFirst && id < kAlignsWithFirst + kChannelSubmenuCap;
}
inline bool IsMapDataEntry(int id) {
    return id >= kMapDataFirst && id < kMapDataFirst + kChannelSubmenuCap;
}

}  // namespace zun::treecmd
