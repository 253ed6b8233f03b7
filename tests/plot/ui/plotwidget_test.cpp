// The plot window: it draws the graph (demo series, legend, frames) and reports data
// coordinates under the mouse.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "guitest.h"
#include "plot/ui/plotwidget.h"
#include "plot/ui/qpaintercanvas.h"

using namespace zun;

namespace {

int CountColour(const QImage& img, QColor c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == c;
    return n;
}

TEST(PlotWidgetTest, DemoGraphDrawsCurvesLegendAndLabels) {
    test::App();
    PlotWidget w;
    w.resize(480, 340);
    ASSERT_FALSE(test::SaveScreen(w, "plot_demo").empty());
    const QImage img = w.grab().toImage();
    // The three demo curves in the first three palette colours, in the plot and the legend.
    EXPECT_GT(CountColour(img, QColor(255, 0, 0)), 300);
    EXPECT_GT(CountColour(img, QColor(0, 255, 0)), 300);
    EXPECT_GT(CountColour(img, QColor(0, 0, 255)), 300);
    // Grid lines in the data area.
    EXPECT_GT(CountColour(img, QColor(0xA0, 0xA0, 0xA0)), 100);
    // The y label runs upward along the left edge: its dark pixels make a tall, narrow box.
    int top = img.height(), bottom = -1, left = img.width(), right = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < 24; ++x)
            if (img.pixelColor(x, y).lightness() < 80) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(bottom, top);
    EXPECT_GT(bottom - top, 3 * (right - left));
    EXPECT_NEAR((top + bottom) / 2.0, img.height() / 2.0, 40);
    // The legend's lines stand in the right fifth of the window.
    int legendRed = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = img.width() * 4 / 5; x < img.width(); ++x)
            legendRed += img.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_GT(legendRed, 20);
}

TEST(PlotWidgetTest, EachBorderStyleFramesTheGraph) {
    test::App();
    PlotWidget w;
    w.resize(320, 220);
    w.GetGraph().showLegend = false;
    std::vector<QImage> shots;
    for (int s = kBorderNone; s <= kBorderEtched; ++s) {
        w.Control().borderStyle = static_cast<std::int16_t>(s);
        const std::string name = "plot_border_" + std::to_string(s);
        ASSERT_FALSE(test::SaveScreen(w, name.c_str()).empty());
        shots.push_back(w.grab().toImage());
    }
    const QColor face = w.palette().color(QPalette::Button);
    EXPECT_EQ(shots[kBorderNone].pixelColor(0, 100), face);
    EXPECT_EQ(shots[kBorderBlack].pixelColor(0, 100), QColor(Qt::black));
    EXPECT_EQ(shots[kBorderBlack].pixelColor(319, 100), QColor(Qt::black));
    // The edges differ from one another and from no frame.
    for (int a = kBorderNone; a <= kBorderEtched; ++a)
        for (int b = a + 1; b <= kBorderEtched; ++b) {
            bool differ = false;
            for (int x = 0; x < 2 && !differ; ++x)
                for (int y = 0; y < 220 && !differ; ++y)
                    differ = shots[a].pixelColor(x, y) != shots[b].pixelColor(x, y) ||
                             shots[a].pixelColor(319 - x, y) != shots[b].pixelColor(319 - x, y);
            EXPECT_TRUE(differ) << a << " vs " << b;
        }
    // The off-screen picture is the window's picture.
    EXPECT_EQ(w.RenderImage(w.size()).convertToFormat(QImage::Format_RGB32),
              shots.back().convertToFormat(QImage::Format_RGB32));
}

TEST(PlotWidgetTest, TooltipShowsDataCoordinatesInsideTheDataArea) {
    test::App();
    PlotWidget w;
    w.resize(400, 300);
    Graph& g = w.GetGraph();
    g.xAxis.offset = 0;
    g.xAxis.range = 10;
    g.yAxis.offset = 0;
    g.yAxis.range = 1;
    (void)w.grab();
    const PixelRect area = g.plot.PixelRectangle();
    const QString mid = w.TooltipAt(QPoint((area.left + area.right) / 2, (area.top + area.bottom) / 2));
    ASSERT_FALSE(mid.isEmpty());
    const QStringList parts = mid.split(',');
    ASSERT_EQ(parts.size(), 2);
    EXPECT_NEAR(parts[0].toDouble(), 5, 0.1);
    EXPECT_NEAR(parts[1].toDouble(), 0.5, 0.01);
    EXPECT_TRUE(w.TooltipAt(QPoint(2, 2)).isEmpty());
    EXPECT_TRUE(w.TooltipAt(QPoint(area.left + 5, area.bottom + 4)).isEmpty());
}

TEST(PlotWidgetTest, CanvasTextMetricsAndColours) {
    test::App();
    EXPECT_EQ(ToQColor(MakeColourRef(1, 2, 3)), QColor(1, 2, 3));
    EXPECT_EQ(FromQColor(QColor(10, 20, 30)), MakeColourRef(10, 20, 30));
    QImage img(100, 100, QImage::Format_RGB32);
    QPainter p(&img);
    QPainterCanvas c(p, QPalette());
    const TextSize one = c.MeasureText("0", false), six = c.MeasureText("000000", false);
    EXPECT_GT(one.height, 10);
    EXPECT_NEAR(six.width, 6 * one.width, 1);
}

}  // namespace
