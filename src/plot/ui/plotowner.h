#pragma once
// What a window that hosts a plot and a "Plot Properties..." button offers the plot-properties
// dialog: its plot, and word that the dialog has closed.

namespace zun {

class PlotWidget;

class AtplotOwner {
public:
    virtual ~AtplotOwner() = default;
    virtual PlotWidget* GetPlotCtrl() = 0;
    // The dialog has closed: the owner enables its button again and lets the dialog go.
    virtual void PlotPropertiesClosed() = 0;
};

}  // namespace zun
