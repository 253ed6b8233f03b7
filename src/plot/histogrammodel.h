#pragma once
// Everything the "Histogram" window shows and decides, without its widgets: the counts of one
// channel's voxel values over the listed slices, the line or bar outline in the chosen units,
// the settings the channel keeps (HistVars) and the table export.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "model/histvars.h"
#include "plot/plotcontrol.h"

namespace zun {

class ZunImage;

struct HistogramSliceEntry {
    std::string channel;
    std::int32_t slice = 0;
};

class HistogramModel {
public:
    static constexpr std::uint32_t kMinBins = 1;
    static constexpr std::uint32_t kMaxBins = 16384;
    static const char kBinCountMessage[];  // "Nbins must be an integer between 1 and 16384 inclusive."

    // The channel is the one the first entry names; `threads` 0 counts on all processors.
    HistogramModel(ZunImage& sample, std::vector<HistogramSliceEntry> slices, std::string windowName,
                   int threads = 0);

    // Channel facts, the stored settings (defaults when the channel has none yet), the plot set
    // up and filled. False when no channel of that name exists (nothing is done then).
    bool Open(PlotControl& plot);
    // The "Set Defaults" button: defaults for the channel, plot refilled.
    void SetDefaults(PlotControl& plot);

    // The bin-count edit: true and N for a whole number of 1..16384.
    static bool ParseBinCount(const std::string& text, std::uint32_t* n);
    // A pending edit read before an update: false (nothing changes) when invalid.
    bool TakeBinCountText(const std::string& text);
    // "Refresh": reads the edit, then recounts (when N changed) and rebuilds.
    bool Refresh(PlotControl& plot, const std::string& text);
    // The spin beside the edit: N from the edit (or the current N) plus delta, within 1..16384.
    // True when N changed (the histogram is counted again).
    bool Spin(PlotControl& plot, const std::string& text, int delta);

    // The radios. A unit change converts the axis's fixed range and offset to the new unit.
    void SetXUnit(PlotControl& plot, int unit);
    void SetYUnit(PlotControl& plot, int unit);
    void SetClosure(PlotControl& plot, int closure);
    void SetStyle(PlotControl& plot, int style);

    // Runs what the last changes asked for: recount, then rebuild the plot.
    void Update(PlotControl& plot);

    // "Close": the settings (with the plot's as it stands) go back into the channel. True when
    // they differ from those at opening (the document is then modified).
    bool Close(const PlotControl& plot);

    // The table text and its atomic file (false and "Could not create <path>" on failure).
    // The axis titles are the plot's label texts as they stand.
    void WriteExport(std::ostream& out, const PlotControl& plot) const;
    bool Export(const std::string& path, const PlotControl& plot, std::string* error) const;

    const std::string& WindowName() const { return windowName_; }
    const HistVars& Settings() const { return current_; }
    std::uint32_t BinCount() const { return static_cast<std::uint32_t>(current_.binCount); }
    std::string BinCountText() const;
    std::string PhysicalRadioText() const;
    std::string XLabelText() const;
    std::string YLabelText() const;
    std::int32_t ChannelKind() const { return kind_; }
    std::uint64_t TotalCount() const { return total_; }
    const std::vector<std::uint64_t>& Counts() const { return counts_; }
    const std::vector<double>& XData() const { return x_; }
    const std::vector<double>& YData() const { return y_; }

private:
    void FillDefaults();
    void Compute();
    void BuildPlot(PlotControl& plot);
    // Value of bin position i in an x unit, and back.
    double XOf(double i, int unit) const;
    double IndexOf(double x, int unit) const;

    ZunImage& sample_;
    std::vector<HistogramSliceEntry> slices_;
    std::string windowName_;
    int threads_;

    int channel_ = -1;
    std::int32_t kind_ = 0;
    double physMin_ = 0;
    double physSpan_ = 0;
    std::uint64_t sliceVoxels_ = 0;
    std::uint64_t total_ = 0;
    int sliceCount_ = 0;

    std::vector<std::uint64_t> counts_;
    HistVars current_;
    HistVars atOpening_;
    std::vector<double> x_;
    std::vector<double> y_;
    bool recompute_ = false;
    bool rebuild_ = false;
};

}  // namespace zun
