#include "plot/plotsettings.h"

#include <cmath>

#include "foundation/numformat.h"

namespace zun {
namespace {

void SetAxisRange(PlotControl& ctrl, Axis& axis, double range) {
    if (range < 0) throw PlotError("Range must be >= 0.0");
    axis.SetTickStep(range);
    axis.autoscale = false;
    axis.range = range;
    ctrl.Invalidate();
}

void AxisFromCtrl(AxisVars& v, const Axis& axis, bool grid, bool log, const Label& label, bool showLabel) {
    v.grid = grid;
    v.autoscale = axis.autoscale;
    v.log = log;
    v.range = axis.range;
    v.offset = axis.offset;
    v.showLabel = showLabel;
    v.label = label.text;
}

// A number typed into a range or offset edit: single precision, finite.
bool ParseEditNumber(const std::string& text, double* value) {
    float f = 0;
    if (ScanString(text, "%f", &f) != 0 || !std::isfinite(f)) return false;
    *value = f;
    return true;
}

}  // namespace

void SetPlotXRange(PlotControl& ctrl, double range) {
    SetAxisRange(ctrl, ctrl.GetGraph().xAxis, range);
}
void SetPlotYRange(PlotControl& ctrl, double range) {
    SetAxisRange(ctrl, ctrl.GetGraph().yAxis, range);
}

void PlotVarsFromCtrl(PlotVars& vars, const PlotControl& ctrl) {
    const Graph& g = ctrl.GetGraph();
    vars.showTitle = g.showTitle;
    vars.title = g.title.text;
    vars.showLegend = g.showLegend;
    AxisFromCtrl(vars.xAxis, g.xAxis, g.plot.xGrid, g.IsXLog(), g.xLabel, g.showXLabel);
    AxisFromCtrl(vars.yAxis, g.yAxis, g.plot.yGrid, g.IsYLog(), g.yLabel, g.showYLabel);
}

void ApplyPlotVarsToCtrl(const PlotVars& vars, PlotControl& ctrl) {
    Graph& g = ctrl.GetGraph();
    g.showTitle = vars.showTitle;
    ctrl.Invalidate();
    g.title.text = vars.title;
    ctrl.Invalidate();
    g.showLegend = vars.showLegend;
    ctrl.Invalidate();
    auto applyAxis = [&](const AxisVars& v, Axis& axis, bool& grid, bool isX, bool& showLabel, Label& label) {
        if (std::isfinite(v.range) && v.range >= 0)
            SetAxisRange(ctrl, axis, v.range);
        else
            axis.autoscale = false;
        if (std::isfinite(v.offset)) axis.offset = v.offset;
        axis.autoscale = false;
        ctrl.Invalidate();
        grid = v.grid;
        ctrl.Invalidate();
        if (isX)
            g.SetXLog(v.log);
        else
            g.SetYLog(v.log);
        ctrl.Invalidate();
        if (v.autoscale && !axis.autoscale) axis.AutoRange();
        axis.autoscale = v.autoscale;
        ctrl.Invalidate();
        showLabel = v.showLabel;
        ctrl.Invalidate();
        label.text = v.label;
        ctrl.Invalidate();
    };
    applyAxis(vars.xAxis, g.xAxis, g.plot.xGrid, true, g.showXLabel, g.xLabel);
    applyAxis(vars.yAxis, g.yAxis, g.plot.yGrid, false, g.showYLabel, g.yLabel);
}

std::string FormatPlotValue(double v) {
    return FormatReal(static_cast<float>(v), -1, "%g");
}

bool ReplaceQuotedName(std::string& text, const std::string& oldName, const std::string& newName) {
    const std::string from = "'" + oldName + "'", to = "'" + newName + "'";
    std::size_t pos = text.find(from);
    if (pos == std::string::npos) return false;
    for (; pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return true;
}

// ---- the dialog's logic

Axis& PlotPropertiesModel::AxisOf(PlotAxisId a) {
    return a == PlotAxisId::X ? static_cast<Axis&>(ctrl_.GetGraph().xAxis) : ctrl_.GetGraph().yAxis;
}
const Axis& PlotPropertiesModel::AxisOf(PlotAxisId a) const {
    return a == PlotAxisId::X ? static_cast<const Axis&>(ctrl_.GetGraph().xAxis) : ctrl_.GetGraph().yAxis;
}
Label& PlotPropertiesModel::LabelOf(PlotAxisId a) {
    return a == PlotAxisId::X ? static_cast<Label&>(ctrl_.GetGraph().xLabel) : ctrl_.GetGraph().yLabel;
}

PlotPropertiesModel::Fields PlotPropertiesModel::Read() const {
    const Graph& g = ctrl_.GetGraph();
    Fields f;
    f.showTitle = g.showTitle;
    f.title = g.title.text;
    f.showLegend = g.showLegend;
    auto axis = [](const Axis& a, bool grid, bool showLabel, const Label& label) {
        AxisFields af;
        af.grid = grid;
        af.autoscale = a.autoscale;
        af.log = a.IsLog();
        af.showLabel = showLabel;
        af.range = FormatPlotValue(a.range);
        af.offset = FormatPlotValue(a.offset);
        af.label = label.text;
        return af;
    };
    f.x = axis(g.xAxis, g.plot.xGrid, g.showXLabel, g.xLabel);
    f.y = axis(g.yAxis, g.plot.yGrid, g.showYLabel, g.yLabel);
    return f;
}

void PlotPropertiesModel::SetShowTitle(bool on) {
    ctrl_.GetGraph().showTitle = on;
    ctrl_.Invalidate();
}
void PlotPropertiesModel::SetTitle(const std::string& text) {
    ctrl_.GetGraph().title.text = text;
    ctrl_.Invalidate();
}
void PlotPropertiesModel::SetShowLegend(bool on) {
    ctrl_.GetGraph().showLegend = on;
    ctrl_.Invalidate();
}
void PlotPropertiesModel::SetGrid(PlotAxisId a, bool on) {
    (a == PlotAxisId::X ? ctrl_.GetGraph().plot.xGrid : ctrl_.GetGraph().plot.yGrid) = on;
    ctrl_.Invalidate();
}
void PlotPropertiesModel::SetShowLabel(PlotAxisId a, bool on) {
    (a == PlotAxisId::X ? ctrl_.GetGraph().showXLabel : ctrl_.GetGraph().showYLabel) = on;
    ctrl_.Invalidate();
}
void PlotPropertiesModel::SetLabel(PlotAxisId a, const std::string& text) {
    LabelOf(a).text = text;
    ctrl_.Invalidate();
}

void PlotPropertiesModel::SetAutoscale(PlotAxisId a, bool on) {
    Axis& axis = AxisOf(a);
    if (on && !axis.autoscale) axis.AutoRange();
    axis.autoscale = on;
    ctrl_.Invalidate();
}

void PlotPropertiesModel::SetLog(PlotAxisId a, bool on) {
    if (a == PlotAxisId::X)
        ctrl_.GetGraph().SetXLog(on);
    else
        ctrl_.GetGraph().SetYLog(on);
    ctrl_.Invalidate();
}

void PlotPropertiesModel::SetRange(PlotAxisId a, double range) {
    if (a == PlotAxisId::X)
        SetPlotXRange(ctrl_, range);
    else
        SetPlotYRange(ctrl_, range);
}

std::string PlotPropertiesModel::CommitRange(PlotAxisId a, const std::string& text) {
    double v = 0;
    if (!ParseEditNumber(text, &v) || v < 0)
        return a == PlotAxisId::X ? "Invalid XRange value" : "Invalid YRange value";
    SetRange(a, v);
    return {};
}

std::string PlotPropertiesModel::CommitOffset(PlotAxisId a, const std::string& text) {
    double v = 0;
    if (!ParseEditNumber(text, &v)) return a == PlotAxisId::X ? "Invalid XOffs value" : "Invalid YOffs value";
    Axis& axis = AxisOf(a);
    axis.offset = v;
    axis.autoscale = false;
    ctrl_.Invalidate();
    return {};
}

std::string PlotPropertiesModel::SpinRange(PlotAxisId a, const std::string& text, int delta) {
    double v = 0;
    if (!ParseEditNumber(text, &v)) v = AxisOf(a).range;
    v += delta;
    if (v < 0) v = 0;
    SetRange(a, v);
    return FormatPlotValue(v);
}

std::string PlotPropertiesModel::SpinOffset(PlotAxisId a, const std::string& text, int delta) {
    double v = 0;
    if (!ParseEditNumber(text, &v)) v = AxisOf(a).offset;
    v += delta;
    Axis& axis = AxisOf(a);
    axis.offset = v;
    axis.autoscale = false;
    ctrl_.Invalidate();
    return FormatPlotValue(v);
}

}  // namespace zun
