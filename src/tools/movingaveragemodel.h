#pragma once
// What the "Moving-volume average" dialog shows, checks and runs: its fields and defaults, the
// run record, the sample average behind "Compute average" and "Auto", and the start of the
// averaging as a step of the document's controller.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "tools/channeltoolsteps.h"
#include "tools/movingaverage.h"

namespace zun {

class CZunDoc;

class MovingAverageModel {
public:
    // The grid must have no zero extent (the opener refuses with kGridTooSmall).
    MovingAverageModel(CZunDoc& doc, int input);
    static bool GridUsable(const CZunDoc& doc);

    const std::string& InputName() const { return channels_[static_cast<std::size_t>(input_)]; }
    const std::vector<std::string>& Channels() const { return channels_; }
    int Output() const { return output_; }
    void SetOutput(int i) { output_ = i; }

    // The boundary combo: the boundary names then "<None selected>", or "<None exist>" alone.
    std::vector<std::string> BoundaryEntries() const;
    bool BoundaryEnabled() const { return !boundaries_.empty(); }
    int BoundarySelection() const { return boundary_; }
    void SetBoundarySelection(int i) { boundary_ = i; }

    bool Auto() const { return auto_; }
    void SetAuto(bool on) { auto_ = on; }
    float Expected() const { return expected_; }
    std::string ExpectedText() const { return expectedText_; }
    // Edit texts that are no number keep the previous value (false).
    bool SetExpectedText(const std::string& text);

    static std::vector<std::string> GeometryNames();
    int Geometry() const { return geometry_; }
    void SetGeometry(int g) { geometry_ = g; }
    std::string DimensionLabel() const;
    bool ShowsRegion() const { return geometry_ >= kSliceXY; }
    // Three texts (x, y, z) for geometries 0, 1; four (a0, b0, a1, b1) for 2..4.
    std::vector<std::string> DimensionTexts() const;
    bool SetDimensionText(int i, const std::string& text);

    bool KeepOutside() const { return keepOutside_; }
    void SetKeepOutside(bool on) { keepOutside_ = on; }
    std::string SetValueText() const;
    std::string IterationsText() const;

    // "Compute average": E from the voxels inside the selected boundary; the message to show or
    // empty.
    std::string ComputeAverage();

    // "Execute" with the texts of the set-value and iterations edits. Returns the message that
    // refused the run, or empty when the step started (`done` then follows on the UI thread).
    std::string Execute(const std::string& setValueText, const std::string& iterationsText,
                        ToolDone done = {});
    // Asks a running averaging to stop (nothing is written).
    void Stop();
    // The record the last Execute built (without its end line).
    const std::string& Record() const { return record_; }
    ToolProgress& Progress() { return *progress_; }
    // The fast form of the averaging (default) or the direct reference form.
    void SetDirect(bool direct) { direct_ = direct; }

private:
    int BoundaryChannel() const;
    std::string BuildRecord();

    CZunDoc& doc_;
    int input_;
    int output_;
    std::vector<std::string> channels_;
    std::vector<int> boundaries_;
    int boundary_ = 0;
    int geometry_ = kEllipsoid;
    bool auto_ = false;
    float expected_ = 0;
    std::string expectedText_;
    std::array<std::array<float, 3>, 5> dims_{};
    std::array<std::array<int, 4>, 5> regions_{};  // {a0, a1, b0, b1}
    bool keepOutside_ = true;
    double setValue_ = 0.0;
    int iterations_ = 1;
    bool direct_ = false;
    std::string record_;
    std::shared_ptr<ToolProgress> progress_ = std::make_shared<ToolProgress>();
};

// The sample average of a channel's physical values over the voxels whose boundary word is not 0
// (all voxels without a boundary). False when no voxel counted.
bool SampleAverage(const CZunDoc& doc, int channel, int boundary, double& average);

}  // namespace zun
