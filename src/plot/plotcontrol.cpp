#include "plot/plotcontrol.h"

#include <cmath>

#include "foundation/numformat.h"

namespace zun {
namespace {
// Thickness of a plain frame and of a three-dimensional edge, in pixels.
constexpr int kFrameWidth = 1;
constexpr int kEdgeWidth = 2;
}  // namespace

PixelRect PlotControl::InsetForBorder(const PixelRect& rect, int style) {
    const int d = style == kBorderBlack ? kFrameWidth
                                        : (style >= kBorderSunken && style <= kBorderEtched ? kEdgeWidth : 0);
    return {rect.left + d, rect.top + d, rect.right - d, rect.bottom - d};
}

void PlotControl::DrawBorder(PlotCanvas* canvas, const PixelRect& rect) {
    if (!canvas) return;
    if (borderStyle >= kBorderBlack && borderStyle <= kBorderEtched) canvas->DrawFrame(rect, borderStyle);
    graph_.Draw(*canvas, InsetForBorder(rect, borderStyle));
}

std::string PlotControl::GetYDataName(int i) const {
    if (i < 0 || i >= static_cast<int>(graph_.plot.series.size())) throw PlotError("Invalid YData index");
    return graph_.plot.series[static_cast<std::size_t>(i)].name;
}

bool PlotControl::DataPointAt(PixelPoint p, double* x, double* y) const {
    const Plot& plot = graph_.plot;
    const PixelRect& r = plot.Area();
    const int firstColumn = static_cast<int>(std::trunc(r.left + 0.5 + plot.LeftSpan()));
    const int lastColumn = static_cast<int>(std::trunc(r.left + 0.5 + plot.LeftSpan() + plot.WidthSpan()));
    const int topLimit = static_cast<int>(std::trunc(r.bottom - 0.5 - plot.BottomSpan() - plot.HeightSpan()));
    const int lastRow = static_cast<int>(std::trunc(r.bottom - 0.5 - plot.BottomSpan())) + 1;
    if (p.x < firstColumn || p.x > lastColumn || p.y <= topLimit || p.y > lastRow) return false;
    if (plot.WidthSpan() <= 0 || plot.HeightSpan() <= 0) return false;
    *x = graph_.xAxis.Unmap(((p.x - r.left) - plot.LeftSpan()) / plot.WidthSpan());
    *y = graph_.yAxis.Unmap(((r.bottom - p.y) - plot.BottomSpan()) / plot.HeightSpan());
    return true;
}

std::string PlotControl::TooltipText(double x, double y) {
    return FormatReal(3, x, "%.3g") + "," + FormatReal(3, y, "%.3g");
}

}  // namespace zun
