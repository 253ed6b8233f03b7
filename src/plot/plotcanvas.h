#pragma once
// What the plot model needs of a drawing surface. The GUI implements it over QPainter (for
// windows and off-screen images); tests record the calls.

#include <cstdint>
#include <string>
#include <vector>

#include "model/histvars.h"

namespace zun {

struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

// Right and bottom are one past the last pixel.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PixelRect&) const = default;
};

struct TextSize {
    double width = 0;   // along the text's baseline
    double height = 0;  // across it
};

// Line styles of the plot's pens.
enum PlotLineStyle : int {
    kSolidLine = 0,
    kDashLine = 1,
    kDotLine = 2,
    kDashDotLine = 3,
    kDashDotDotLine = 4
};

// Frames around a plot control.
enum PlotBorder : int {
    kBorderNone = 0,
    kBorderBlack = 1,
    kBorderSunken = 2,
    kBorderRaised = 3,
    kBorderBump = 4,
    kBorderEtched = 5
};

class PlotCanvas {
public:
    virtual ~PlotCanvas() = default;

    // The plot's font: 14 pixels high, bold; `vertical` is the same font turned to run upward.
    // The size is that of the unturned text.
    virtual TextSize MeasureText(const std::string& text, bool vertical) = 0;

    virtual void Save() = 0;
    virtual void Restore() = 0;
    virtual void SetClip(const PixelRect& rect) = 0;

    // A one-pixel line from `from` to `to`, the end pixel excluded.
    virtual void SetPen(ColourRef colour, int style) = 0;
    virtual void DrawLine(PixelPoint from, PixelPoint to) = 0;
    // A connected line through the points, the last one excluded (callers set it with SetPixel).
    virtual void DrawPolyline(const std::vector<PixelPoint>& points) = 0;
    virtual void SetPixel(PixelPoint p, ColourRef colour) = 0;
    virtual void FillRect(const PixelRect& rect, ColourRef colour) = 0;

    // Black text whose top-left corner (of the unturned text) stands at `topLeft`; vertical text
    // runs upward from there with its top facing left.
    virtual void DrawText(PixelPoint topLeft, const std::string& text, bool vertical) = 0;

    // The frame of a plot control on the rectangle's edge (styles 1-5).
    virtual void DrawFrame(const PixelRect& rect, int style) = 0;
};

}  // namespace zun
