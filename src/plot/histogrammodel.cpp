#include "plot/histogrammodel.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "foundation/numformat.h"
#include "model/sample.h"
#include "plot/histcount.h"
#include "plot/plotsettings.h"
#include "plot/tabletext.h"

namespace zun {

const char HistogramModel::kBinCountMessage[] = "Nbins must be an integer between 1 and 16384 inclusive.";

namespace {
constexpr ColourRef kHistogramColour = 0xFF0000;  // blue

// Settings read from a document file are used only within their ranges.
void Sanitise(HistVars& h) {
    if (h.binCount < 0) h.binCount = 0;
    if (h.binCount > static_cast<std::int32_t>(HistogramModel::kMaxBins))
        h.binCount = static_cast<std::int32_t>(HistogramModel::kMaxBins);
    if (h.xUnit < HistVars::kNormBinIndex || h.xUnit > HistVars::kPhysical) h.xUnit = HistVars::kNormBinIndex;
    if (h.closure < HistVars::kAllBins || h.closure > HistVars::kNoEndBins) h.closure = HistVars::kAllBins;
    if (h.yUnit < HistVars::kNormFrequency || h.yUnit > HistVars::kFrequency)
        h.yUnit = HistVars::kNormFrequency;
    if (h.style != HistVars::kLine && h.style != HistVars::kBar) h.style = HistVars::kBar;
}
}  // namespace

HistogramModel::HistogramModel(ZunImage& sample, std::vector<HistogramSliceEntry> slices,
                               std::string windowName, int threads)
    : sample_(sample), slices_(std::move(slices)), windowName_(std::move(windowName)), threads_(threads) {}

bool HistogramModel::Open(PlotControl& plot) {
    if (slices_.empty()) return false;
    channel_ = sample_.FindChanIndex(slices_.front().channel);
    if (!sample_.IsChanIndex(channel_)) return false;
    const ZunChan& ch = *sample_.GetChan(channel_);
    kind_ = ch.kind;
    const double lo = ch.range.size() > 0 ? ch.range[0] : 0.0;
    const double hi = ch.range.size() > 1 ? ch.range[1] : lo;
    physMin_ = lo;
    physSpan_ = hi - lo;
    const Dims& d = ch.GetDims();
    sliceVoxels_ = d.size() >= 2 ? CountVoxels({d[0], d[1]}) : 0;
    sliceCount_ = d.size() >= 3 ? std::max(d[2], 0) : 0;
    std::uint64_t listed = 0;
    for (const HistogramSliceEntry& e : slices_)
        if (e.slice >= 0 && e.slice < sliceCount_) ++listed;
    total_ = listed * sliceVoxels_;

    current_ = ch.histVars;
    Sanitise(current_);
    if (current_.binCount == 0) FillDefaults();
    // The plot may still point at series of an earlier owner: they must not be read (the
    // settings below re-range the axes) once that owner is gone.
    Graph& g = plot.GetGraph();
    g.plot.ClearYData();
    g.plot.ClearMarkers();
    g.plot.SetXData(&x_);
    ApplyPlotVarsToCtrl(current_.plot, plot);
    recompute_ = true;
    Update(plot);
    atOpening_ = current_;
    return true;
}

void HistogramModel::FillDefaults() {
    current_.binCount = kind_ == ZunChan::kBoundary ? 2 : static_cast<std::int32_t>(kMaxBins);
    current_.xUnit = HistVars::kNormBinIndex;
    current_.closure = HistVars::kAllBins;
    current_.yUnit = HistVars::kNormFrequency;
    current_.style = HistVars::kBar;
    PlotVars p;
    p.showTitle = false;
    p.title = windowName_;
    p.showLegend = false;
    for (AxisVars* a : {&p.xAxis, &p.yAxis}) {
        a->grid = true;
        a->autoscale = true;
        a->log = false;
        a->range = 1.0;
        a->offset = 0.0;
        a->showLabel = true;
    }
    p.xAxis.label = XLabelText();
    p.yAxis.label = YLabelText();
    current_.plot = p;
}

void HistogramModel::SetDefaults(PlotControl& plot) {
    FillDefaults();
    ApplyPlotVarsToCtrl(current_.plot, plot);
    recompute_ = true;
    Update(plot);
}

std::string HistogramModel::BinCountText() const {
    return FormatInt(current_.binCount, "%u");
}

std::string HistogramModel::PhysicalRadioText() const {
    return "Physical (" + FormatReal(static_cast<float>(physMin_), -1, "%g") + " to " +
           FormatReal(static_cast<float>(physMin_ + physSpan_), -1, "%g") + ")";
}

std::string HistogramModel::XLabelText() const {
    switch (current_.xUnit) {
        case HistVars::kNormBinIndex:
            return "Norm Bin Index";
        case HistVars::kBinIndex:
            return "Bin Index";
        default:
            break;
    }
    switch (kind_) {
        case ZunChan::kComposition:
            return "Volume fraction";
        case ZunChan::kXrayCt:
            return "Total Linear Attenuation, cm^-1";
        case ZunChan::kProperty:
            return "Norm Bin Index";
        case ZunChan::kBoundary:
            return "Bin Index";
        default:
            return {};
    }
}

std::string HistogramModel::YLabelText() const {
    return current_.yUnit == HistVars::kNormFrequency ? "Norm Frequency" : "Frequency";
}

bool HistogramModel::ParseBinCount(const std::string& text, std::uint32_t* n) {
    unsigned v = 0;
    if (ScanString(text, "%u", &v) != 0 || v < kMinBins || v > kMaxBins) return false;
    *n = v;
    return true;
}

bool HistogramModel::TakeBinCountText(const std::string& text) {
    std::uint32_t n = 0;
    if (!ParseBinCount(text, &n)) return false;
    if (n != BinCount()) {
        current_.binCount = static_cast<std::int32_t>(n);
        recompute_ = true;
    }
    return true;
}

bool HistogramModel::Refresh(PlotControl& plot, const std::string& text) {
    if (!TakeBinCountText(text)) return false;
    rebuild_ = true;
    Update(plot);
    return true;
}

bool HistogramModel::Spin(PlotControl& plot, const std::string& text, int delta) {
    std::uint32_t n = BinCount();
    ParseBinCount(text, &n);
    const std::int64_t next =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(n) + delta, kMinBins, kMaxBins);
    if (next == static_cast<std::int64_t>(BinCount())) return false;
    current_.binCount = static_cast<std::int32_t>(next);
    recompute_ = true;
    Update(plot);
    return true;
}

double HistogramModel::XOf(double i, int unit) const {
    const double n = BinCount();
    switch (unit) {
        case HistVars::kNormBinIndex:
            return i / n;
        case HistVars::kBinIndex:
            return i;
        default:
            return physMin_ + i * (physSpan_ / n);
    }
}

double HistogramModel::IndexOf(double x, int unit) const {
    const double n = BinCount();
    switch (unit) {
        case HistVars::kNormBinIndex:
            return x * n;
        case HistVars::kBinIndex:
            return x;
        default:
            return physSpan_ != 0 ? (x - physMin_) * n / physSpan_ : NAN;
    }
}

void HistogramModel::SetXUnit(PlotControl& plot, int unit) {
    if (unit < HistVars::kNormBinIndex || unit > HistVars::kPhysical || unit == current_.xUnit) return;
    Axis& axis = plot.GetGraph().xAxis;
    const double lo = XOf(IndexOf(axis.offset, current_.xUnit), unit);
    const double hi = XOf(IndexOf(axis.offset + axis.range, current_.xUnit), unit);
    // A channel whose physical range is empty has no map to or from physical values: the axis
    // then keeps its numbers.
    if (std::isfinite(lo) && std::isfinite(hi) && hi >= lo) {
        axis.offset = lo;
        axis.range = hi - lo;
        axis.SetTickStep(axis.range);
    }
    current_.xUnit = unit;
    rebuild_ = true;
    Update(plot);
}

void HistogramModel::SetYUnit(PlotControl& plot, int unit) {
    if (unit < HistVars::kNormFrequency || unit > HistVars::kFrequency || unit == current_.yUnit) return;
    Axis& axis = plot.GetGraph().yAxis;
    if (total_ > 0) {
        const double t = static_cast<double>(total_);
        const double f = unit == HistVars::kFrequency ? t : 1.0 / t;
        axis.offset *= f;
        axis.range *= f;
        axis.SetTickStep(axis.range);
    }
    current_.yUnit = unit;
    rebuild_ = true;
    Update(plot);
}

void HistogramModel::SetClosure(PlotControl& plot, int closure) {
    if (closure < HistVars::kAllBins || closure > HistVars::kNoEndBins || closure == current_.closure) return;
    current_.closure = closure;
    rebuild_ = true;
    Update(plot);
}

void HistogramModel::SetStyle(PlotControl& plot, int style) {
    if ((style != HistVars::kLine && style != HistVars::kBar) || style == current_.style) return;
    current_.style = style;
    rebuild_ = true;
    Update(plot);
}

void HistogramModel::Update(PlotControl& plot) {
    if (recompute_) {
        Compute();
        rebuild_ = true;
    }
    if (rebuild_) BuildPlot(plot);
    recompute_ = rebuild_ = false;
}

void HistogramModel::Compute() {
    const std::uint32_t n = std::clamp<std::uint32_t>(BinCount(), kMinBins, kMaxBins);
    counts_.assign(n, 0);
    current_.binCount = static_cast<std::int32_t>(n);
    if (!sample_.IsChanIndex(channel_)) return;
    const ZunChan& ch = *sample_.GetChan(channel_);
    const imtype* data = ch.Data();
    if (!data || total_ == 0) return;
    if (slices_.size() == static_cast<std::size_t>(sliceCount_)) {
        CountVoxelBins(data, ch.GetNumVoxels(), n, counts_.data(), threads_);
        return;
    }
    for (const HistogramSliceEntry& e : slices_) {
        if (e.slice < 0 || e.slice >= sliceCount_) continue;
        CountVoxelBins(data + static_cast<std::uint64_t>(e.slice) * sliceVoxels_, sliceVoxels_, n,
                       counts_.data(), threads_);
    }
}

void HistogramModel::BuildPlot(PlotControl& plot) {
    const auto n = static_cast<std::int64_t>(counts_.size());
    const bool dropFirst =
        current_.closure == HistVars::kNoFirstBin || current_.closure == HistVars::kNoEndBins;
    const bool dropLast =
        current_.closure == HistVars::kNoLastBin || current_.closure == HistVars::kNoEndBins;
    const std::int64_t first = dropFirst ? 1 : 0;
    const std::int64_t last = dropLast ? n - 2 : n - 1;
    const std::int64_t end = dropLast ? n - 1 : n;
    // An empty channel has no frequencies to normalise: they stay 0 rather than NaN.
    const double total = static_cast<double>(total_);
    auto yOf = [&](std::int64_t i) {
        const double c = static_cast<double>(counts_[static_cast<std::size_t>(i)]);
        if (current_.yUnit == HistVars::kFrequency) return c;
        return total > 0 ? c / total : 0.0;
    };
    auto xOf = [&](std::int64_t i) { return XOf(static_cast<double>(i), current_.xUnit); };

    x_.clear();
    y_.clear();
    if (first <= last) {
        if (current_.style == HistVars::kLine) {
            for (std::int64_t i = first; i <= last; ++i) {
                x_.push_back(xOf(i));
                y_.push_back(yOf(i));
            }
        } else {
            x_.push_back(xOf(first));
            y_.push_back(yOf(first));
            for (std::int64_t i = first + 1; i <= last; ++i) {
                x_.push_back(xOf(i));
                y_.push_back(yOf(i - 1));
                x_.push_back(xOf(i));
                y_.push_back(yOf(i));
            }
            x_.push_back(xOf(end));
            y_.push_back(yOf(last));
        }
    }

    Graph& g = plot.GetGraph();
    g.plot.xRangeBySeries = true;
    g.xLabel.text = XLabelText();
    g.yLabel.text = YLabelText();
    g.plot.ClearYData();
    g.plot.ClearMarkers();
    plot.Invalidate();
    if (!x_.empty()) g.plot.SetXData(&x_);
    if (!y_.empty()) g.plot.AddYData(&y_, kHistogramColour, nullptr, g.yLabel.text);
    plot.Invalidate();
    PlotVarsFromCtrl(current_.plot, plot);
}

bool HistogramModel::Close(const PlotControl& plot) {
    PlotVarsFromCtrl(current_.plot, plot);
    sample_.SetChanPlotSettings(channel_, current_);
    return !(current_ == atOpening_);
}

void HistogramModel::WriteExport(std::ostream& out, const PlotControl& plot) const {
    WriteTableHeader(out, windowName_, "\"" + plot.GetXLabel() + "\"", "\"" + plot.GetYLabel() + "\"");
    const std::size_t step = current_.style == HistVars::kBar ? 2 : 1;
    // The bar outline has two points per bin and a closing one: its even positions are the bins.
    for (std::size_t i = 0; i < x_.size() && i < y_.size(); i += step) WriteTableRow(out, x_[i], y_[i]);
}

bool HistogramModel::Export(const std::string& path, const PlotControl& plot, std::string* error) const {
    std::ostringstream text;
    WriteExport(text, plot);
    return SaveTextFile(path, text.str(), error);
}

}  // namespace zun
