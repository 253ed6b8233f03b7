#pragma once
// The plot canvas over a QPainter: windows, off-screen images and printers alike.

#include <QFont>
#include <QPainter>
#include <QPalette>

#include "plot/plotcanvas.h"

namespace zun {

QColor ToQColor(ColourRef c);
ColourRef FromQColor(const QColor& c);

class QPainterCanvas : public PlotCanvas {
public:
    // The palette gives the shades of the three-dimensional frames.
    QPainterCanvas(QPainter& painter, const QPalette& palette);

    TextSize MeasureText(const std::string& text, bool vertical) override;
    void Save() override;
    void Restore() override;
    void SetClip(const PixelRect& rect) override;
    void SetPen(ColourRef colour, int style) override;
    void DrawLine(PixelPoint from, PixelPoint to) override;
    void DrawPolyline(const std::vector<PixelPoint>& points) override;
    void SetPixel(PixelPoint p, ColourRef colour) override;
    void FillRect(const PixelRect& rect, ColourRef colour) override;
    void DrawText(PixelPoint topLeft, const std::string& text, bool vertical) override;
    void DrawFrame(const PixelRect& rect, int style) override;

    // The plot's font: 14 pixels, bold, Arial or the nearest sans-serif face.
    static QFont PlotFont();

private:
    QPainter& painter_;
    QPalette palette_;
    QFont font_;
};

}  // namespace zun
