#include <algorithm>
#include <cmath>
#include <limits>

#include "plot/graph.h"

namespace zun {
namespace {
constexpr ColourRef kMajorGridColour = 0xA0A0A0;
constexpr ColourRef kMinorGridColour = 0xC0C0C0;

bool FlagSet(const PlotFlags* flags, std::size_t i) {
    return flags && i < flags->size() && (*flags)[i] != 0;
}
}  // namespace

ColourRef PickAutoColour(const std::vector<ColourRef>& used) {
    for (ColourRef c : PlotSeriesPalette())
        if (std::find(used.begin(), used.end(), c) == used.end()) return c;
    return 0;
}

void Plot::ReRangeAxes() {
    if (graph_->xAxis.autoscale) graph_->xAxis.AutoRange();
    if (graph_->yAxis.autoscale) graph_->yAxis.AutoRange();
}

void Plot::SetXData(const std::vector<double>* x, const PlotFlags* breaks) {
    if (!x) throw PlotError("X data pointer cannot be NULL");
    xData = x;
    xBreaks = breaks;
    ReRangeAxes();
}

void Plot::AddYData(const std::vector<double>* y, ColourRef colour, const PlotFlags* breaks,
                    const std::string& name) {
    if (!y) throw PlotError("Y data pointer cannot be NULL");
    if (colour == kAutoColour) {
        std::vector<ColourRef> used;
        for (const Series& s : series) used.push_back(s.colour);
        colour = PickAutoColour(used);
    }
    series.push_back({y, breaks, colour, name});
    ReRangeAxes();
}

int Plot::AddMarker(double x, double yLow, double yHigh, ColourRef colour) {
    if (!(yLow >= 0 && yLow <= 1 && yHigh >= 0 && yHigh <= 1))
        throw PlotError("Both ymin and ymax have an allowed range of 0.0-1.0");
    if (colour == kAutoColour) {
        std::vector<ColourRef> used;
        for (const Marker& m : markers) used.push_back(m.colour);
        colour = PickAutoColour(used);
    }
    markers.push_back({x, std::min(yLow, yHigh), std::max(yLow, yHigh), colour, kDotLine});
    return static_cast<int>(markers.size()) - 1;
}

void Plot::RemoveMarker(int index) {
    if (index < 0 || index >= static_cast<int>(markers.size())) throw PlotError("Invalid marker index");
    markers.erase(markers.begin() + index);
}

void Plot::ClearMarkers() {
    while (!markers.empty()) RemoveMarker(0);
}

bool Plot::VectorRange(const std::vector<double>* v, std::size_t a, std::size_t b, bool positivesOnly,
                       double* span, double* min) {
    *span = 0;
    *min = 0;
    if (!v || v->empty()) return true;
    if (b == 0 || b > v->size()) b = v->size();
    if (a >= b) return true;
    double lo = std::numeric_limits<double>::max(), hi = -std::numeric_limits<double>::max();
    bool nan = false;
    for (std::size_t i = a; i < b; ++i) {
        const double d = (*v)[i];
        if (std::isnan(d)) {
            nan = true;
            break;
        }
        if (positivesOnly && !(d > 0)) continue;
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    const double s = hi - lo;
    if (nan || !(s >= 0)) {
        *span = 0;
        *min = 0;
        return false;
    }
    *span = s;
    *min = lo;
    return true;
}

bool Plot::PositiveExtent(const std::vector<double>& y, bool positivesOnly, std::size_t* begin,
                          std::size_t* end) {
    const std::size_t n = y.size();
    std::size_t a = 0;
    while (a < n && y[a] <= 0 && (positivesOnly || y[a] == 0)) ++a;
    std::size_t b = n;
    while (b > a && y[b - 1] <= 0 && (positivesOnly || y[b - 1] == 0)) --b;
    if (a >= b) return false;
    *begin = a;
    *end = b;
    return true;
}

bool Plot::XDataRange(bool positivesOnly, double* span, double* min) const {
    if (!xRangeBySeries) return VectorRange(xData, 0, 0, positivesOnly, span, min);
    std::size_t first = std::numeric_limits<std::size_t>::max(), last = 0;
    for (const Series& s : series) {
        std::size_t a = 0, b = 0;
        if (!s.y || !PositiveExtent(*s.y, positivesOnly, &a, &b)) {
            *span = *min = 0;
            return false;
        }
        first = std::min(first, a);
        last = std::max(last, b);
    }
    if (first >= last) {
        *span = *min = 0;
        return true;
    }
    return VectorRange(xData, first, last, positivesOnly, span, min);
}

bool Plot::YDataRange(bool positivesOnly, double* span, double* min) const {
    *span = *min = 0;
    if (series.empty()) return true;
    double lo = std::numeric_limits<double>::max(), hi = -std::numeric_limits<double>::max();
    for (const Series& s : series) {
        std::size_t a = 0, b = 0;
        if (xRangeBySeries && s.y && !PositiveExtent(*s.y, positivesOnly, &a, &b)) return false;
        double sp = 0, mn = 0;
        if (!VectorRange(s.y, a, b, positivesOnly, &sp, &mn)) return false;
        lo = std::min(lo, mn);
        hi = std::max(hi, mn + sp);
    }
    *span = hi - lo;
    *min = lo;
    return true;
}

void Plot::DrawGrid(const Axis& axis) {
    const bool isX = axis.IsXAxis();
    for (double t : axis.TickPositions()) {
        const double p = axis.Map(t);
        if (p == 0) continue;
        lineColour = axis.IsMajorTick(t) ? kMajorGridColour : kMinorGridColour;
        lineStyle = kSolidLine;
        SelectLinePen();
        MoveTo(isX ? LocalPoint{p, 0} : LocalPoint{0, p});
        LineTo(isX ? LocalPoint{p, 1} : LocalPoint{1, p});
    }
}

void Plot::DrawSeries(const Series& s) {
    const Axis& ax = graph_->xAxis;
    const Axis& ay = graph_->yAxis;
    const std::vector<double>& x = *xData;
    const std::vector<double>& y = *s.y;
    const PlotFlags* xb = xBreaks && !xBreaks->empty() ? xBreaks : nullptr;
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 0) return;
    lineColour = s.colour;
    lineStyle = kSolidLine;
    SelectLinePen();
    // Unbroken runs go to the canvas as one polyline each; every run ends with its last pixel
    // set, as a point-by-point drawing would leave it.
    std::vector<PixelPoint> run;
    run.reserve(std::min<std::size_t>(n, 1 << 16));
    auto flush = [&] {
        if (run.size() > 1) canvas_->DrawPolyline(run);
        canvas_->SetPixel(run.back(), lineColour);
        run.clear();
    };
    for (std::size_t i = 0; i < n; ++i) {
        const LocalPoint p{ax.Map(x[i]), ay.Map(y[i])};
        if (i > 0 && (FlagSet(xb, i) || FlagSet(s.breaks, i))) flush();
        // Dense series put many points on one pixel: drawing it again changes nothing.
        const PixelPoint px = ToPixel(p);
        if (run.empty() || !(px == run.back())) run.push_back(px);
        current = p;
    }
    flush();
}

void Plot::Draw() {
    if (!Visible() || !canvas_) return;
    lineColour = 0;
    lineStyle = kSolidLine;
    SelectLinePen();
    BeginDraw();
    MoveTo({0, 1});
    LineTo({1, 1});
    LineTo({1, 0});
    if (xGrid) DrawGrid(graph_->xAxis);
    if (yGrid) DrawGrid(graph_->yAxis);
    if (xData && !xData->empty()) {
        for (const Series& s : series)
            if (s.y && !s.y->empty()) DrawSeries(s);
    }
    for (const Marker& m : markers) {
        lineColour = m.colour;
        lineStyle = m.lineStyle;
        SelectLinePen();
        const double px = graph_->xAxis.Map(m.x);
        canvas_->DrawLine(ToPixel({px, m.yLow}), ToPixel({px, m.yHigh}));
        current = {px, m.yHigh};
    }
    lineColour = 0;
    lineStyle = kSolidLine;
    EndDraw();
}

}  // namespace zun
