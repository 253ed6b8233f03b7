#pragma once
// The window that shows one plot: it paints its PlotControl, repaints when the control asks,
// and shows the data coordinates under the mouse in a tooltip.

#include <QImage>
#include <QWidget>

#include "plot/plotcontrol.h"

namespace zun {

class PlotWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlotWidget(QWidget* parent = nullptr);

    PlotControl& Control() { return control_; }
    const PlotControl& Control() const { return control_; }
    Graph& GetGraph() { return control_.GetGraph(); }

    // The control drawn into an image of the given size (the frame included).
    QImage RenderImage(const QSize& size);
    // The text the tooltip shows at a widget position; empty outside the data area.
    QString TooltipAt(const QPoint& pos) const;

    QSize sizeHint() const override { return {420, 300}; }
    QSize minimumSizeHint() const override { return {160, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void TakeFaceColour();
    PlotControl control_;
};

}  // namespace zun
