#include "tree/treerules.h"

#include "document/zundoc.h"
#include "tools/toolsupport.h"
#include "tree/displaystate.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"

namespace zun {

using namespace treecmd;

namespace {

int KindAt(const std::vector<int>& kinds, int i) {
    return kinds[static_cast<std::size_t>(i)];
}
bool FirstOfKind(const std::vector<int>& kinds, int i) {
    return i == 0 || KindAt(kinds, i - 1) != KindAt(kinds, i);
}
bool LastOfKind(const std::vector<int>& kinds, int i) {
    return i + 1 == static_cast<int>(kinds.size()) || KindAt(kinds, i + 1) != KindAt(kinds, i);
}

std::vector<int> ChannelKinds(const ZunImage& s) {
    std::vector<int> kinds;
    for (int i = 0; i < s.GetChanCount(); ++i) kinds.push_back(s.GetChan(i)->kind);
    return kinds;
}

int IndexOf(const DisplayTree& tree, const TreeNode* channel) {
    return channel && tree.Sample() ? tree.Sample()->FindChanIndex(DisplayTree::GetItemName(channel)) : -1;
}

bool ShowsStats(const TreeNode* n) {
    return n->spec.statColumns != 0;
}
bool SliceShowsStats(const TreeNode* channel) {
    for (const auto& s : channel->children)
        if (ShowsStats(s.get())) return true;
    return false;
}

struct Facts {
    const TreeCommandEnv& env;
    TreeItems channels;  // selected, tree order
    TreeItems slices;
    bool running;
    bool busy;        // a run or a tool step may still touch the channels
    bool dialogOpen;  // any of the document's property dialogs or the tree's display dialog

    explicit Facts(const TreeCommandEnv& e)
        : env(e),
          channels(SelectedChannels(e.tree)),
          slices(SelectedSlices(e.tree)),
          running(e.doc.GetModel().GetState() == kRunning),
          busy(ComputationBusy(e.doc)),
          dialogOpen(e.doc.AnyPropertyDialogOpen() || e.displayPropertiesOpen) {}

    bool Open(CZunDoc::PropertyDialog d) const {
        return env.doc.propertyDialogOpen[static_cast<std::size_t>(d)];
    }
    bool OneChannel() const { return channels.size() == 1; }
    int FirstType() const { return channels.empty() ? -1 : channels.front()->spec.channelType; }
    bool AllOfType(int type) const {
        for (const TreeNode* c : channels)
            if (c->spec.channelType != type) return false;
        return true;
    }
    bool AnyChannelImports() const {
        for (const TreeNode* c : channels)
            if (GetImportedFlagOfSubtree(c)) return true;
        return false;
    }
    bool AnySliceImports() const {
        for (const TreeNode* s : slices)
            if (s->spec.imported) return true;
        return false;
    }
    bool SlicesOfOneChannel() const {
        if (slices.empty()) return false;
        for (const TreeNode* s : slices)
            if (s->parent != slices.front()->parent) return false;
        return true;
    }
    bool InsertBefore(int kind) const {
        if (running || dialogOpen || channels.empty() || !env.tree.Sample()) return false;
        return InsertBeforeAllowed(ChannelKinds(*env.tree.Sample()), IndexOf(env.tree, channels.front()),
                                   kind);
    }
    bool InsertAfter(int kind) const {
        if (running || dialogOpen || channels.empty() || !env.tree.Sample()) return false;
        return InsertAfterAllowed(ChannelKinds(*env.tree.Sample()), IndexOf(env.tree, channels.back()), kind);
    }
    // Root statistics lists.
    bool TopLevelStats() const {
        const TreeNode* root = env.tree.Root();
        if (!root || !ShowsStats(root)) return false;
        for (const auto& c : root->children)
            if (ShowsStats(c.get()) && (c->row == 0 || c->spec.channelType != 0)) return false;
        return true;
    }
    bool ChannelStats() const {
        const TreeNode* root = env.tree.Root();
        if (!root) return false;
        for (const auto& c : root->children)
            if (ShowsStats(c.get())) return true;
        return false;
    }
    bool SelectedChannelStats() const {
        for (const TreeNode* c : channels)
            if (ShowsStats(c)) return true;
        return false;
    }
    bool SelectedChannelSliceStats() const {
        for (const TreeNode* c : channels)
            if (SliceShowsStats(c)) return true;
        return false;
    }
};

}  // namespace

bool InsertBeforeAllowed(const std::vector<int>& kinds, int i, int t) {
    if (i <= 0 || i >= static_cast<int>(kinds.size())) return false;
    const int type = KindAt(kinds, i);
    if (type == t) return true;
    return t < type && FirstOfKind(kinds, i) && KindAt(kinds, i - 1) <= t;
}

bool InsertAfterAllowed(const std::vector<int>& kinds, int i, int t) {
    if (i < 0 || i >= static_cast<int>(kinds.size())) return false;
    const int u = KindAt(kinds, i);
    if (u == t) return true;
    return u < t && LastOfKind(kinds, i) &&
           (i + 1 == static_cast<int>(kinds.size()) || KindAt(kinds, i + 1) >= t);
}

std::optional<bool> TreeEnableRule(int id, const TreeCommandEnv& env) {
    const Facts f(env);
    const bool idle = !f.running;
    const bool noDisplayDialog = !env.displayPropertiesOpen;
    const bool importedClosed = !f.Open(CZunDoc::kImportedImageDialog);
    if (IsAlignsWithEntry(id) || IsMapDataEntry(id)) {
        // Both edit voxels on this thread while the dialog is open.
        if (f.busy) return false;
        const int base = IsAlignsWithEntry(id) ? kAlignsWithFirst : kMapDataFirst;
        return f.channels.empty() || IndexOf(env.tree, f.channels.front()) != id - base;
    }
    switch (id) {
        // ---- root
        case kExportImagesAll:
            return idle;
        case kImportedPropertiesAll:
            return idle && importedClosed && env.tree.Root() && GetImportedFlagOfSubtree(env.tree.Root());
        case kStatsTopLevel:
            return noDisplayDialog && f.TopLevelStats();
        case kStatsChannelsOnly:
            return noDisplayDialog && f.ChannelStats();
        case kStatsAllRoot:
            return noDisplayDialog && f.TopLevelStats() && f.ChannelStats();
        case kDisplayPropertiesRoot:
        case kDisplayPropertiesChan:
        case kDisplayPropertiesSlice:
        case kDisplayRoot:
        case kDisplayChan:
        case kDisplaySlice:
            return noDisplayDialog;

        // ---- channels
        case kInsertCompBefore:
            return f.InsertBefore(0);
        case kInsertCtBefore:
            return f.InsertBefore(1);
        case kInsertPropBefore:
            return f.InsertBefore(2);
        case kInsertBoundBefore:
            return f.InsertBefore(3);
        case kInsertCompAfter:
            return f.InsertAfter(0);
        case kInsertCtAfter:
            return f.InsertAfter(1);
        case kInsertPropAfter:
            return f.InsertAfter(2);
        case kInsertBoundAfter:
            return f.InsertAfter(3);
        case kDeleteChannels:
            return idle && !f.dialogOpen;
        case kRenameChannel:
            return idle && f.OneChannel() && !f.dialogOpen;
        // The document's own editing commands are not run under a computation.
        case kInsertCompFirst:
        case kInsertCompLast:
        case kInsertCtFirst:
        case kInsertCtLast:
        case kInsertPropFirst:
        case kInsertPropLast:
        case kInsertBoundFirst:
        case kInsertBoundLast:
        case kEditData:
        case kReverseSlicesAll:
        case kExportTextAll:
        case kSubtractModel:
        case kSetupGrid:
        case kAutosizeGrid:
        case kSetData:
        case kReverseSlicesChan:
        case kExportImagesChan:
        case kExportOsgChan:
        case kExportTextChan:
        case kExportImagesSlice:
        case kExportOsgSlice:
        case kExportTextSlice:
        case kClearBoundary:
        case kBuildBoundary:
        case kTransformBoundary:
            return idle;
        case kImportImagesChan:
            return f.OneChannel() && idle && importedClosed;
        case kImportTextChan:
        case kImportTextSlice:
        case kClearSlices:
            return idle && importedClosed;
        case kComputeGradient:
            return env.tree.Sample() && env.tree.Sample()->GetChanCount() > 1;
        case kThresholdSegmentation:
            return idle && f.OneChannel() &&
                   ((f.FirstType() == 1 && !f.Open(CZunDoc::kXrayCtDialog)) || f.FirstType() == 2);
        case kMovingAverage:
        case kNormalizeRange:
            return idle && f.OneChannel();
        case kChannelInformation:
            return idle && !f.Open(CZunDoc::kChannelInformationDialog) && f.OneChannel();
        case kCompositionProperties:
            return idle && !f.Open(CZunDoc::kCompositionDialog) && f.OneChannel() && f.FirstType() == 0;
        case kXrayAttenuationProperties:
            return !f.Open(CZunDoc::kXrayAttenuationDialog) && !f.channels.empty() && f.AllOfType(0);
        case kXrayCtProperties:
            return idle && !f.Open(CZunDoc::kXrayCtDialog) && f.OneChannel() && f.FirstType() == 1;
        case kEnergyPropertiesChan:
            return !f.channels.empty() && f.AllOfType(0);
        case kImportedPropertiesChan:
            return idle && importedClosed && f.AnyChannelImports();
        case kDiscardChan:
            return f.AnyChannelImports();
        case kStatsChannelSelection:
            return noDisplayDialog && f.SelectedChannelStats();
        case kStatsChannelSlices:
            return noDisplayDialog && f.SelectedChannelSliceStats();
        case kStatsChannelAll:
            return noDisplayDialog && !f.channels.empty() && f.channels.front()->HasChildren() &&
                   (f.SelectedChannelStats() || f.SelectedChannelSliceStats());
        case kHistogramChan:
            return f.OneChannel();
        case kRunFillIn:
        case kRunStepThrough:
        case kRunFillFromTop:
        case kRunFillFromRight:
            return !env.runAnimationRunning;
        case kActiveBoundary:
            return idle && f.OneChannel();

        // ---- slices
        case kInsertSliceBefore:
        case kInsertSliceAfter:
        case kDeleteSlices:
            return idle && noDisplayDialog && importedClosed;
        case kImportImagesSlice:
            return f.SlicesOfOneChannel() && idle && importedClosed;
        case kImportedPropertiesSlice:
            return idle && importedClosed && f.AnySliceImports();
        case kDiscardSlice:
            return f.AnySliceImports();
        case kStatsSlice: {
            if (!noDisplayDialog) return false;
            for (const TreeNode* s : f.slices)
                if (ShowsStats(s)) return true;
            return false;
        }
        case kHistogramSlice:
            return f.SlicesOfOneChannel();
        default:
            return std::nullopt;
    }
}

std::optional<bool> TreeCheckedRule(int id, const TreeCommandEnv& env) {
    switch (id) {
        case kDisplayRoot:
            return env.tree.Root() && env.tree.Root()->spec.shown.displayItems != 0;
        case kDisplayChan:
            return AnySelectedChannelDisplayed(env.tree);
        case kDisplaySlice:
            return AnySelectedSliceDisplayed(env.tree);
        case kActiveBoundary:
            for (const TreeNode* c : SelectedChannels(env.tree))
                if (c->spec.active) return true;
            return false;
        default:
            return std::nullopt;
    }
}

}  // namespace zun
