#pragma once
// What a plot window is without its widget: one graph, the frame drawn around it, the texts
// exports read, and the data coordinates under the mouse. Windows repaint through `invalidate`.

#include <cstdint>
#include <functional>
#include <string>

#include "plot/graph.h"

namespace zun {

class PlotControl {
public:
    explicit PlotControl(ColourRef face = kDefaultFaceColour) : graph_(face) {}

    Graph& GetGraph() { return graph_; }
    const Graph& GetGraph() const { return graph_; }

    // Frame (styles 0-5) and graph into the rectangle; the graph is inset by the frame.
    void DrawBorder(PlotCanvas* canvas, const PixelRect& rect);
    static PixelRect InsetForBorder(const PixelRect& rect, int style);

    // Throws PlotError("Invalid YData index") for an index that names no series.
    std::string GetYDataName(int i) const;
    std::string GetTitle() const { return graph_.title.text; }
    std::string GetXLabel() const { return graph_.xLabel.text; }
    std::string GetYLabel() const { return graph_.yLabel.text; }

    // The data point under a pixel of the last drawing; false outside the data area.
    bool DataPointAt(PixelPoint p, double* x, double* y) const;
    // "x,y" with three significant digits each.
    static std::string TooltipText(double x, double y);

    // Asks the window to repaint (no-op without a window).
    void Invalidate() const {
        if (invalidate) invalidate();
    }
    std::function<void()> invalidate;

    std::int16_t borderStyle = kBorderSunken;

private:
    Graph graph_;
};

}  // namespace zun
