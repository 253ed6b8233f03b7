#include "tools/normalisemodel.h"

#include <cstdlib>

#include "compute/exitrequested.h"
#include "document/changehints.h"
#include "document/zundoc.h"
#include "tools/toolsupport.h"

namespace zun {

namespace {

bool ParseFloat(const std::string& text, float& out) {
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    out = static_cast<float>(v);
    return true;
}

}  // namespace

NormaliseModel::NormaliseModel(CZunDoc& doc, int input) : doc_(doc), input_(input), output_(input) {
    const ZunImage& s = doc.GetSample();
    channels_ = s.GetChanNames();
    for (int i = 0; i < s.GetChanCount(); ++i)
        if (s.GetChan(i)->kind == ZunChan::kBoundary) boundaries_.push_back(i);
    const ZunChan* c = s.GetChan(input);
    settings_.lower = c->range[0];
    settings_.upper = c->range[1];
}

std::vector<std::string> NormaliseModel::BoundaryEntries() const {
    std::vector<std::string> e;
    for (int i : boundaries_) e.push_back(channels_[static_cast<std::size_t>(i)]);
    e.push_back("None");
    return e;
}

void NormaliseModel::SetMode(int side, int mode) {
    (side ? settings_.upperMode : settings_.lowerMode) = mode;
}

std::string NormaliseModel::BoundText(int side) const {
    if (!BoundEnabled(side)) return normmsg::kNotApplicable;
    return ToolFormat("%.6g", side ? settings_.upper : settings_.lower);
}

std::string NormaliseModel::RadiusText(int side) const {
    if (!RadiusEnabled(side)) return normmsg::kNotApplicable;
    return ToolFormat("%.6g", side ? settings_.upperRadius : settings_.lowerRadius);
}

bool NormaliseModel::SetBoundText(int side, const std::string& text) {
    if (!BoundEnabled(side)) return false;
    return ParseFloat(text, side ? settings_.upper : settings_.lower);
}

bool NormaliseModel::SetRadiusText(int side, const std::string& text) {
    if (!RadiusEnabled(side)) return false;
    return ParseFloat(text, side ? settings_.upperRadius : settings_.lowerRadius);
}

std::string NormaliseModel::CloseButtonText() const {
    return running_ ? "Stop" : (completed_ ? "Close" : "Cancel");
}

std::string NormaliseModel::BuildRecord() const {
    std::string r;
    if (output_ != input_) {
        r = ToolFormat("Normalize channel value range computation of channel %d (", input_) + InputName() +
            ") started at: ";
    } else {
        r = doc_.GetSample().GetChan(input_)->note;
        if (!r.empty()) r += "\n";
        r += "Normalize channel value range computation of this channel started at: ";
    }
    r += AscTimeNow();
    auto yes = [](bool b) { return std::string(b ? "Yes" : "No"); };
    const auto entries = BoundaryEntries();
    r += "Input channel: " + InputName() + "\n";
    r += "Output channel: " + channels_[static_cast<std::size_t>(output_)] + "\n";
    r += "Boundary channel: " + entries[static_cast<std::size_t>(boundary_)] + "\n";
    const char* side[2] = {"Lower", "Upper"};
    for (int k = 0; k < 2; ++k) {
        r += std::string(side[k]) + " bound voxel value: " + BoundText(k) + "\n";
        r += std::string(side[k]) + " bound redistribute: " + yes(Mode(k) == kNormaliseRedistribute) + "\n";
        r += std::string(side[k]) + " bound clip: " + yes(Mode(k) == kNormaliseClip) + "\n";
        r += std::string(side[k]) + " bound do nothing: " + yes(Mode(k) == kNormaliseNothing) + "\n";
        r += std::string(side[k]) + "-bound redistribution radius: " + RadiusText(k) + "\n";
    }
    return r;
}

std::string NormaliseModel::Execute(ToolDone done) {
    Model& model = doc_.GetModel();
    if (running_ || ComputationBusy(doc_)) return kComputationInProgress;
    const ZunImage& s = doc_.GetSample();
    const ZunChan* in = s.GetChan(input_);
    const float min = in->range[0], max = in->range[1];
    // The output takes the input's range.
    if (!(max - min > 0.0f)) return "Output channel value range too small. Computation aborted";
    // Refused before anything starts, with the message the run itself would give.
    if (std::string refused = CheckNormaliseSettings(settings_); !refused.empty()) return refused;
    record_ = BuildRecord();
    const Dims& d = s.GetDims();
    const ToolGrid g{d[0], d[1], d[2]};
    const int boundary = boundary_ < static_cast<int>(boundaries_.size())
                             ? boundaries_[static_cast<std::size_t>(boundary_)]
                             : -1;
    const NormaliseSettings settings = settings_;
    const int input = input_, output = output_;
    CZunDoc* doc = &doc_;
    auto progress = progress_;
    auto message = std::make_shared<std::string>();
    progress->SetPercent(0);

    Model::ToolStep step;
    step.stateText = normmsg::kStateText;
    step.label = normmsg::kLabel;
    step.body = [=, &model]() -> int {
        const ZunImage& smp = doc->GetSample();
        std::vector<float> values;
        std::vector<std::uint8_t> inside;
        try {
            ReadPhysical(*smp.GetChan(input), values);
            inside.assign(values.size(), 1);
            if (boundary >= 0) {
                const std::uint16_t* b = smp.GetChan(boundary)->Data();
                for (std::size_t i = 0; i < values.size(); ++i) inside[i] = b[i] != 0;
            }
        } catch (const std::bad_alloc&) {
            *message = normmsg::kMemory;
            return 101;
        }
        const int r = NormaliseValues(
            values, inside, g, settings, *message, [&] { return model.StopRequested(); },
            [&](int percent) {
                progress->SetPercent(percent);
                try {
                    model.SetProgress(static_cast<float>(percent), false);
                } catch (const ExitRequested&) {
                }
            });
        if (r == 1) return kUserInterrupt;
        if (r == 2) return 101;
        ZunChan* out = doc->GetSample().GetChan(output);
        if (output != input) out->range = {min, max};
        WritePhysical(values, *out, out->range[0], out->range[1]);
        return 0;
    };
    const std::string head = record_;
    auto self = self_;
    step.finish = [=](int result) {
        if (!message->empty()) ToolTell(*doc, *message);
        ZunImage& smp = doc->GetSample();
        if (result == 0 && smp.IsChanIndex(output)) {
            SetChannelRecord(*doc, output,
                             head + "Normalize channel value range computation finished at: " + AscTimeNow());
            doc->NoteVoxelsEdited({smp.GetChan(output)});
            StatsMod hint;
            doc->UpdateAllViews(nullptr, kHintData, &hint);
        }
        progress->SetPercent(0);
        if (NormaliseModel* m = *self) {
            m->running_ = false;
            if (result == 0) m->completed_ = true;
        }
        if (done) done(result);
    };
    running_ = true;
    if (model.StartToolStep(std::move(step)) != 0) {
        running_ = false;
        return kComputationInProgress;
    }
    return {};
}

void NormaliseModel::Stop() {
    if (running_) doc_.GetModel().StopComputation(false);
}

}  // namespace zun
