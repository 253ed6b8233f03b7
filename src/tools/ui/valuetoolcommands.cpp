#include "tools/ui/valuetoolcommands.h"

#include <memory>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/mapchannel.h"
#include "tools/thresholdseg.h"
#include "tools/toolsupport.h"
#include "tools/ui/mapchanneldialog.h"
#include "tools/ui/setdatadialogui.h"
#include "tools/ui/thresholddialog.h"

namespace zun {

namespace {

struct ValueToolState {
    CThresholdSegmentation threshold;
    MapDataSpec map;
};

}  // namespace

ValueToolCommands MakeValueToolCommands(CZunDoc& doc, QWidget* parent,
                                        std::function<std::vector<std::string>()> selectedChannels) {
    auto state = std::make_shared<ValueToolState>();
    ValueToolCommands c;
    c.threshold = [&doc, parent, selectedChannels, state](int) {
        const std::vector<std::string> names = selectedChannels();
        if (names.empty()) return;
        const int index = doc.GetSample().FindChanIndex(names.front());
        if (state->threshold.Prepare(doc, names.front(), index) > 0) return;
        ThresholdSegmentationDialog dlg(state->threshold, parent);
        dlg.exec();
    };
    c.setData = [&doc, parent, selectedChannels](int) {
        SetDataRequest request;
        if (!doc.PrepareSetData(selectedChannels(), request)) return;
        CChanSetData data(doc, request);
        ChanSetDataDialog dlg(data, parent);
        dlg.exec();
    };
    c.mapData = [&doc, parent, selectedChannels, state](int output) {
        const std::vector<std::string> names = selectedChannels();
        if (names.empty()) return;
        if (ComputationBusy(doc)) {
            if (Prompt* p = doc.GetPromptSink()) p->Tell(kComputationInProgress, PromptIcon::Information);
            return;
        }
        state->map.inputChannel = doc.GetSample().FindChanIndex(names.front());
        state->map.outputChannel = output;
        MapChannelDataDialog dlg(parent, doc, state->map);
        dlg.exec();
    };
    return c;
}

}  // namespace zun
