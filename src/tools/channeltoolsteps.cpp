#include "tools/channeltoolsteps.h"

#include <algorithm>

#include "compute/exitrequested.h"
#include "document/changehints.h"
#include "document/zundoc.h"
#include "model/importinfo.h"
#include "platform/prompt.h"
#include "tools/mirrorreflection.h"

namespace zun {

GradientSettings GradientSettingsStore::Get(const std::string& channel) const {
    for (const auto& e : entries_)
        if (e.first == channel) return e.second;
    return {};
}

void GradientSettingsStore::Set(const std::string& channel, const GradientSettings& s) {
    for (auto& e : entries_)
        if (e.first == channel) {
            e.second = s;
            return;
        }
    entries_.emplace_back(channel, s);
}

void ToolTell(CZunDoc& doc, const std::string& text, int icon) {
    if (Prompt* p = doc.GetPromptSink()) p->Tell(text, static_cast<PromptIcon>(icon));
}

void SetChannelRecord(CZunDoc& doc, int channel, const std::string& record) {
    ZunChan* c = doc.GetSample().GetChan(channel);
    c->note.clear();
    LogText::AppendSection(&record, c->note, nullptr);
}

namespace {

void AnnounceData(CZunDoc& doc, const std::vector<ZunChan*>& channels) {
    doc.NoteVoxelsEdited(channels);
    StatsMod hint;
    doc.UpdateAllViews(nullptr, kHintData, &hint);
}

}  // namespace

int StartGradientStep(CZunDoc& doc, int input, const GradientSettings& settings, ToolDone done) {
    ZunImage& s = doc.GetSample();
    const int output = s.FindChanIndex(settings.output);
    if (!s.IsChanIndex(input) || output < 0 || output == input) return -1;
    Model& model = doc.GetModel();
    if (ComputationBusy(doc)) return -1;
    const Dims& d = s.GetDims();
    const ToolGrid g{d[0], d[1], d[2]};
    const std::vector<double>& ps = model.GetParams().voxelPhysicalSize;
    const std::array<double, 3> h{ps.size() > 1 ? ps[1] : 1.0, ps.size() > 2 ? ps[2] : 1.0,
                                  ps.size() > 3 ? ps[3] : 1.0};
    const std::string inName = s.GetChan(input)->name;
    auto started = std::make_shared<std::string>(AscTimeNow());
    Model::ToolStep step;
    step.stateText = gradientmsg::kStateText;
    step.label = gradientmsg::kLabel;
    const std::uint16_t* in = s.GetChan(input)->Data();
    std::uint16_t* out = s.GetChan(output)->Data();
    step.body = [settings, in, out, g, h, &model] {
        model.SetProgress(0, true);
        const int r = ChannelGradient::Compute(settings, in, out, g, h);
        if (r != 0) model.LogText(gradientmsg::kVoxelSize);
        return r;
    };
    step.finish = [&doc, input, output, inName, settings, started, done](int result) {
        ZunImage& smp = doc.GetSample();
        // The channels may have moved while the step ran; the names find them again.
        if (result == 0 && smp.IsChanIndex(output) && smp.IsChanIndex(input)) {
            SetChannelRecord(
                doc, output,
                ChannelGradient::Record(*started, inName, settings.output, settings, AscTimeNow()));
            AnnounceData(doc, {smp.GetChan(output)});
        }
        if (done) done(result);
    };
    return model.StartToolStep(std::move(step));
}

int StartMirrorStep(CZunDoc& doc, const std::vector<std::string>& names, int axis, ToolDone done) {
    ZunImage& s = doc.GetSample();
    Model& model = doc.GetModel();
    if (ComputationBusy(doc)) return -1;
    std::vector<ZunChan*> channels;
    for (const auto& n : names)
        if (ZunChan* c = s.FindChan(n)) channels.push_back(c);
    if (channels.empty()) return -1;
    const Dims& d = s.GetDims();
    const ToolGrid g{d[0], d[1], d[2]};
    auto results = std::make_shared<std::vector<int>>(channels.size(), 0);
    Model::ToolStep step;
    step.stateText = mirrormsg::kStateText;
    step.label = mirrormsg::kLabel;
    step.body = [channels, g, axis, results, &model] {
        // A stop is seen before the first channel only: the channels are mirrored all or none.
        model.SetProgress(0, true);
        int worst = 0;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            (*results)[i] = MirrorReflection::Compute(channels[i]->Data(), g, axis);
            worst = std::max(worst, (*results)[i]);
        }
        return worst == 0 ? 0 : 101;
    };
    step.finish = [&doc, names, channels, results, axis, done](int result) {
        if (result != 0 && std::find(results->begin(), results->end(), 1) != results->end())
            ToolTell(doc, mirrormsg::kInvalid, 3);
        const std::string time = AscTimeNow();
        std::vector<ZunChan*> changed;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            if (result == kUserInterrupt) break;
            const std::string text = MirrorReflection::Record(axis, (*results)[i], time);
            LogText::AppendSection(&text, channels[i]->note, nullptr);
            if ((*results)[i] == 0) changed.push_back(channels[i]);
        }
        if (!changed.empty()) AnnounceData(doc, changed);
        if (done) done(result);
    };
    return model.StartToolStep(std::move(step));
}

}  // namespace zun
