// The remote commands of the channel-value mapping tool: one opens the tool filled from the
// words, the other runs the newest one and closes it.
#include <memory>
#include <string>

#include "document/zundoc.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"
#include "tools/mapchannel.h"

namespace zun {

namespace {

// The tool as the command opened it; it works on the settings it owns.
class MapWindow : public RemoteCommandWindow {
public:
    MapWindow(CZunDoc& doc, const MapDataSpec& spec, RemoteDocWindow* window)
        : settings_(spec), tool_(doc, settings_) {
        if (window) shown_ = window->ShowMapChannelData(settings_);
    }
    int Kind() const override { return kRemoteMapWindow; }
    void Refresh() override {
        if (shown_) shown_->Refresh();
    }
    MapChannelData& Tool() { return tool_; }

private:
    MapDataSpec settings_;
    MapChannelData tool_;
    std::unique_ptr<RemoteShownWindow> shown_;  // goes first: it shows the settings
};

void SetupMapData(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    if (!doc || !in.CheckDocumentIdle(call, *doc)) return;
    const std::unique_ptr<RemoteDocWindow> window = in.CheckTreeView(call, *doc);
    if (!window || !in.CheckCommandWindowRoom(call)) return;
    const auto& w = call.words;
    const ZunImage& sample = doc->GetSample();
    MapDataSpec spec;
    spec.inputChannel = ParseIntArg(w[2]);
    spec.outputChannel = ParseIntArg(w[3]);
    const unsigned unit = ParseUIntArg(w[4]);
    // The title names both channels and the run reads them: each must exist.
    if (!sample.IsChanIndex(spec.inputChannel) || !sample.IsChanIndex(spec.outputChannel)) {
        in.Error(call, "invalid channel index");
        return;
    }
    // The unit picks one of two rule texts and value slots.
    if (unit > 1) {
        in.Error(call, "invalid input value unit");
        return;
    }
    spec.inputUnit = static_cast<std::int32_t>(unit);
    spec.matchKind = static_cast<std::int32_t>(ParseUIntArg(w[9]));
    spec.elseKind = static_cast<std::int32_t>(ParseUIntArg(w[12]));
    spec.anyOrAll = static_cast<std::int32_t>(ParseUIntArg(w[5]));
    spec.matchAction = static_cast<std::int32_t>(ParseUIntArg(w[8]));
    spec.elseAction = static_cast<std::int32_t>(ParseUIntArg(w[11]));
    // Choices outside their lists fall back to the first entry, as the window's lists do.
    if (spec.matchKind < 0 || spec.matchKind > 3) spec.matchKind = 0;
    if (spec.elseKind < 0 || spec.elseKind > 3) spec.elseKind = 0;
    if (spec.anyOrAll < 0 || spec.anyOrAll > 1) spec.anyOrAll = 0;
    if (spec.matchAction < 0 || spec.matchAction > 4) spec.matchAction = 0;
    if (spec.elseAction < 0 || spec.elseAction > 4) spec.elseAction = 0;
    const int first = sample.FirstChanOfKind(ZunChan::kBoundary);
    const unsigned boundary = ParseUIntArg(w[7]);
    spec.boundary =
        first >= 0 && boundary >= static_cast<unsigned>(first) ? boundary - static_cast<unsigned>(first) : 0;
    spec.ruleText[unit] = w[6];
    spec.matchValue[static_cast<std::size_t>(MapDataSpec::Slot(spec.matchKind, spec.inputUnit))] = w[10];
    spec.elseValue[static_cast<std::size_t>(MapDataSpec::Slot(spec.elseKind, spec.inputUnit))] = w[13];
    in.Server().PushCommandWindow(std::make_unique<MapWindow>(*doc, spec, window.get()));
    in.Ok(call);
}

void MapDataAction(RemoteInterpreter& in, const RemoteCall& call) {
    RemoteCommandWindow* top = in.Server().TopCommandWindow();
    // Another command's window on top is no map window to run.
    if (!top || top->Kind() != kRemoteMapWindow) {
        in.Error(call, "No Map Data Channel dialog found");
        return;
    }
    // The tool shows its own refusals and failures, as in the window; the controller hears them
    // too. Either way the window is used up.
    MapChannelData& tool = static_cast<MapWindow*>(top)->Tool();
    const int result = tool.Run();
    const std::string failure = result == 0 ? std::string()
                                : !tool.Failure().empty()
                                    ? tool.Failure()
                                    : "mapping finished with return code (" + std::to_string(result) + ")";
    in.Server().PopCommandWindow();
    if (!failure.empty())
        in.Error(call, failure);
    else
        in.Ok(call);
}

}  // namespace

void InstallMapCommands(RemoteInterpreter& in) {
    in.SetHandler("setup-map-mapdata", SetupMapData);
    in.SetHandler("setup-map-mapdata-action", MapDataAction);
}

}  // namespace zun
