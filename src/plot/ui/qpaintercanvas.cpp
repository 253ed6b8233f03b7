#include "plot/ui/qpaintercanvas.h"

#include <qdrawutil.h>
#include <QFontMetricsF>
#include <QPolygon>

namespace zun {

QColor ToQColor(ColourRef c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

ColourRef FromQColor(const QColor& c) {
    return MakeColourRef(c.red(), c.green(), c.blue());
}

QFont QPainterCanvas::PlotFont() {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(14);
    f.setBold(true);
    return f;
}

QPainterCanvas::QPainterCanvas(QPainter& painter, const QPalette& palette)
    : painter_(painter), palette_(palette), font_(PlotFont()) {
    painter_.setFont(font_);
}

TextSize QPainterCanvas::MeasureText(const std::string& text, bool) {
    const QFontMetricsF m(font_, painter_.device());
    return {m.horizontalAdvance(QString::fromStdString(text)), m.height()};
}

void QPainterCanvas::Save() {
    painter_.save();
}
void QPainterCanvas::Restore() {
    painter_.restore();
}

void QPainterCanvas::SetClip(const PixelRect& r) {
    painter_.setClipRect(QRect(r.left, r.top, r.Width(), r.Height()));
}

void QPainterCanvas::SetPen(ColourRef colour, int style) {
    static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                               Qt::DashDotDotLine};
    QPen pen(ToQColor(colour));
    pen.setWidth(0);  // cosmetic: one pixel whatever the transformation
    pen.setStyle(kStyles[style >= 0 && style <= 4 ? style : 0]);
    painter_.setPen(pen);
}

void QPainterCanvas::DrawLine(PixelPoint a, PixelPoint b) {
    painter_.drawLine(a.x, a.y, b.x, b.y);
}

void QPainterCanvas::DrawPolyline(const std::vector<PixelPoint>& points) {
    QPolygon poly(static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i)
        poly.setPoint(static_cast<int>(i), points[i].x, points[i].y);
    painter_.drawPolyline(poly);
}

void QPainterCanvas::SetPixel(PixelPoint p, ColourRef colour) {
    painter_.fillRect(p.x, p.y, 1, 1, ToQColor(colour));
}

void QPainterCanvas::FillRect(const PixelRect& r, ColourRef colour) {
    painter_.fillRect(QRect(r.left, r.top, r.Width(), r.Height()), ToQColor(colour));
}

void QPainterCanvas::DrawText(PixelPoint at, const std::string& text, bool vertical) {
    const QString s = QString::fromStdString(text);
    const qreal ascent = QFontMetricsF(font_, painter_.device()).ascent();
    painter_.save();
    painter_.setPen(Qt::black);
    painter_.translate(at.x, at.y);
    if (vertical) painter_.rotate(-90);
    painter_.drawText(QPointF(0, ascent), s);
    painter_.restore();
}

void QPainterCanvas::DrawFrame(const PixelRect& r, int style) {
    const QRect rect(r.left, r.top, r.Width(), r.Height());
    switch (style) {
        case kBorderBlack:
            painter_.save();
            painter_.setPen(QPen(Qt::black, 0));
            painter_.setBrush(Qt::NoBrush);
            painter_.drawRect(rect.adjusted(0, 0, -1, -1));
            painter_.restore();
            break;
        case kBorderSunken:
            qDrawWinPanel(&painter_, rect, palette_, true);
            break;
        case kBorderRaised:
            qDrawWinPanel(&painter_, rect, palette_, false);
            break;
        case kBorderBump:
            qDrawShadeRect(&painter_, rect, palette_, false, 1, 0);
            break;
        case kBorderEtched:
            qDrawShadeRect(&painter_, rect, palette_, true, 1, 0);
            break;
        default:
            break;
    }
}

}  // namespace zun
