#include <algorithm>
#include <cmath>

#include "plot/graph.h"

namespace zun {
namespace {

// Pixel coordinates stay well inside int: a point far outside the area (a value off a log axis,
// say) still lands clipped instead of overflowing.
int ToPixelCoordinate(double v) {
    constexpr double kLimit = 1 << 30;
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

}  // namespace

GraphComponent::GraphComponent(ColourRef face) : background(face == 0 ? 0xE0E0E0 : face) {}

void GraphComponent::SetArea(PlotCanvas* canvas, const PixelRect& r) {
    canvas_ = canvas;
    area_ = r;
    const double w1 = r.Width() - 1, h1 = r.Height() - 1;
    widthSpan_ = w1 * W;
    leftSpan_ = w1 * X0;
    heightSpan_ = h1 * H;
    bottomSpan_ = h1 * Y0;
}

PixelPoint GraphComponent::BasePixel(LocalPoint p) const {
    const double w1 = area_.Width() - 1, h1 = area_.Height() - 1;
    const int x = ToPixelCoordinate(w1 * W * p.x + w1 * X0 + 0.5);
    const int y = ToPixelCoordinate(h1 * H * p.y + h1 * Y0 + 0.5);
    return {area_.left + x, area_.bottom - 1 - y};
}

LocalPoint GraphComponent::BasePixelToLocal(double dx, double dy) const {
    const double w1 = area_.Width() - 1, h1 = area_.Height() - 1;
    return {dx / w1 / W, dy / h1 / H};
}

PixelPoint GraphComponent::ToPixel(LocalPoint p) const {
    return BasePixel(p);
}

LocalPoint GraphComponent::PixelToLocal(double dx, double dy) const {
    return BasePixelToLocal(dx, dy);
}

TextSize GraphComponent::MeasureRaw(const std::string& text) const {
    return canvas_ ? canvas_->MeasureText(text, verticalFont_) : TextSize{};
}

LocalPoint GraphComponent::TextExtent(const std::string& text) const {
    const TextSize s = MeasureRaw(text);
    return PixelToLocal(s.width, s.height);
}

LocalPoint GraphComponent::PlaceText(LocalPoint anchor, const std::string& text, int flags) const {
    const LocalPoint e = TextExtent(text);
    LocalPoint p;
    if (flags & kPlaceCentre)
        p.x = anchor.x - e.x / 2;
    else if (flags & kPlaceRight)
        p.x = anchor.x - e.x;
    else
        p.x = anchor.x;
    if (flags & kPlaceTop)
        p.y = anchor.y;
    else if (flags & kPlaceMiddle)
        p.y = anchor.y + e.y / 2;
    else
        p.y = anchor.y + e.y;
    return p;
}

PixelRect GraphComponent::PixelRectangle() const {
    const PixelPoint a = ToPixel({0, 0}), b = ToPixel({1, 1});
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1, std::max(a.y, b.y) + 1};
}

void GraphComponent::BeginDraw() {
    if (!canvas_) return;
    canvas_->Save();
    canvas_->SetClip(PixelRectangle());
    canvas_->SetPen(lineColour, lineStyle);
}

void GraphComponent::EndDraw() {
    if (canvas_) canvas_->Restore();
}

void GraphComponent::FillBackground() {
    if (canvas_ && Visible()) canvas_->FillRect(PixelRectangle(), background);
}

void GraphComponent::SelectLinePen() {
    if (canvas_) canvas_->SetPen(lineColour, std::clamp(lineStyle, 0, 4));
}

void GraphComponent::MoveTo(LocalPoint p) {
    current = p;
}

void GraphComponent::LineTo(LocalPoint p) {
    if (canvas_) {
        const PixelPoint to = ToPixel(p);
        canvas_->DrawLine(ToPixel(current), to);
        canvas_->SetPixel(to, lineColour);
    }
    current = p;
}

void GraphComponent::PlotPoint() {
    if (canvas_) canvas_->SetPixel(ToPixel(current), lineColour);
}

void GraphComponent::DrawTextAt(LocalPoint topLeft, const std::string& text) {
    if (canvas_) canvas_->DrawText(ToPixel(topLeft), text, verticalFont_);
}

// ---- labels

void Label::Draw() {
    if (!Visible()) return;
    SelectLinePen();
    BeginDraw();
    DrawTextAt(PlaceText({0.5, 0.5}, text, kPlaceCentre | kPlaceMiddle), text);
    EndDraw();
}

VLabel::VLabel(ColourRef face, std::string t) : Label(face, std::move(t)) {
    verticalFont_ = true;
}

PixelPoint VLabel::ToPixel(LocalPoint p) const {
    return BasePixel({1 - p.y, p.x});
}

LocalPoint VLabel::PixelToLocal(double dx, double dy) const {
    const LocalPoint s = BasePixelToLocal(dx, dy);
    return {s.y, s.x};
}

LocalPoint VLabel::TextExtent(const std::string& text) const {
    const TextSize s = MeasureRaw(text);
    return PixelToLocal(s.height, s.width);
}

// ---- legend

void Legend::Draw() {
    if (!Visible()) return;
    SelectLinePen();
    BeginDraw();
    const LocalPoint c = TextExtent("0");
    const double x = 2 * c.x;
    double y = 1.0;
    for (const Plot::Series& s : graph_->plot.series) {
        DrawTextAt(PlaceText({x, y}, s.name, kPlaceTop | kPlaceLeft), s.name);
        y -= c.y;
        lineColour = s.colour;
        lineStyle = kSolidLine;
        SelectLinePen();
        MoveTo({x, y});
        LineTo({1 - 2 * c.x, y});
        y -= c.y / 2;
    }
    lineColour = 0;
    EndDraw();
}

}  // namespace zun
