#include <algorithm>
#include <cmath>

#include "plot/graph.h"

namespace zun {

Graph::Graph(ColourRef face)
    : plot(this, face),
      xAxis(this, face),
      yAxis(this, face),
      title(face, "Title"),
      xLabel(face, "XLabel"),
      yLabel(face, "YLabel"),
      legend(this, face),
      corner(face) {
    // Demonstration series until a host fills its own.
    constexpr int kPoints = 501;
    demoX_.resize(kPoints);
    for (int i = 0; i < kPoints; ++i) demoX_[static_cast<std::size_t>(i)] = i / 500.0;
    demoY_.resize(3);
    plot.SetXData(&demoX_);
    for (int j = 0; j < 3; ++j) {
        std::vector<double>& y = demoY_[static_cast<std::size_t>(j)];
        y.resize(kPoints);
        for (int i = 0; i < kPoints; ++i)
            y[static_cast<std::size_t>(i)] = std::sin(6.2831852 * (demoX_[i] - j / 18.0));
        plot.AddYData(&y, kAutoColour, nullptr, "chan_" + std::to_string(j));
    }
}

std::vector<GraphComponent*> Graph::Components() {
    return {&plot, &xAxis, &yAxis, &title, &xLabel, &yLabel, &legend, &corner};
}

void Graph::SetFaceColour(ColourRef face) {
    for (GraphComponent* c : Components()) c->background = face == 0 ? 0xE0E0E0 : face;
}

void Graph::ReRangeAutoscaling() {
    if (xAxis.autoscale) xAxis.AutoRange();
    if (yAxis.autoscale) yAxis.AutoRange();
}

void Graph::SetXLog(bool b) {
    xAxis.SetLog(b);
    plot.SetXLog(b);
    ReRangeAutoscaling();
}

void Graph::SetYLog(bool b) {
    yAxis.SetLog(b);
    plot.SetYLog(b);
    ReRangeAutoscaling();
}

void Graph::Layout(PlotCanvas& canvas, const PixelRect& r) {
    const double h = r.Height(), w = r.Width();
    // Rectangles of one pixel or none (a window being collapsed) give 0 or a negative divisor:
    // every fraction stays within 0..1 all the same.
    auto part = [](double v, double limit) {
        return std::clamp(std::isnan(v) ? limit : v, 0.0, std::max(limit, 0.0));
    };
    const double xl = showXLabel ? part(canvas.MeasureText("0", false).height / h, 1) : 0;
    const double xa = part((canvas.MeasureText("0", false).height + 5) / (h - 1), 1 - xl);
    const double ti = showTitle ? part(canvas.MeasureText("0", false).height / h, 1 - xl - xa) : 0;
    const double ph = 1 - xl - xa - ti;
    const double yl = showYLabel ? part(canvas.MeasureText("0", true).height / (w - 1), 1) : 0;
    const std::string sample(static_cast<std::size_t>(std::clamp(yAxis.labelWidth, 0, 64)), '0');
    const double ya = part((canvas.MeasureText(sample, false).width + 5) / (w - 1), 1 - yl);
    // A fifth of the width, or what the longest series name needs (two characters each side),
    // up to nearly half of it: a name is never cut at the window's edge.
    double legendShare = 0.2;
    if (showLegend) {
        double widest = 0;
        for (const Plot::Series& s : plot.series)
            widest = std::max(widest, canvas.MeasureText(s.name, false).width);
        const double need = (widest + 4 * canvas.MeasureText("0", false).width) / (w - 1);
        legendShare = std::clamp(std::isnan(need) ? 0.2 : need, 0.2, 0.45);
    }
    const double lg = showLegend ? part(legendShare, 1 - yl - ya) : 0;
    const double pw = 1 - yl - ya - lg;

    auto place = [](GraphComponent& c, double W, double X0, double H, double Y0) {
        c.W = W;
        c.X0 = X0;
        c.H = H;
        c.Y0 = Y0;
    };
    place(plot, pw, yl + ya, ph, xl + xa);
    place(xAxis, pw, yl + ya, xa, xl);
    place(yAxis, ya, yl, ph, xl + xa);
    place(xLabel, pw, yl + ya, xl, 0);
    place(yLabel, yl, 0, ph, xl + xa);
    place(title, 1, 0, ti, 1 - ti);
    place(legend, lg, 1 - lg, 1 - ti, 0);
    place(corner, yl + ya, 0, xl + xa, 0);
}

void Graph::Draw(PlotCanvas& canvas, const PixelRect& r) {
    Layout(canvas, r);
    for (GraphComponent* c : Components()) c->SetArea(&canvas, r);
    for (GraphComponent* c : Components()) c->FillBackground();
    legend.Draw();
    title.Draw();
    xLabel.Draw();
    yLabel.Draw();
    xAxis.Draw();
    yAxis.Draw();
    plot.Draw();
}

}  // namespace zun
