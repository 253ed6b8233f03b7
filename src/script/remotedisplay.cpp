// The remote commands of the display state: the tree's items of one channel changed directly,
// as the tree's menus do, and the Display Properties and Data Colour dialogs driven through
// their presenters, as a user at their controls would.
#include <array>
#include <memory>

#include "document/datcolprops.h"
#include "document/zundoc.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"
#include "tree/datcoltarget.h"
#include "tree/displayprops.h"
#include "tree/displaystate.h"
#include "tree/displaytree.h"

namespace zun {

namespace {

// The statistics bits of the command's statistics index.
constexpr std::array<std::int32_t, 5> kStatsIndexBits{4, 8, 2, 1, 16};
constexpr unsigned kViewDisplayItems = 8;
constexpr unsigned kViewColours = 16;
constexpr unsigned kViewMask = 128;

std::int32_t ColourKindOf(unsigned number) {
    switch (number) {
        case 1:
        case 2:
        case 3:
            return static_cast<std::int32_t>(number);
        case 4:
            return kKindUnset;
        case 5:
            return kKindMixed;
        default:
            return 0;
    }
}

// The Display Properties dialog opened by a command, over its window's tree.
class DisplayPropsWindow : public RemoteCommandWindow {
public:
    DisplayPropsWindow(std::unique_ptr<RemoteDocWindow> window, TreeItems items)
        : window_(std::move(window)), model_(*window_->Tree(), std::move(items), window_.get()) {
        model_.title = kDisplayPropertiesTitle;
        shown_ = window_->ShowDisplayProperties(model_);
    }
    int Kind() const override { return kRemoteDisplayPropsWindow; }
    void Refresh() override {
        if (shown_ && window_->Tree()) shown_->Refresh();
    }
    // Null once the document window (and with it the items) has gone.
    DisplayPropsModel* Model() { return window_->Tree() ? &model_ : nullptr; }
    RemoteDocWindow& Window() { return *window_; }

private:
    std::unique_ptr<RemoteDocWindow> window_;
    DisplayPropsModel model_;
    std::unique_ptr<RemoteShownWindow> shown_;  // goes first: it shows the model
};

// The Data Colour dialog opened over the Display Properties dialog below it.
class DataColourWindow : public RemoteCommandWindow {
public:
    DataColourWindow(RemoteDocWindow& window, DisplayPropsModel& props)
        : target_(*window.Tree(), props.Items(), [&window](unsigned bits) { window.UpdateView(bits); }),
          model_(&target_, props.DataColourTitle(), props.ColourKind(),
                 {props.DisplayColours().begin(), props.DisplayColours().end()}, props.BitSpec(),
                 props.ValueSpec(), props.Spectrum()) {
        shown_ = window.ShowDataColour(model_);
    }
    int Kind() const override { return kRemoteDataColourWindow; }
    void Refresh() override {
        if (shown_) shown_->Refresh();
    }
    DatcolPropsModel& Model() { return model_; }

private:
    TreeDatcolTarget target_;
    DatcolPropsModel model_;
    std::unique_ptr<RemoteShownWindow> shown_;  // goes first: it shows the model
};

struct ChannelItem {
    std::unique_ptr<RemoteDocWindow> window;
    CZunDoc* doc = nullptr;
    TreeItems items;
};

// Common to the "chan" commands: the document, its tree view and the channel's item.
bool FindChannelItem(RemoteInterpreter& in, const RemoteCall& call, ChannelItem& out) {
    out.doc = in.CheckCommandDocument(call, call.words[1]);
    if (!out.doc) return false;
    out.window = in.CheckTreeView(call, *out.doc);
    if (!out.window) return false;
    const unsigned index = ParseUIntArg(call.words[2]);
    const ZunImage& sample = out.doc->GetSample();
    TreeNode* node = nullptr;
    if (index < static_cast<unsigned>(sample.GetChanCount()))
        node = out.window->Tree()->FindChannel(sample.GetChanNameCStr(static_cast<int>(index)));
    if (!node) {
        in.Error(call, "invalid channel index");
        return false;
    }
    out.items = {node};
    return true;
}

// The statistics of the item recomputed and its labels refreshed, as a statistics hint does.
void RecomputeStatistics(ChannelItem& c) {
    std::set<TreeItemId> ids;
    for (TreeNode* n : c.items) ids.insert(n);
    c.window->UpdateTreeStats(ids);
}

void ChanDisplay(RemoteInterpreter& in, const RemoteCall& call) {
    ChannelItem c;
    if (!FindChannelItem(in, call, c)) return;
    const unsigned item = ParseUIntArg(call.words[3]);
    const std::int32_t bit = item == 1 ? 2 : item == 2 ? 4 : 1;
    DisplayTree& tree = *c.window->Tree();
    std::int32_t v = DisplayItemsFamily::GetOfItems(c.items);
    v = ParseBoolArg(call.words[4]) ? (v | bit) : (v & ~bit);
    DisplayItemsFamily::SetOfItems(tree, c.items, v);
    DisplayItemsFamily::UpdateAncestorOfItems(tree, c.items);
    if (ParseBoolArg(call.words[5])) c.window->UpdateView(kViewDisplayItems);
    in.Ok(call);
}

void ChanStats(RemoteInterpreter& in, const RemoteCall& call) {
    ChannelItem c;
    if (!FindChannelItem(in, call, c)) return;
    unsigned index = ParseUIntArg(call.words[3]);
    if (index > 4) index = 0;
    const std::int32_t bit = kStatsIndexBits[index];
    DisplayTree& tree = *c.window->Tree();
    std::int32_t v = StatsItemsFamily::GetOfItems(c.items);
    v = ParseBoolArg(call.words[4]) ? (v | bit) : (v & ~bit);
    StatsItemsFamily::SetOfItems(tree, c.items, v);
    StatsItemsFamily::UpdateAncestorOfItems(tree, c.items);
    if (ParseBoolArg(call.words[5])) RecomputeStatistics(c);
    in.Ok(call);
}

// The name of the boundary channel the index names, or false (with the error replied).
bool BoundaryName(RemoteInterpreter& in, const RemoteCall& call, const CZunDoc& doc, const std::string& word,
                  std::string& name) {
    const unsigned index = ParseUIntArg(word);
    const ZunImage& sample = doc.GetSample();
    // The dialog offers boundary channels only: another kind's words are no mask.
    if (index >= static_cast<unsigned>(sample.GetChanCount()) ||
        sample.GetChan(static_cast<int>(index))->kind != ZunChan::kBoundary) {
        in.Error(call, "invalid boundary channel index");
        return false;
    }
    name = sample.GetChanNameCStr(static_cast<int>(index));
    return true;
}

void ChanBoundary(RemoteInterpreter& in, const RemoteCall& call) {
    ChannelItem c;
    if (!FindChannelItem(in, call, c)) return;
    const bool on = ParseBoolArg(call.words[4]);
    std::string name;
    if (on && !BoundaryName(in, call, *c.doc, call.words[3], name)) return;
    DisplayTree& tree = *c.window->Tree();
    BoundaryMaskValue mask = BoundaryMaskFamily::GetOfItems(c.items);
    mask.state = on ? 1 : 0;
    if (on) mask.name = name;
    BoundaryMaskFamily::SetOfItems(tree, c.items, mask);
    BoundaryMaskFamily::UpdateAncestorOfItems(tree, c.items);
    if (ParseBoolArg(call.words[5])) {
        RecomputeStatistics(c);
        c.window->UpdateView(kViewMask);
    }
    in.Ok(call);
}

// Sets the colour kind of the items and writes back the colours of that kind they hold (the
// items' common value where they differ).
template <class Family>
void SetColourKindKeeping(DisplayTree& tree, const TreeItems& items, std::int32_t kind) {
    const auto colours = Family::GetOfItems(items);
    ColourKindFamily::SetOfItems(tree, items, kind);
    Family::SetOfItems(tree, items, colours);
    Family::UpdateAncestorOfItems(tree, items);
}

void ChanColourData(RemoteInterpreter& in, const RemoteCall& call) {
    ChannelItem c;
    if (!FindChannelItem(in, call, c)) return;
    const std::int32_t kind = ColourKindOf(ParseUIntArg(call.words[3]));
    DisplayTree& tree = *c.window->Tree();
    switch (kind) {
        case 1:
            SetColourKindKeeping<BitColoursFamily>(tree, c.items, kind);
            break;
        case 2:
            SetColourKindKeeping<ColourSpectrumFamily>(tree, c.items, kind);
            break;
        case 3:
            SetColourKindKeeping<ValueColoursFamily>(tree, c.items, kind);
            break;
        case 0: {
            DataColourField::Value colours = DataColourFamily::GetOfItems(c.items);
            ColourKindFamily::SetOfItems(tree, c.items, 0);
            colours[0] = ParseUIntArg(call.words[5]);
            DataColourFamily::SetOfItems(tree, c.items, colours);
            DataColourFamily::UpdateAncestorOfItems(tree, c.items);
            break;
        }
        default:
            // The two markers are no colour kind: the items keep theirs.
            ColourKindFamily::SetOfItems(tree, c.items, kind);
            break;
    }
    ColourKindFamily::UpdateAncestorOfItems(tree, c.items);
    if (ParseBoolArg(call.words[4])) c.window->UpdateView(kViewColours);
    in.Ok(call);
}

void Open(RemoteInterpreter& in, const RemoteCall& call) {
    ChannelItem c;
    if (!FindChannelItem(in, call, c) || !in.CheckCommandWindowRoom(call)) return;
    in.Server().PushCommandWindow(std::make_unique<DisplayPropsWindow>(std::move(c.window), c.items));
    in.Ok(call);
}

// The Display Properties dialog on top of the stack, or null with the error replied.
DisplayPropsWindow* TopDisplayProps(RemoteInterpreter& in, const RemoteCall& call) {
    if (!in.CheckCommandDocument(call, call.words[1])) return nullptr;
    RemoteCommandWindow* top = in.Server().TopCommandWindow();
    auto* w =
        top && top->Kind() == kRemoteDisplayPropsWindow ? static_cast<DisplayPropsWindow*>(top) : nullptr;
    if (!w || !w->Model()) {
        in.Error(call, "No display property dialog found");
        return nullptr;
    }
    return w;
}

DataColourWindow* TopDataColour(RemoteInterpreter& in, const RemoteCall& call) {
    if (!in.CheckCommandDocument(call, call.words[1])) return nullptr;
    RemoteCommandWindow* top = in.Server().TopCommandWindow();
    if (!top || top->Kind() != kRemoteDataColourWindow) {
        in.Error(call, "No display property dialog found");
        return nullptr;
    }
    return static_cast<DataColourWindow*>(top);
}

void Close(RemoteInterpreter& in, const RemoteCall& call) {
    if (!in.CheckCommandDocument(call, call.words[1])) return;
    if (in.Server().HasNoCommandWindows()) {
        in.Error(call, "No display property dialog found");
        return;
    }
    // Whatever is on top goes, unapplied: the set commands applied their changes already.
    in.Server().PopCommandWindow();
    in.Ok(call);
}

void OpenSetDisplay(RemoteInterpreter& in, const RemoteCall& call) {
    DisplayPropsWindow* w = TopDisplayProps(in, call);
    if (!w) return;
    const unsigned box = ParseUIntArg(call.words[2]);
    if (box <= 2) w->Model()->ClickDisplay(static_cast<int>(box), ParseBoolArg(call.words[3]));
    in.Ok(call);
}

void OpenSetStatistics(RemoteInterpreter& in, const RemoteCall& call) {
    DisplayPropsWindow* w = TopDisplayProps(in, call);
    if (!w) return;
    const unsigned box = ParseUIntArg(call.words[2]);
    if (box <= 4) w->Model()->ClickStats(static_cast<int>(box), ParseBoolArg(call.words[3]));
    in.Ok(call);
}

void OpenSetBoundary(RemoteInterpreter& in, const RemoteCall& call) {
    DisplayPropsWindow* w = TopDisplayProps(in, call);
    if (!w) return;
    CZunDoc* doc = in.FindDocumentByName(call.words[1]);
    const bool on = ParseBoolArg(call.words[2]);
    std::string name;
    if (on && !BoundaryName(in, call, *doc, call.words[3], name)) return;
    DisplayPropsModel& m = *w->Model();
    DisplayTree& tree = *w->Window().Tree();
    BoundaryMaskValue mask = m.Mask();
    mask.state = on ? 1 : 0;
    if (on) mask.name = name;
    BoundaryMaskFamily::SetOfItems(tree, m.Items(), mask);
    BoundaryMaskFamily::UpdateAncestorOfItems(tree, m.Items());
    m.FillBoundaryMaskCombo();
    w->Window().UpdateTreeStats(m.ItemSet());
    w->Window().UpdateView(kViewMask);
    in.Ok(call);
}

void ColourDataOpen(RemoteInterpreter& in, const RemoteCall& call) {
    DisplayPropsWindow* w = TopDisplayProps(in, call);
    if (!w || !in.CheckCommandWindowRoom(call)) return;
    in.Server().PushCommandWindow(std::make_unique<DataColourWindow>(w->Window(), *w->Model()));
    in.Ok(call);
}

void ColourDataClose(RemoteInterpreter& in, const RemoteCall& call) {
    DataColourWindow* c = TopDataColour(in, call);
    if (!c) return;
    const DatcolPropsModel& m = c->Model();
    const std::int32_t kind = m.Kind();
    const std::uint32_t single = m.SingleColour();
    const DatcolBitSpec bits = m.BitSpec();
    const DatcolValueSpec values = m.ValueSpec();
    const DatcolMultiSpec spectrum = m.Spectrum();
    in.Server().PopCommandWindow();
    RemoteCommandWindow* below = in.Server().TopCommandWindow();
    if (below && below->Kind() == kRemoteDisplayPropsWindow) {
        auto* props = static_cast<DisplayPropsWindow*>(below);
        if (DisplayPropsModel* p = props->Model()) {
            std::array<std::uint32_t, 3> shown = p->DisplayColours();
            shown[0] = single;
            p->ApplyDataColour(kind, shown, bits, values, spectrum);
        }
    }
    in.Ok(call);
}

void ColourDataSetType(RemoteInterpreter& in, const RemoteCall& call) {
    DataColourWindow* c = TopDataColour(in, call);
    if (!c) return;
    const std::int32_t kind = ColourKindOf(ParseUIntArg(call.words[2]));
    // The dialog's kind choices are the four real kinds; a marker leaves it as it is.
    if (kind >= 0) c->Model().SetColourKind(kind);
    in.Ok(call);
}

void ColourDataSetColour(RemoteInterpreter& in, const RemoteCall& call) {
    DataColourWindow* c = TopDataColour(in, call);
    if (!c) return;
    c->Model().SetSingleColour(ParseUIntArg(call.words[2]));
    in.Ok(call);
}

}  // namespace

void InstallDisplayCommands(RemoteInterpreter& in) {
    in.SetHandler("displayprop-open", Open);
    in.SetHandler("displayprop-close", Close);
    in.SetHandler("displayprop-chan-display", ChanDisplay);
    in.SetHandler("displayprop-open-setdisplay", OpenSetDisplay);
    in.SetHandler("displayprop-chan-stats", ChanStats);
    in.SetHandler("displayprop-open-setstatistics", OpenSetStatistics);
    in.SetHandler("displayprop-chan-boundary", ChanBoundary);
    in.SetHandler("displayprop-open-setboundary", OpenSetBoundary);
    in.SetHandler("displayprop-chan-colourdata", ChanColourData);
    in.SetHandler("displayprop-open-colourdata-open", ColourDataOpen);
    in.SetHandler("displayprop-open-colourdata-close", ColourDataClose);
    in.SetHandler("displayprop-open-colourdata-open-settype", ColourDataSetType);
    in.SetHandler("displayprop-open-colourdata-open-setcolor", ColourDataSetColour);
}

}  // namespace zun
