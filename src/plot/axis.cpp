#include <cmath>
#include <limits>

#include "foundation/numformat.h"
#include "plot/graph.h"

namespace zun {
namespace {
constexpr double kMajorTickPixels = 5;
constexpr double kMinorTickPixels = 3;
}  // namespace

Axis::Axis(Graph* graph, ColourRef face) : GraphComponent(face), graph_(graph) {}

double Axis::Map(double v) const {
    if (!log) return range == 0 ? 0 : (v - offset) / range;
    // A log axis starting at or below 0 has no position for anything.
    if (v <= 0 || offset <= 0) return -1;
    if (range == 0) return 0;
    const double lo = std::log10(offset);
    return (std::log10(v) - lo) / (std::log10(offset + range) - lo);
}

double Axis::Unmap(double p) const {
    if (!log) return range * p + offset;
    if (offset <= 0) return -1;
    const double lo = std::log10(offset);
    return std::pow(10.0, lo + p * (std::log10(offset + range) - lo));
}

bool Axis::SplitDecade(double v, double* mantissa, int* exponent) {
    if (!(v > 0) || !std::isfinite(v)) return false;
    double l = std::log10(v);
    if (std::fabs(std::floor(l + 0.5) - l) < 1e-7) l = std::floor(l + 0.5);
    const double e = std::floor(l);
    double m = std::pow(10.0, l - e);
    if (std::fabs(std::floor(m + 0.5) - m) < 1e-7) m = std::floor(m + 0.5);
    *mantissa = m;
    *exponent = static_cast<int>(e);
    return true;
}

void Axis::SetTickStep(double r) {
    double m = 0;
    int e = 0;
    if (!(r > 0) || !SplitDecade(r, &m, &e)) {
        tickStep = 0.5;
        minorCount = 4;
        return;
    }
    if (m < 1.99) {
        tickStep = 5 * std::pow(10.0, e - 1);
        minorCount = 4;
    } else if (m < 4.99) {
        tickStep = std::pow(10.0, e);
        minorCount = 4;
    } else if (m < 9.99) {
        tickStep = 2 * std::pow(10.0, e);
        minorCount = 3;
    } else {
        tickStep = 5 * std::pow(10.0, e);
        minorCount = 4;
    }
}

void Axis::AutoRange() {
    double span = 0, min = 0;
    const Plot& plot = graph_->plot;
    const bool ok = IsXAxis() ? plot.XDataRange(log, &span, &min) : plot.YDataRange(log, &span, &min);
    if (!ok) span = min = 0;
    SetTickStep(span);
    if (IsXAxis()) {
        offset = min;
        range = span;
        return;
    }
    if (!log) {
        const double s = MinorSpacing();
        double low = std::floor(min / s) * s;
        if (low > min) low -= s;
        const double high = std::ceil((min + span) / s) * s;
        offset = low;
        range = high - low;
    } else if (min > 0) {
        double m1 = 0, m2 = 0;
        int e1 = 0, e2 = 0;
        SplitDecade(min, &m1, &e1);
        SplitDecade(min + span, &m2, &e2);
        const double low = std::floor(m1) * std::pow(10.0, e1);
        const double high = std::ceil(m2) * std::pow(10.0, e2);
        offset = low;
        range = high - low;
    } else {
        offset = min;
        range = span;
    }
}

bool Axis::FirstTick(double* t) const {
    double first = 0;
    if (!log) {
        const double s = MinorSpacing();
        if (!(s > 0) || !std::isfinite(offset)) return false;
        first = std::trunc(offset / s) * s;
        // A step below the resolution of the offset cannot move it: give up after a few tries.
        for (int i = 0; first < offset && i < 4; ++i) first += s;
        if (first < offset) return false;
    } else {
        double m = 0;
        int e = 0;
        if (!SplitDecade(offset, &m, &e)) return false;
        first = std::ceil(m) * std::pow(10.0, e);
    }
    if (first > offset + range) return false;
    *t = first;
    return true;
}

double Axis::NextLogTick(double t) {
    double m = 0;
    int e = 0;
    if (!SplitDecade(t, &m, &e)) return std::numeric_limits<double>::infinity();
    const double next = m == std::floor(m) ? m + 1 : std::ceil(m);
    return next * std::pow(10.0, e);
}

bool Axis::IsMajorTick(double t) const {
    if (!log) {
        if (minorCount == 0) return true;
        return std::fabs(std::floor(t / tickStep + 0.5) * tickStep - t) < 0.5 * tickStep / (minorCount + 1);
    }
    double m = 0;
    int e = 0;
    if (!SplitDecade(t, &m, &e)) return false;
    return m < 1.25 || (m > 1.75 && m < 2.25) || (m > 4.75 && m < 5.25) || m > 9.75;
}

std::vector<double> Axis::TickPositions() const {
    std::vector<double> ticks;
    double first = 0;
    if (!FirstTick(&first)) return ticks;
    const double end = offset + range;
    if (!log) {
        const double s = MinorSpacing();
        for (int i = 0; i < kMaxTicks; ++i) {
            const double t = first + i * s;
            if (!(t <= end)) break;
            ticks.push_back(t);
        }
    } else {
        for (double t = first; t <= end && static_cast<int>(ticks.size()) < kMaxTicks; t = NextLogTick(t))
            ticks.push_back(t);
    }
    return ticks;
}

void Axis::DrawTickMark(double t, bool major) {
    const double n = major ? kMajorTickPixels : kMinorTickPixels;
    const double len = PixelToLocal(n, n).y;
    MoveTo({Map(t), 0});
    LineTo({Map(t), len});
}

double Axis::DrawTickLabel(double t, double previousEnd) {
    DrawTickMark(t, true);
    const double len = PixelToLocal(kMajorTickPixels, kMajorTickPixels).y;
    const std::string text = FormatReal(static_cast<float>(t), -1, "%g");
    const LocalPoint e = TextExtent(text);
    const double half = e.x / 2;
    double c = std::max(Map(t), half);
    if (!(c < 1 - half)) c = 1 - half;
    current.x = c;
    if (previousEnd >= 0 && c - half <= previousEnd) return previousEnd;
    const int flags = IsXAxis() ? (kPlaceCentre | kPlaceTop) : (kPlaceCentre | kPlaceBottom);
    DrawTextAt(PlaceText({c, len}, text, flags), text);
    return c + half;
}

void Axis::Draw() {
    if (!Visible()) return;
    SelectLinePen();
    BeginDraw();
    MoveTo({0, 0});
    LineTo({1, 0});
    double end = -1;
    for (double t : TickPositions()) {
        if (!IsMajorTick(t))
            DrawTickMark(t, false);
        else if (log)
            end = DrawTickLabel(t, end);
        else
            DrawTickLabel(t, -1);
    }
    EndDraw();
}

PixelPoint XAxis::ToPixel(LocalPoint p) const {
    return BasePixel({p.x, 1 - p.y});
}

PixelPoint YAxis::ToPixel(LocalPoint p) const {
    return BasePixel({1 - p.y, p.x});
}

LocalPoint YAxis::PixelToLocal(double dx, double dy) const {
    const LocalPoint s = BasePixelToLocal(dx, dy);
    return {s.y, s.x};
}

LocalPoint YAxis::PlaceText(LocalPoint anchor, const std::string& text, int flags) const {
    LocalPoint p = GraphComponent::PlaceText(anchor, text, flags);
    p.x += TextExtent(text).x;
    return p;
}

}  // namespace zun
