// The remote commands that start a computation and write the results out: the histogram
// picture, the slice images, the web page and the animation of the 3-D view.
#include <memory>

#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "model/histvars.h"
#include "plot/histogrammodel.h"
#include "plot/plotcontrol.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"
#include "tree/displaytree.h"
#include "tree/sliceexport.h"
#include "view3d/imageexportoptions.h"
#include "view3d/web3doptions.h"

namespace zun {

namespace {

constexpr int kPauseMs = 500;
constexpr int kExtendComputation = 300;
constexpr int kExtendHistogram = 300;
constexpr int kExtendFiles = 500;

void StartComp(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    // A second start of the same document would take over the tag its computation answers under.
    if (!doc || !in.CheckDocumentIdle(call, *doc)) return;
    in.Server().CloseCommandWindows();
    in.Server().ReplyExtend(call.tag, kExtendComputation);
    in.Server().SetComputationTag(doc, call.tag);
    in.Host().Wait(kPauseMs);
    in.Host().StartComputation(doc);
    // The end of the computation answers; a start that was refused would leave the controller
    // waiting for that answer for ever.
    if (doc->GetModel().GetState() != kRunning && !doc->GetModel().IsBusy()) {
        in.Server().ForgetComputation(doc);
        in.FinalError(call, "computation not started");
    }
}

void OutputHistogram(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    if (!doc || !in.CheckNoLongWork(call, *doc)) return;
    const auto& w = call.words;
    ZunImage& sample = doc->GetSample();
    const unsigned index = ParseUIntArg(w[2]);
    // The name lookup of a channel outside the sample would read past its list.
    if (index >= static_cast<unsigned>(sample.GetChanCount())) {
        in.Error(call, "invalid channel index");
        return;
    }
    // Before the channel's settings change: a refused file name leaves them as they were.
    if (const std::string refused = CheckPathUse(w[7], PathUse::kWriteFile); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    const int i = static_cast<int>(index);
    if (sample.GetSliceCount() <= 0) {
        in.Error(call, "invalid channel information");
        return;
    }
    std::unique_ptr<RemoteDocWindow> window = in.Host().DocumentWindow(*doc);
    if (!window) {
        in.Error(call, "Could not create histogram dialog");
        return;
    }
    const std::string name = sample.GetChanNameCStr(i);
    if (sample.GetChan(i)->histVars.binCount == 0) {
        // A channel whose histogram was never opened gets the window's first settings, as the
        // window opened and closed once would leave them; the words then change that copy.
        std::vector<HistogramSliceEntry> slices;
        for (int j = 0; j < sample.GetSliceCount(); ++j) slices.push_back({name, j});
        PlotControl plot;
        HistogramModel first(sample, std::move(slices), "zun");
        if (first.Open(plot)) first.Close(plot);
    }
    const unsigned x = ParseUIntArg(w[3]), closure = ParseUIntArg(w[4]);
    HistVars settings = sample.GetChan(i)->histVars;
    settings.xUnit = x == 1 ? HistVars::kBinIndex : x == 2 ? HistVars::kPhysical : HistVars::kNormBinIndex;
    settings.closure = closure <= 3 ? static_cast<std::int32_t>(closure) : HistVars::kAllBins;
    settings.yUnit = ParseUIntArg(w[5]) == 1 ? HistVars::kFrequency : HistVars::kNormFrequency;
    settings.style = ParseUIntArg(w[6]) == 1 ? HistVars::kBar : HistVars::kLine;
    sample.SetChanPlotSettings(i, settings);
    doc->SetModifiedFlag(true);
    CZunDoc::LongWork work(*doc, "histogram picture");
    in.Server().ReplyExtend(call.tag, kExtendHistogram);
    bool saved = false;
    const bool drawn = window->SaveHistogramPicture(i, w[7], saved);
    in.Host().Wait(kPauseMs);
    if (!drawn)
        in.FinalError(call, "Could not create histogram dialog");
    else if (!saved)
        in.FinalError(call, "could not save picture (" + w[7] + ")");
    else
        in.FinalOk(call, name);
}

void OutputImg2d(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    if (!doc || !in.CheckNoLongWork(call, *doc)) return;
    std::unique_ptr<RemoteDocWindow> window = in.CheckTreeView(call, *doc);
    if (!window) return;
    const auto& w = call.words;
    const int channel = ParseIntArg(w[2]);
    const ZunImage& sample = doc->GetSample();
    if (channel >= sample.GetChanCount()) {
        in.Error(call, "invalid channel index");
        return;
    }
    // No folder would put the files at the root of the file system.
    if (w[3].empty()) {
        in.Error(call, "invalid output folder ()");
        return;
    }
    if (const std::string refused = CheckPathUse(w[3], PathUse::kWriteFolder); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    const unsigned colourMode = ParseUIntArg(w[4]) + 1;
    const bool png = ParseUIntArg(w[5]) == 0;
    // A mono picture has no PNG form: refused as the window refuses it, before anything is written.
    if (const std::string refused = imageexport::CheckFormatColour(png ? 1 : 2, colourMode == 1 ? 1 : 2);
        !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    doc->imageExportFolder = w[3];
    const unsigned plane = ParseUIntArg(w[6]);
    SliceExportJob job;
    job.tree = window->Tree();
    job.sample = &sample;
    job.title = doc->GetTitle();
    job.folder = w[3];
    job.format = png ? kImagePng : kImageTiff;
    job.plane = plane == 0 ? kPlaneXY : plane == 1 ? kPlaneYZ : kPlaneZX;
    job.scope = kExportDocument;
    if (channel >= 0) {
        job.scope = kExportSelectedChannels;
        DisplayTree& tree = *window->Tree();
        if (TreeNode* node = tree.FindChannel(sample.GetChanNameCStr(channel)))
            tree.SetItemSelected(node, true);
    }
    // The export's progress lets events through: the document stays open until it ends.
    CZunDoc::LongWork work(*doc, "image export");
    in.Server().ReplyExtend(call.tag, kExtendFiles);
    SliceExportServices services;
    services.prompt = doc->GetPromptSink();
    const SliceExportResult result = colourMode == 1
                                         ? ExportSliceImagesColour(job, window->ViewBackground(), services)
                                         : ExportSliceImagesData(job, colourMode == 2 ? 8 : 16, services);
    // An export that left files out must not pass for done: the controller reads what the export
    // told.
    if (!result.message.empty())
        in.FinalError(call, result.message);
    else if (result.cancelled)
        in.FinalError(call, "Image export cancelled");
    else
        in.FinalOk(call);
}

void OutputWeb3d(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    if (!doc || !in.CheckNoLongWork(call, *doc)) return;
    std::unique_ptr<RemoteDocWindow> window = in.CheckTreeView(call, *doc);
    if (!window) return;
    const auto& w = call.words;
    Web3DOptions options;
    options.title = w[2];
    if (!ParseBoolArg(w[3])) options.description = w[4];
    options.fileName = w[5];
    options.folder = w[6];
    options.samplingMode = 0;  // decimation: the command has no word for the choice
    std::string message;
    if (window->CheckWeb3DExport(options, message) != 0) {
        in.Error(call, message);
        return;
    }
    options.border = ParseIntArg(w[7]);
    options.opacityFactor = ParseFloatArg(w[8]);
    options.thumbnail = ParseBoolArg(w[9]);
    options.serviceScript = ParseBoolArg(w[10]);
    // The dialog's checks, before the export is announced: a refused word writes nothing.
    if (const std::string refused = CheckWeb3DOptions(options); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    CZunDoc::LongWork work(*doc, "web page export");
    in.Server().ReplyExtend(call.tag, kExtendFiles);
    message.clear();
    if (window->WriteWeb3DPage(options, message) > 1)
        in.FinalError(call, message);
    else
        in.FinalOk(call);
}

void OutputAnimation(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    if (!doc || !in.CheckNoLongWork(call, *doc)) return;
    std::unique_ptr<RemoteDocWindow> window = in.CheckTreeView(call, *doc);
    if (!window) return;
    const auto& w = call.words;
    const std::vector<std::string> rotation = SplitArgumentList(w[2], ';');
    if (rotation.size() != 2) {
        in.Error(call, "Invalid rotation option format.");
        return;
    }
    if (const std::string refused = CheckPathUse(w[9], PathUse::kWriteFile); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    RecordOptions options;
    options.effect = ParseBoolArg(w[6]) ? static_cast<int>(ParseUIntArg(w[7])) + 1 : 0;
    const unsigned axis = ParseUIntArg(rotation[0]);
    if (options.effect != 0 && ParseBoolArg(w[8]))
        options.mode = 4;
    else
        options.mode = axis == 1 ? 2 : axis == 2 ? 3 : 1;
    options.frameRate = ParseUIntArg(w[3]);
    options.rotations = ParseUIntArg(w[4]);
    options.period = ParseFloatArg(w[5]);
    options.axisAngle = ParseFloatArg(rotation[1]);
    options.saveFrames = false;
    // The Record Animation dialog's own checks: without them a turn of no frames divides by zero.
    const std::string refused = CheckRecordOptions(options);
    if (!refused.empty()) {
        in.Error(call, refused);
        return;
    }
    // The recorder pumps events, so requests run while it records: the document stays open.
    CZunDoc::LongWork work(*doc, "animation recording");
    in.Server().ReplyExtend(call.tag, kExtendFiles);
    const std::string message = window->RecordAnimation(options, w[9]);
    if (!message.empty())
        in.FinalError(call, message);
    else
        in.FinalOk(call);
}

}  // namespace

void InstallOutputCommands(RemoteInterpreter& in) {
    in.SetHandler("startcomp", StartComp);
    in.SetHandler("output-histogram", OutputHistogram);
    in.SetHandler("output-img2d", OutputImg2d);
    in.SetHandler("output-web3d", OutputWeb3d);
    in.SetHandler("output-animation", OutputAnimation);
}

}  // namespace zun
