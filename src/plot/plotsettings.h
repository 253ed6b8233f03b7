#pragma once
// A plot's user settings moved between the document's PlotVars and a plot control, and the
// logic of the "Plot Properties" dialog, which edits a live plot change by change.

#include <string>

#include "model/histvars.h"
#include "plot/plotcontrol.h"

namespace zun {

// Fixed range of an axis: clears its autoscale, keeps its offset, repaints. Throws
// PlotError("Range must be >= 0.0") for a negative range.
void SetPlotXRange(PlotControl& ctrl, double range);
void SetPlotYRange(PlotControl& ctrl, double range);

void PlotVarsFromCtrl(PlotVars& vars, const PlotControl& ctrl);
// Applies every setting, repainting after each. A stored range that is negative or not a finite
// number, or an offset that is not finite (a damaged file), leaves the control's value as it is.
void ApplyPlotVarsToCtrl(const PlotVars& vars, PlotControl& ctrl);

// "%g" of the value in single precision, as the dialog shows numbers.
std::string FormatPlotValue(double v);
// Every "'old'" in the text replaced by "'new'"; false when the text holds none.
bool ReplaceQuotedName(std::string& text, const std::string& oldName, const std::string& newName);

enum class PlotAxisId { X, Y };

class PlotPropertiesModel {
public:
    struct AxisFields {
        bool grid = true;
        bool autoscale = true;
        bool log = false;
        bool showLabel = true;
        std::string range;
        std::string offset;
        std::string label;
    };
    struct Fields {
        bool showTitle = true;
        std::string title;
        bool showLegend = true;
        AxisFields x, y;
    };

    explicit PlotPropertiesModel(PlotControl& ctrl) : ctrl_(ctrl) {}

    // What every control shows, read from the plot.
    Fields Read() const;

    void SetShowTitle(bool on);
    void SetTitle(const std::string& text);
    void SetShowLegend(bool on);
    void SetGrid(PlotAxisId axis, bool on);
    void SetShowLabel(PlotAxisId axis, bool on);
    void SetLabel(PlotAxisId axis, const std::string& text);
    // Turning autoscale on re-ranges the axis at once.
    void SetAutoscale(PlotAxisId axis, bool on);
    void SetLog(PlotAxisId axis, bool on);

    // The edits' texts when they lose the focus: empty on success, else the message to show
    // ("Invalid XRange value", ...); the plot is unchanged then.
    std::string CommitRange(PlotAxisId axis, const std::string& text);
    std::string CommitOffset(PlotAxisId axis, const std::string& text);
    // A spin button on an edit: the text's value (or the axis's when the text holds none) plus
    // the delta; a range stops at 0. Returns the edit's new text.
    std::string SpinRange(PlotAxisId axis, const std::string& text, int delta);
    std::string SpinOffset(PlotAxisId axis, const std::string& text, int delta);

    PlotControl& Control() { return ctrl_; }

private:
    Axis& AxisOf(PlotAxisId axis);
    const Axis& AxisOf(PlotAxisId axis) const;
    Label& LabelOf(PlotAxisId axis);
    void SetRange(PlotAxisId axis, double range);

    PlotControl& ctrl_;
};

}  // namespace zun
