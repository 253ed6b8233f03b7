#include "plot/ui/plotwidget.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "plot/ui/qpaintercanvas.h"

namespace zun {

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    control_.invalidate = [this] { update(); };
    TakeFaceColour();
}

void PlotWidget::TakeFaceColour() {
    control_.GetGraph().SetFaceColour(FromQColor(palette().color(QPalette::Button)));
}

void PlotWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) TakeFaceColour();
    QWidget::changeEvent(event);
}

void PlotWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().button());
    QPainterCanvas canvas(painter, palette());
    control_.DrawBorder(&canvas, {0, 0, width(), height()});
}

QImage PlotWidget::RenderImage(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Button));
    QPainter painter(&image);
    QPainterCanvas canvas(painter, palette());
    control_.DrawBorder(&canvas, {0, 0, size.width(), size.height()});
    return image;
}

QString PlotWidget::TooltipAt(const QPoint& pos) const {
    double x = 0, y = 0;
    if (!control_.DataPointAt({pos.x(), pos.y()}, &x, &y)) return {};
    return QString::fromStdString(PlotControl::TooltipText(x, y));
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QString text = TooltipAt(pos);
    if (text.isEmpty()) {
        setCursor(Qt::ArrowCursor);
        QToolTip::hideText();
    } else {
        setCursor(Qt::CrossCursor);
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
    QWidget::mouseMoveEvent(event);
}

void PlotWidget::leaveEvent(QEvent* event) {
    QToolTip::hideText();
    QWidget::leaveEvent(event);
}

}  // namespace zun
