#include "tools/movingaveragemodel.h"

#include <cmath>
#include <cstdlib>

#include "compute/exitrequested.h"
#include "document/changehints.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/toolsupport.h"

namespace zun {

namespace {

bool ParseFloat(const std::string& text, double& out) {
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool ParseInt(const std::string& text, long& out) {
    const char* s = text.c_str();
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    out = v;
    return true;
}

void InsideMask(const ZunImage& s, int boundary, std::vector<std::uint8_t>& inside) {
    const std::size_t n = static_cast<std::size_t>(s.GetNumVoxels());
    inside.assign(n, 1);
    if (boundary < 0) return;
    const std::uint16_t* b = s.GetChan(boundary)->Data();
    for (std::size_t i = 0; i < n; ++i) inside[i] = b[i] != 0;
}

}  // namespace

bool SampleAverage(const CZunDoc& doc, int channel, int boundary, double& average) {
    const ZunImage& s = doc.GetSample();
    const ZunChan* c = s.GetChan(channel);
    const std::uint16_t* w = c->Data();
    const std::uint16_t* b = boundary >= 0 ? s.GetChan(boundary)->Data() : nullptr;
    const std::int64_t n = static_cast<std::int64_t>(s.GetNumVoxels());
    // The physical value is linear in the word: the words are summed exactly, converted once.
    std::int64_t sum = 0, count = 0;
#pragma omp parallel for schedule(static) num_threads(ToolThreads()) reduction(+ : sum, count)
    for (std::int64_t i = 0; i < n; ++i)
        if (!b || b[i] != 0) {
            sum += w[i] & 0x3FFF;
            ++count;
        }
    if (count == 0) return false;
    const double min = c->range[0], max = c->range[1];
    average = min + (max - min) * (static_cast<double>(sum) / count / 16383.0);
    return true;
}

bool MovingAverageModel::GridUsable(const CZunDoc& doc) {
    const Dims& d = doc.GetSample().GetDims();
    return d.size() >= 3 && d[0] > 0 && d[1] > 0 && d[2] > 0;
}

MovingAverageModel::MovingAverageModel(CZunDoc& doc, int input) : doc_(doc), input_(input), output_(input) {
    const ZunImage& s = doc.GetSample();
    channels_ = s.GetChanNames();
    for (int i = 0; i < s.GetChanCount(); ++i)
        if (s.GetChan(i)->kind == ZunChan::kBoundary) boundaries_.push_back(i);
    const ZunChan* c = s.GetChan(input);
    expected_ = (c->range[0] + c->range[1]) / 2;
    expectedText_ = ToolFormat("%.5g", expected_);
    dims_[kEllipsoid] = {5, 5, 5};
    dims_[kCubic] = {10, 10, 10};
    const Dims& d = s.GetDims();
    const int nx = d[0], ny = d[1], nz = d[2];
    regions_[kEllipsoid] = {0, ny, 0, nz};
    regions_[kCubic] = {0, nz, 0, nx};
    regions_[kSliceXY] = {0, nx, 0, ny};
    regions_[kSliceYZ] = {0, ny, 0, nz};
    regions_[kSliceZX] = {0, nz, 0, nx};
}

std::vector<std::string> MovingAverageModel::BoundaryEntries() const {
    if (boundaries_.empty()) return {"<None exist>"};
    std::vector<std::string> e;
    for (int i : boundaries_) e.push_back(channels_[static_cast<std::size_t>(i)]);
    e.push_back("<None selected>");
    return e;
}

int MovingAverageModel::BoundaryChannel() const {
    if (boundary_ < 0 || boundary_ >= static_cast<int>(boundaries_.size())) return -1;
    return boundaries_[static_cast<std::size_t>(boundary_)];
}

bool MovingAverageModel::SetExpectedText(const std::string& text) {
    double v;
    if (!ParseFloat(text, v)) return false;
    expected_ = static_cast<float>(v);
    expectedText_ = text;
    return true;
}

std::vector<std::string> MovingAverageModel::GeometryNames() {
    return {"Ellipsoid", "Cubic", "XY-slice", "YZ-slice", "ZX-slice"};
}

std::string MovingAverageModel::DimensionLabel() const {
    static const char* labels[] = {
        "Radius in x, y, z directions (voxels)", "Length in x, y, z directions (voxels)",
        "Ref region (x0,y0, x1, y1; voxels)", "Ref region (y0, z0, y1, z1; voxels)",
        "Ref region (z0, x0, z1, x1; voxels)"};
    return geometry_ >= 0 && geometry_ <= 4 ? labels[geometry_] : "";
}

std::vector<std::string> MovingAverageModel::DimensionTexts() const {
    std::vector<std::string> t;
    if (geometry_ < 0 || geometry_ > 4) return t;
    if (!ShowsRegion()) {
        for (float v : dims_[static_cast<std::size_t>(geometry_)])
            t.push_back(v > 0.1f ? ToolFormat("%.5g", v) : "");
        return t;
    }
    const auto& r = regions_[static_cast<std::size_t>(geometry_)];
    for (int v : {r[0], r[2], r[1], r[3]}) t.push_back(ToolFormat("%d", v));
    return t;
}

bool MovingAverageModel::SetDimensionText(int i, const std::string& text) {
    if (geometry_ < 0 || geometry_ > 4) return false;
    if (!ShowsRegion()) {
        double v;
        if (i < 0 || i > 2 || !ParseFloat(text, v)) return false;
        dims_[static_cast<std::size_t>(geometry_)][static_cast<std::size_t>(i)] = static_cast<float>(v);
        return true;
    }
    long v;
    if (i < 0 || i > 3 || !ParseInt(text, v)) return false;
    static const int slot[4] = {0, 2, 1, 3};  // a0, b0, a1, b1 in control order
    regions_[static_cast<std::size_t>(geometry_)][static_cast<std::size_t>(slot[i])] = static_cast<int>(v);
    return true;
}

std::string MovingAverageModel::SetValueText() const {
    return ToolFormat("%f", setValue_);
}

std::string MovingAverageModel::IterationsText() const {
    return ToolFormat("%d", iterations_);
}

std::string MovingAverageModel::ComputeAverage() {
    double a;
    if (!SampleAverage(doc_, input_, BoundaryChannel(), a)) return mvamsg::kEmpty;
    expected_ = static_cast<float>(a);
    expectedText_ = ToolFormat("%f", expected_);
    return {};
}

void MovingAverageModel::Stop() {
    Model& model = doc_.GetModel();
    if (model.ToolStepRunning()) model.StopComputation(false);
}

std::string MovingAverageModel::BuildRecord() {
    const bool slices = ShowsRegion();
    std::string r;
    if (output_ != input_) {
        r = ToolFormat("%s computation of channel %d (",
                       slices ? "Slice-based moving-average" : "Moving-volume average", input_) +
            InputName() + ") started at: ";
    } else {
        r = doc_.GetSample().GetChan(input_)->note;
        // The note's last section marker stays with the old text.
        if (!r.empty()) r += "\n";
        r += slices ? "Slice-based moving-average computation of this channel started at: "
                    : "Moving-volume average computation of this channel started at: ";
    }
    r += AscTimeNow();
    r += "Input channel: " + InputName() + "\n";
    r += "Output channel: " + channels_[static_cast<std::size_t>(output_)] + "\n";
    if (BoundaryChannel() >= 0)
        r += "Boundary channel: " + BoundaryEntries()[static_cast<std::size_t>(boundary_)] + "\n";
    if (auto_)
        r += ToolFormat("Auto-computed channel value expectation value: %.5g", expected_);
    else
        r += "Use manual input channel expectation value of " + expectedText_;
    r += ".\n";
    r += "Moving-volume geometry: " + GeometryNames()[static_cast<std::size_t>(geometry_)] + "\n";
    r += DimensionLabel() + ": (";
    const auto texts = DimensionTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) r += (i ? ", " : "") + texts[i];
    r += ")\n";
    return r;
}

std::string MovingAverageModel::Execute(const std::string& setValueText, const std::string& iterationsText,
                                        ToolDone done) {
    double sv;
    long it;
    if (ParseFloat(setValueText, sv)) setValue_ = sv;
    if (ParseInt(iterationsText, it)) iterations_ = static_cast<int>(it);
    if (!ParseFloat(setValueText, sv) || !ParseInt(iterationsText, it) || !(sv >= -1e-10) || it < 1 ||
        it > 1000000)
        return mvamsg::kInvalid;
    if (geometry_ < 0 || geometry_ > 4) return mvamsg::kUnknown;
    Model& model = doc_.GetModel();
    if (ComputationBusy(doc_)) return kComputationInProgress;
    if (auto_) {
        const std::string m = ComputeAverage();
        if (!m.empty()) ToolTell(doc_, m);
    }
    if (std::fabs(expected_) < 1e-30f) return mvamsg::kAmplitude;
    const ZunImage& s = doc_.GetSample();
    const Dims& d = s.GetDims();
    const ToolGrid g{d[0], d[1], d[2]};
    const std::size_t gi = static_cast<std::size_t>(geometry_);
    if (!ShowsRegion()) {
        for (float v : dims_[gi])
            if (!(v > 1.0f)) return mvamsg::kRegion;
    } else {
        // The rectangle must also lie inside the slice.
        const int na = geometry_ == kSliceXY ? g.nx : (geometry_ == kSliceYZ ? g.ny : g.nz);
        const int nb = geometry_ == kSliceXY ? g.ny : (geometry_ == kSliceYZ ? g.nz : g.nx);
        const auto& r = regions_[gi];
        if (r[1] - r[0] < 2 || r[3] - r[2] < 2 || r[0] < 0 || r[1] > na || r[2] < 0 || r[3] > nb)
            return mvamsg::kRegion;
    }
    const ZunChan* in = s.GetChan(input_);
    const float min = in->range[0], max = in->range[1];
    if (!(max - min > 0.0f)) return mvamsg::kRangeTooSmall;
    record_ = BuildRecord();

    const int boundary = BoundaryChannel();
    auto report = std::make_shared<MovingReport>();
    auto failedSlice = std::make_shared<int>(-1);
    auto progress = progress_;
    const MovingTemplate tmpl = ShowsRegion() ? MovingTemplate{} : MovingTemplate::Make(geometry_, dims_[gi]);
    MovingPassSettings ps;
    ps.expected = expected_;
    ps.keepOutside = keepOutside_;
    ps.setValue = setValue_;
    ps.iterations = iterations_;
    ps.direct = direct_;
    const int geometry = geometry_;
    const std::array<int, 4> region = regions_[gi];
    const int input = input_, output = output_;
    CZunDoc* doc = &doc_;
    progress->SetPercent(0);

    Model::ToolStep step;
    step.stateText = mvamsg::kStateText;
    step.label = mvamsg::kLabel;
    step.body = [=, &model]() -> int {
        const ZunImage& smp = doc->GetSample();
        ToolCancelCheck cancel = [&](int percent) {
            progress->SetPercent(percent);
            try {
                model.SetProgress(static_cast<float>(percent), false);
            } catch (const ExitRequested&) {
                return true;
            }
            return false;
        };
        std::vector<float> values;
        ReadPhysical(*smp.GetChan(input), values);
        if (geometry >= kSliceXY) {
            progress->SetText("Computing moving slice average");
            const int r = SliceAverage(values, g, geometry, region, ps.expected, *failedSlice, cancel);
            if (r < 0) return kUserInterrupt;
            if (r > 0) return 100 + r;
        } else {
            progress->SetText("Computing moving volume average");
            std::vector<std::uint8_t> inside;
            InsideMask(smp, boundary, inside);
            MovingVolumeAverage(values, inside, g, tmpl, ps, *report, cancel);
            if (report->cancelled) return kUserInterrupt;
        }
        progress->SetText("Writing output");
        ZunChan* out = doc->GetSample().GetChan(output);
        if (output != input) out->range = {min, max};
        WritePhysical(values, *out, out->range[0], out->range[1]);
        return 0;
    };
    const std::string head = record_;
    const int iterations = iterations_;
    step.finish = [=](int result) {
        for (const auto& m : report->messages) ToolTell(*doc, m);
        if (result > 100)
            ToolTell(*doc, ToolFormat("Slice %d: reference region unusable (code %d). Computation aborted",
                                      *failedSlice, result - 100));
        ZunImage& smp = doc->GetSample();
        if (result == 0 && smp.IsChanIndex(output)) {
            const std::string end =
                geometry >= kSliceXY
                    ? "Slice-based moving-average computation finished at: " + AscTimeNow()
                    : ToolFormat("Moving-volume-average computation iterations %d finished at: ",
                                 iterations) +
                          AscTimeNow();
            SetChannelRecord(*doc, output, head + end);
            doc->NoteVoxelsEdited({smp.GetChan(output)});
            StatsMod hint;
            doc->UpdateAllViews(nullptr, kHintData, &hint);
        }
        progress->SetPercent(0);
        if (done) done(result);
    };
    if (model.StartToolStep(std::move(step)) != 0) return kComputationInProgress;
    return {};
}

}  // namespace zun
