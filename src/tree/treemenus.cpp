#include "tree/treemenus.h"

#include <algorithm>

#include "model/sample.h"
#include "tree/displaystate.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"

namespace zun {

using namespace treecmd;

namespace {

MenuEntry Cmd(std::string text, int id, bool checkable = false) {
    MenuEntry e;
    e.text = std::move(text);
    e.command = id;
    e.checkable = checkable;
    return e;
}
MenuEntry Sep() {
    MenuEntry e;
    e.type = MenuEntry::kSeparator;
    return e;
}
MenuEntry Sub(std::string text, MenuEntries children, int placeholder = 0) {
    MenuEntry e;
    e.type = MenuEntry::kSubmenu;
    e.text = std::move(text);
    e.command = placeholder;
    e.children = std::move(children);
    return e;
}

// Insert ... Channel submenus with their two entries each.
void AddInsertChannel(MenuEntries& m, const char* a, const char* b, const int (&ids)[8]) {
    const char* kinds[4] = {"Composition", "X-ray CT", "Property", "Boundary"};
    for (int k = 0; k < 4; ++k)
        m.push_back(Sub(std::string("Insert ") + kinds[k] + " Channel",
                        {Cmd(a, ids[2 * k]), Cmd(b, ids[2 * k + 1])}));
}

MenuEntries RootEntries() {
    MenuEntries m;
    AddInsertChannel(m, "First...", "Last...",
                     {kInsertCompFirst, kInsertCompLast, kInsertCtFirst, kInsertCtLast, kInsertPropFirst,
                      kInsertPropLast, kInsertBoundFirst, kInsertBoundLast});
    m.push_back(Sep());
    m.push_back(Cmd("Setup Sample Grid...", kSetupGrid));
    m.push_back(Cmd("Autosize Grid...", kAutosizeGrid));
    m.push_back(Cmd("X-ray Properties...", kXrayProperties));
    m.push_back(Cmd("Energy Properties...", kEnergyPropertiesAll));
    m.push_back(Sep());
    m.push_back(Cmd("Edit Data...", kEditData));
    m.push_back(Cmd("Reverse Slices...", kReverseSlicesAll));
    m.push_back(Cmd("Subtract Model Data...", kSubtractModel));
    m.push_back(
        Sub("Export Data", {Cmd("2D Images...", kExportImagesAll),
                            Sub("3D Images", {Cmd("OSG...", kExportOsgAll), Cmd("Web3D...", kExportWebAll)}),
                            Cmd("Text File...", kExportTextAll), Cmd("RGBA File...", kExportRgba)}));
    m.push_back(Sep());
    m.push_back(Cmd("Imported Image Properties...", kImportedPropertiesAll));
    m.push_back(Cmd("Discard Original Imported Images...", kDiscardAll));
    m.push_back(Sep());
    m.push_back(
        Sub("Statistics List", {Cmd("Top Level Only...", kStatsTopLevel),
                                Cmd("Channels Only...", kStatsChannelsOnly), Cmd("All...", kStatsAllRoot)}));
    m.push_back(Cmd("Display Properties...", kDisplayPropertiesRoot));
    m.push_back(Cmd("Display", kDisplayRoot, true));
    return m;
}

// The entries the channel and boundary popups share at their head.
void AddChannelHead(MenuEntries& m) {
    AddInsertChannel(m, "Before...", "After...",
                     {kInsertCompBefore, kInsertCompAfter, kInsertCtBefore, kInsertCtAfter, kInsertPropBefore,
                      kInsertPropAfter, kInsertBoundBefore, kInsertBoundAfter});
    m.push_back(Cmd("Delete...", kDeleteChannels));
    m.push_back(Cmd("Rename...", kRenameChannel));
    m.push_back(Sep());
    m.push_back(Cmd("Set Data...", kSetData));
    m.push_back(Cmd("Reverse Slices...", kReverseSlicesChan));
    m.push_back(Sub("Import Data",
                    {Cmd("Image Files...", kImportImagesChan), Cmd("Text Files...", kImportTextChan)}));
    m.push_back(Sub("Export Data",
                    {Cmd("2D Images...", kExportImagesChan),
                     Sub("3D Images", {Cmd("OSG...", kExportOsgChan), Cmd("Web3D...", kExportWebChan)}),
                     Cmd("Text Files...", kExportTextChan)}));
    m.push_back(Sep());
}

// The entries the channel and boundary popups share at their tail.
void AddChannelTail(MenuEntries& m, bool boundary) {
    m.push_back(Sep());
    m.push_back(Sub("Statistics List",
                    {Cmd("Channel Selection Only...", kStatsChannelSelection),
                     Cmd("Slices Only...", kStatsChannelSlices), Cmd("All...", kStatsChannelAll)}));
    m.push_back(Cmd("Histogram...", kHistogramChan));
    if (!boundary)
        m.push_back(Sub(
            "Run animation...",
            {Cmd("Fill in...", kRunFillIn), Cmd("Step through...", kRunStepThrough),
             Cmd("Fill in from Top...", kRunFillFromTop), Cmd("Fill in from Right...", kRunFillFromRight)}));
    m.push_back(Cmd("Display Properties...", kDisplayPropertiesChan));
    m.push_back(Cmd("Display", kDisplayChan, true));
}

MenuEntries ChannelEntries() {
    MenuEntries m;
    AddChannelHead(m);
    m.push_back(Sub("Aligns with", {Cmd("(channels)", kAlignsWithPlaceholder)}, kAlignsWithPlaceholder));
    m.push_back(Cmd("Compute Gradient...", kComputeGradient));
    m.push_back(Sub("Map Channel Data to", {Cmd("(channels)", kMapDataPlaceholder)}, kMapDataPlaceholder));
    m.push_back(Cmd("Moving-volume Average", kMovingAverage));
    m.push_back(Cmd("Normalize Channel Value Range", kNormalizeRange));
    m.push_back(Sub("Mirror Reflection in",
                    {Cmd("X-axis", kMirrorX), Cmd("Y-axis", kMirrorY), Cmd("Z-axis", kMirrorZ)}));
    m.push_back(Cmd("Threshold Segmentation", kThresholdSegmentation));
    m.push_back(Sep());
    m.push_back(Cmd("Information...", kChannelInformation));
    m.push_back(Cmd("Composition Properties...", kCompositionProperties));
    m.push_back(Cmd("X-ray Attenuation Properties...", kXrayAttenuationProperties));
    m.push_back(Cmd("X-ray CT Properties...", kXrayCtProperties));
    m.push_back(Cmd("Energy Properties...", kEnergyPropertiesChan));
    m.push_back(Cmd("Imported Image Properties...", kImportedPropertiesChan));
    m.push_back(Cmd("Discard Original Imported Images...", kDiscardChan));
    AddChannelTail(m, false);
    return m;
}

MenuEntries BoundaryEntries() {
    MenuEntries m;
    AddChannelHead(m);
    m.push_back(Cmd("Compute gradient...", kComputeGradient));
    m.push_back(Sub("Map Channel Data to", {Cmd("(channels)", kMapDataPlaceholder)}, kMapDataPlaceholder));
    m.push_back(Sep());
    m.push_back(Cmd("Clear Boundary...", kClearBoundary));
    m.push_back(Cmd("Build Boundary...", kBuildBoundary));
    m.push_back(Cmd("Transform Boundary...", kTransformBoundary));
    m.push_back(Cmd("Active for Computation", kActiveBoundary, true));
    m.push_back(Sep());
    m.push_back(Cmd("Information...", kChannelInformation));
    m.push_back(Cmd("Imported Image Properties...", kImportedPropertiesChan));
    m.push_back(Cmd("Discard Original Imported Images...", kDiscardChan));
    AddChannelTail(m, true);
    return m;
}

MenuEntries SliceEntries() {
    MenuEntries m;
    m.push_back(Sub("Insert Slice", {Cmd("Before", kInsertSliceBefore), Cmd("After", kInsertSliceAfter)}));
    m.push_back(Cmd("Delete...", kDeleteSlices));
    m.push_back(Cmd("Clear Data...", kClearSlices));
    m.push_back(Sep());
    m.push_back(Sub("Import Data",
                    {Cmd("Image Files...", kImportImagesSlice), Cmd("Text Files...", kImportTextSlice)}));
    m.push_back(Sub("Export Data",
                    {Cmd("2D Images...", kExportImagesSlice),
                     Sub("3D Images", {Cmd("OSG...", kExportOsgSlice), Cmd("Web3D...", kExportWebSlice)}),
                     Cmd("Text Files...", kExportTextSlice)}));
    m.push_back(Sep());
    m.push_back(Cmd("Imported Image Properties...", kImportedPropertiesSlice));
    m.push_back(Cmd("Discard Original Imported Images...", kDiscardSlice));
    m.push_back(Sep());
    m.push_back(Cmd("Statistics List...", kStatsSlice));
    m.push_back(Cmd("Histogram...", kHistogramSlice));
    m.push_back(Cmd("Display Properties...", kDisplayPropertiesSlice));
    m.push_back(Cmd("Display", kDisplaySlice, true));
    return m;
}

void RemoveCommands(MenuEntries& m, const std::vector<int>& ids) {
    std::erase_if(m, [&](const MenuEntry& e) {
        return e.type == MenuEntry::kCommand && std::find(ids.begin(), ids.end(), e.command) != ids.end();
    });
    for (MenuEntry& e : m)
        if (e.type == MenuEntry::kSubmenu) RemoveCommands(e.children, ids);
}

void Collect(const MenuEntries& m, std::vector<const MenuEntry*>& out) {
    for (const MenuEntry& e : m) {
        if (e.type == MenuEntry::kCommand) out.push_back(&e);
        if (e.type == MenuEntry::kSubmenu) Collect(e.children, out);
    }
}

}  // namespace

TreePopup PopupOf(const TreeNode* item) {
    if (!item || item->Kind() == DispSpec::kRoot) return TreePopup::Root;
    if (item->IsSlice()) return TreePopup::Slice;
    return item->IsBoundaryChannel() ? TreePopup::Boundary : TreePopup::Channel;
}

MenuEntries PopupEntries(TreePopup popup) {
    switch (popup) {
        case TreePopup::Root:
            return RootEntries();
        case TreePopup::Channel:
            return ChannelEntries();
        case TreePopup::Slice:
            return SliceEntries();
        case TreePopup::Boundary:
            return BoundaryEntries();
    }
    return {};
}

void TrimPopup(MenuEntries& entries, TreePopup popup, const DisplayTree& tree) {
    bool imports = false;
    switch (popup) {
        case TreePopup::Root:
            imports = tree.Root() && GetImportedFlagOfSubtree(tree.Root());
            if (!imports) RemoveCommands(entries, {kImportedPropertiesAll, kDiscardAll, kAutosizeGrid});
            return;
        case TreePopup::Channel:
        case TreePopup::Boundary:
            for (const TreeNode* c : SelectedChannels(tree)) imports = imports || GetImportedFlagOfSubtree(c);
            if (!imports) RemoveCommands(entries, {kImportedPropertiesChan, kDiscardChan});
            return;
        case TreePopup::Slice:
            for (const TreeNode* s : SelectedSlices(tree)) imports = imports || s->spec.imported != 0;
            if (!imports) RemoveCommands(entries, {kImportedPropertiesSlice, kDiscardSlice});
            return;
    }
}

void FillChannelSubmenus(MenuEntries& entries, const DisplayTree& tree) {
    for (MenuEntry& e : entries) {
        if (e.type != MenuEntry::kSubmenu) continue;
        const int first = e.command == kAlignsWithPlaceholder ? kAlignsWithFirst
                          : e.command == kMapDataPlaceholder  ? kMapDataFirst
                                                              : 0;
        if (first == 0) {
            FillChannelSubmenus(e.children, tree);
            continue;
        }
        e.children.clear();
        const ZunImage* s = tree.Sample();
        const int n = s ? std::min(s->GetChanCount(), kChannelSubmenuCap) : 0;
        for (int i = 0; i < n; ++i) e.children.push_back(Cmd(s->GetChan(i)->name, first + i));
    }
}

std::vector<const MenuEntry*> CommandEntries(const MenuEntries& entries) {
    std::vector<const MenuEntry*> out;
    Collect(entries, out);
    return out;
}

std::vector<MenuEntry*> CommandEntries(MenuEntries& entries) {
    std::vector<MenuEntry*> out;
    for (const MenuEntry* e : CommandEntries(static_cast<const MenuEntries&>(entries)))
        out.push_back(const_cast<MenuEntry*>(e));
    return out;
}

const MenuEntry* FindEntry(const MenuEntries& entries, const std::vector<std::string>& path) {
    const MenuEntries* level = &entries;
    const MenuEntry* found = nullptr;
    for (const std::string& text : path) {
        found = nullptr;
        for (const MenuEntry& e : *level)
            if (e.type != MenuEntry::kSeparator && e.text == text) found = &e;
        if (!found) return nullptr;
        level = &found->children;
    }
    return found;
}

const MenuEntry* FindCommand(const MenuEntries& entries, int command) {
    for (const MenuEntry* e : CommandEntries(entries))
        if (e->command == command) return e;
    return nullptr;
}

}  // namespace zun
