// The graph: layout fractions, series colours, markers, breaks, and what reaches the canvas.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "plot/plotcontrol.h"
#include "recordingcanvas.h"

using namespace zun;
using zun::test::RecordingCanvas;

namespace {

constexpr PixelRect kRect{0, 0, 401, 301};

TEST(GraphLayout, FractionsComeFromTextSizes) {
    Graph g;
    RecordingCanvas c;
    g.Layout(c, kRect);
    const double xl = 16.0 / 301, xa = 21.0 / 300, ti = 16.0 / 301, ph = 1 - xl - xa - ti;
    const double yl = 16.0 / 400, ya = (6 * 7.0 + 5) / 400, lg = 0.2, pw = 1 - yl - ya - lg;
    auto expect = [](const GraphComponent& comp, double W, double X0, double H, double Y0, const char* what) {
        EXPECT_NEAR(comp.W, W, 1e-12) << what;
        EXPECT_NEAR(comp.X0, X0, 1e-12) << what;
        EXPECT_NEAR(comp.H, H, 1e-12) << what;
        EXPECT_NEAR(comp.Y0, Y0, 1e-12) << what;
    };
    expect(g.plot, pw, yl + ya, ph, xl + xa, "plot");
    expect(g.xAxis, pw, yl + ya, xa, xl, "x axis");
    expect(g.yAxis, ya, yl, ph, xl + xa, "y axis");
    expect(g.xLabel, pw, yl + ya, xl, 0, "x label");
    expect(g.yLabel, yl, 0, ph, xl + xa, "y label");
    expect(g.title, 1, 0, ti, 1 - ti, "title");
    expect(g.legend, lg, 1 - lg, 1 - ti, 0, "legend");
    expect(g.corner, yl + ya, 0, xl + xa, 0, "corner");
}

TEST(GraphLayout, TheLegendIsWideEnoughForTheLongestName) {
    Graph g;
    RecordingCanvas c;
    std::vector<double> y{1, 2};
    g.plot.series.push_back({&y, nullptr, 0, "Aluminium \u03bc, d=2.699 (norm)"});
    g.Layout(c, kRect);
    const double need = c.MeasureText(g.plot.series[0].name, false).width + 4 * RecordingCanvas::kCharWidth;
    EXPECT_GE(g.legend.W * (kRect.Width() - 1) + 1e-9, need);
    EXPECT_NEAR(g.legend.X0 + g.legend.W, 1.0, 1e-12);
    // A name that would take most of the graph is given nearly half of it, no more.
    g.plot.series[0].name = std::string(200, 'x');
    g.Layout(c, kRect);
    EXPECT_NEAR(g.legend.W, 0.45, 1e-12);
}

TEST(GraphLayout, HiddenPartsTakeNoSpaceAndAreNotDrawn) {
    Graph g;
    g.showTitle = g.showLegend = g.showXLabel = g.showYLabel = false;
    RecordingCanvas c;
    g.Draw(c, kRect);
    EXPECT_EQ(g.title.H, 0);
    EXPECT_EQ(g.legend.W, 0);
    EXPECT_EQ(g.xLabel.H, 0);
    EXPECT_EQ(g.yLabel.W, 0);
    EXPECT_NEAR(g.plot.W, 1 - 47.0 / 400, 1e-12);
    EXPECT_EQ(c.FindText("Title"), nullptr);
    EXPECT_EQ(c.FindText("XLabel"), nullptr);
    EXPECT_EQ(c.FindText("chan_0"), nullptr);
    EXPECT_EQ(c.saves, c.restores);
}

TEST(GraphLayout, TinyRectanglesGiveNoNegativeFractions) {
    Graph g;
    RecordingCanvas c;
    for (PixelRect r : {PixelRect{0, 0, 1, 1}, PixelRect{0, 0, 20, 10}, PixelRect{5, 5, 5, 5}}) {
        g.Draw(c, r);
        const std::vector<const GraphComponent*> parts = {&g.plot, &g.xAxis, &g.yAxis, &g.title, &g.legend};
        for (const GraphComponent* comp : parts) EXPECT_GE(comp->H, 0.0);
        EXPECT_GE(g.plot.W, -1e-12);
    }
}

TEST(GraphDrawing, DemoGraphShowsLabelsLegendAndThreeCurves) {
    Graph g;
    RecordingCanvas c;
    g.Draw(c, kRect);
    for (const char* t : {"Title", "XLabel", "chan_0", "chan_1", "chan_2"}) {
        ASSERT_NE(c.FindText(t), nullptr) << t;
        EXPECT_FALSE(c.FindText(t)->vertical) << t;
    }
    ASSERT_NE(c.FindText("YLabel"), nullptr);
    EXPECT_TRUE(c.FindText("YLabel")->vertical);
    ASSERT_EQ(c.polylines.size(), 3u);
    // 501 points, those that fall on the pixel before them drawn once.
    EXPECT_GT(c.polylines[0].size(), 250u);
    EXPECT_LE(c.polylines[0].size(), 501u);
    for (std::size_t i = 1; i < c.polylines[0].size(); ++i)
        EXPECT_FALSE(c.polylines[0][i] == c.polylines[0][i - 1]);
    EXPECT_EQ(c.polylineColours[0], MakeColourRef(255, 0, 0));
    EXPECT_EQ(c.polylineColours[1], MakeColourRef(0, 255, 0));
    EXPECT_EQ(c.polylineColours[2], MakeColourRef(0, 0, 255));
    // The title stands centred over the whole width.
    const RecordingCanvas::Text* title = c.FindText("Title");
    EXPECT_NEAR(title->at.x + 5 * RecordingCanvas::kCharWidth / 2, 200, 1.5);
    EXPECT_LT(title->at.y, 5);
    // Every curve point lies inside the data area (the demo x runs 0..1, y -1..1).
    const PixelRect area = g.plot.PixelRectangle();
    for (const PixelPoint& p : c.polylines[0]) {
        EXPECT_GE(p.x, area.left);
        EXPECT_LT(p.x, area.right);
    }
}

TEST(GraphDrawing, YAxisLabelsStandLeftOfTheAxisAndXLabelsBelow) {
    Graph g;
    g.plot.ClearYData();
    std::vector<double> x = {0, 10}, y = {0, 100};
    g.plot.SetXData(&x);
    g.plot.AddYData(&y);
    g.xAxis.offset = 0;
    g.xAxis.range = 10;
    g.xAxis.SetTickStep(10);
    g.yAxis.offset = 0;
    g.yAxis.range = 100;
    g.yAxis.SetTickStep(100);
    RecordingCanvas c;
    g.Draw(c, kRect);
    const PixelRect area = g.plot.PixelRectangle();
    const RecordingCanvas::Text* y50 = c.FindText("50");
    ASSERT_NE(y50, nullptr);
    EXPECT_LE(y50->at.x + 2 * RecordingCanvas::kCharWidth, area.left);
    EXPECT_NEAR(y50->at.y + RecordingCanvas::kTextHeight / 2, (area.top + area.bottom - 1) / 2.0, 2);
    // The label at the top end is pushed inside the axis band.
    const RecordingCanvas::Text* y100 = c.FindText("100");
    ASSERT_NE(y100, nullptr);
    EXPECT_GE(y100->at.y, area.top);
    const RecordingCanvas::Text* x5 = c.FindText("5");
    ASSERT_NE(x5, nullptr);
    EXPECT_GE(x5->at.y, area.bottom);
    EXPECT_NEAR(x5->at.x + RecordingCanvas::kCharWidth / 2, (area.left + area.right - 1) / 2.0, 2);
}

TEST(GraphDrawing, LogAxisLabelsThatWouldOverlapAreLeftOut) {
    Graph g;
    g.showLegend = false;
    g.plot.ClearYData();
    g.SetXLog(true);
    g.xAxis.offset = 1;
    g.xAxis.range = 999;
    RecordingCanvas c;
    g.Draw(c, PixelRect{0, 0, 160, 200});
    const PixelRect area = g.plot.PixelRectangle();
    std::vector<std::pair<int, int>> spans;  // x extents of the x axis's labels
    for (const auto& t : c.texts)
        if (t.at.y >= area.bottom && !t.vertical && t.text != "XLabel")
            spans.push_back({t.at.x, t.at.x + static_cast<int>(t.text.size() * RecordingCanvas::kCharWidth)});
    ASSERT_GE(spans.size(), 2u);
    EXPECT_LT(spans.size(), 10u);  // 1, 2, 5, 10, ... 1000 cannot all fit
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) EXPECT_GT(spans[i].first, spans[i - 1].second - 1);
    EXPECT_NE(c.FindText("1"), nullptr);

    // Linear labels are all drawn, however close.
    g.SetXLog(false);
    g.xAxis.offset = 0;
    g.xAxis.range = 1000;
    g.xAxis.SetTickStep(1000);
    RecordingCanvas lin;
    g.Draw(lin, PixelRect{0, 0, 160, 200});
    for (const char* t : {"0", "500", "1000"}) EXPECT_NE(lin.FindText(t), nullptr) << t;
}

TEST(GraphSeries, BreaksSplitTheLineAndEveryRunEndsWithItsPixel) {
    Graph g;
    g.plot.ClearYData();
    std::vector<double> x = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<double> y = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
    PlotFlags seriesBreaks(10, 0), xBreaks(10, 0);
    seriesBreaks[4] = 1;
    xBreaks[7] = 1;
    g.plot.SetXData(&x, &xBreaks);
    g.plot.AddYData(&y, kAutoColour, &seriesBreaks, "s");
    RecordingCanvas c;
    g.Draw(c, kRect);
    ASSERT_EQ(c.polylines.size(), 3u);
    EXPECT_EQ(c.polylines[0].size(), 4u);
    EXPECT_EQ(c.polylines[1].size(), 3u);
    EXPECT_EQ(c.polylines[2].size(), 3u);
    for (const auto& run : c.polylines) {
        const bool ended = std::any_of(c.pixels.begin(), c.pixels.end(), [&](const RecordingCanvas::Line& p) {
            return p.from == run.back() && p.colour == MakeColourRef(255, 0, 0);
        });
        EXPECT_TRUE(ended);
    }
    // An empty x mask counts as none.
    PlotFlags empty;
    g.plot.SetXData(&x, &empty);
    RecordingCanvas c2;
    g.Draw(c2, kRect);
    EXPECT_EQ(c2.polylines.size(), 2u);
}

TEST(GraphSeries, OnePointIsOnePixelAndShortSeriesUseTheCommonLength) {
    Graph g;
    g.plot.ClearYData();
    std::vector<double> x = {0, 1, 2, 3}, one = {0.5}, shorter = {0, 1, 0.5};
    g.showLegend = false;
    g.plot.SetXData(&x);
    g.plot.AddYData(&one, MakeColourRef(1, 2, 3));
    g.plot.AddYData(&shorter);
    RecordingCanvas c;
    g.Draw(c, kRect);
    ASSERT_EQ(c.polylines.size(), 1u);
    EXPECT_EQ(c.polylines[0].size(), 3u);
    EXPECT_EQ(
        std::count_if(c.pixels.begin(), c.pixels.end(),
                      [](const RecordingCanvas::Line& p) { return p.colour == MakeColourRef(1, 2, 3); }),
        1);
}

TEST(GraphSeries, NullDataIsRefusedWithItsMessage) {
    Graph g;
    try {
        g.plot.SetXData(nullptr);
        FAIL();
    } catch (const PlotError& e) {
        EXPECT_STREQ(e.what(), "X data pointer cannot be NULL");
    }
    try {
        g.plot.AddYData(nullptr);
        FAIL();
    } catch (const PlotError& e) {
        EXPECT_STREQ(e.what(), "Y data pointer cannot be NULL");
    }
    PlotControl ctrl;
    EXPECT_EQ(ctrl.GetYDataName(2), "chan_2");
    EXPECT_THROW(ctrl.GetYDataName(3), PlotError);
    EXPECT_THROW(ctrl.GetYDataName(-1), PlotError);
}

TEST(GraphPalette, AutomaticColoursTakeTheFirstUnusedEntryThenBlack) {
    Graph g;
    g.plot.ClearYData();
    std::vector<double> y = {1};
    g.plot.AddYData(&y, MakeColourRef(0, 255, 0));
    g.plot.AddYData(&y);
    EXPECT_EQ(g.plot.series[1].colour, MakeColourRef(255, 0, 0));
    g.plot.AddYData(&y);
    EXPECT_EQ(g.plot.series[2].colour, MakeColourRef(0, 0, 255));
    while (g.plot.series.size() < 25) g.plot.AddYData(&y);
    EXPECT_EQ(g.plot.series[24].colour, MakeColourRef(255, 255, 255));
    g.plot.AddYData(&y);
    EXPECT_EQ(g.plot.series[25].colour, 0u);
    // Markers pick from the palette on their own.
    EXPECT_EQ(g.plot.AddMarker(0.5, 0, 1), 0);
    EXPECT_EQ(g.plot.markers[0].colour, MakeColourRef(255, 0, 0));
}

TEST(GraphMarkers, RangeIsCheckedAndStoredLowFirst) {
    Graph g;
    try {
        g.plot.AddMarker(1, 1.2, 0.5);
        FAIL();
    } catch (const PlotError& e) {
        EXPECT_STREQ(e.what(), "Both ymin and ymax have an allowed range of 0.0-1.0");
    }
    EXPECT_THROW(g.plot.AddMarker(1, -0.1, 0.5), PlotError);
    EXPECT_EQ(g.plot.AddMarker(0.5, 0.9, 0.1, MakeColourRef(9, 9, 9)), 0);
    EXPECT_EQ(g.plot.AddMarker(0.25, 0, 1), 1);
    EXPECT_EQ(g.plot.markers[0].yLow, 0.1);
    EXPECT_EQ(g.plot.markers[0].yHigh, 0.9);
    EXPECT_EQ(g.plot.markers[0].lineStyle, kDotLine);
    EXPECT_THROW(g.plot.RemoveMarker(2), PlotError);

    g.xAxis.offset = 0;
    g.xAxis.range = 1;
    RecordingCanvas c;
    g.Draw(c, kRect);
    const auto it = std::find_if(c.lines.begin(), c.lines.end(), [](const RecordingCanvas::Line& l) {
        return l.colour == MakeColourRef(9, 9, 9);
    });
    ASSERT_NE(it, c.lines.end());
    EXPECT_EQ(it->style, kDotLine);
    EXPECT_EQ(it->from.x, it->to.x);
    EXPECT_GT(it->from.y, it->to.y);  // from the low end up
    g.plot.ClearMarkers();
    EXPECT_TRUE(g.plot.markers.empty());
}

TEST(GraphGrid, MajorAndMinorLinesInTheirGreys) {
    Graph g;
    g.plot.ClearYData();
    g.xAxis.offset = 0;
    g.xAxis.range = 1;
    g.xAxis.SetTickStep(1);  // 0.5, four minor: ticks every 0.1
    g.plot.yGrid = false;
    RecordingCanvas c;
    g.Draw(c, kRect);
    int major = 0, minor = 0;
    for (const auto& l : c.lines) {
        major += l.colour == 0xA0A0A0;
        minor += l.colour == 0xC0C0C0;
    }
    EXPECT_EQ(major, 2);  // 0.5 and 1.0 (the line at 0 is the axis)
    EXPECT_EQ(minor, 8);
}

TEST(PlotControlTest, BorderInsetsAndTooltipCoordinates) {
    EXPECT_EQ(PlotControl::InsetForBorder(kRect, kBorderNone), kRect);
    EXPECT_EQ(PlotControl::InsetForBorder(kRect, kBorderBlack), (PixelRect{1, 1, 400, 300}));
    for (int s = kBorderSunken; s <= kBorderEtched; ++s)
        EXPECT_EQ(PlotControl::InsetForBorder(kRect, s), (PixelRect{2, 2, 399, 299}));

    PlotControl ctrl;
    for (int s = kBorderNone; s <= kBorderEtched; ++s) {
        ctrl.borderStyle = static_cast<std::int16_t>(s);
        RecordingCanvas c;
        ctrl.DrawBorder(&c, kRect);
        EXPECT_EQ(c.frames.size(), s == kBorderNone ? 0u : 1u);
        EXPECT_EQ(ctrl.GetGraph().plot.Area(), PlotControl::InsetForBorder(kRect, s));
    }
    ctrl.DrawBorder(nullptr, kRect);

    Graph& g = ctrl.GetGraph();
    g.xAxis.offset = 10;
    g.xAxis.range = 10;
    g.yAxis.offset = -1;
    g.yAxis.range = 2;
    RecordingCanvas c;
    ctrl.DrawBorder(&c, kRect);
    const PixelRect area = g.plot.PixelRectangle();
    double x = 0, y = 0;
    ASSERT_TRUE(ctrl.DataPointAt({area.left, area.bottom - 1}, &x, &y));
    EXPECT_NEAR(x, 10, 0.05);
    EXPECT_NEAR(y, -1, 0.02);
    ASSERT_TRUE(ctrl.DataPointAt({(area.left + area.right) / 2, (area.top + area.bottom) / 2}, &x, &y));
    EXPECT_NEAR(x, 15, 0.1);
    EXPECT_NEAR(y, 0, 0.02);
    EXPECT_FALSE(ctrl.DataPointAt({area.left - 3, area.top + 5}, &x, &y));
    EXPECT_FALSE(ctrl.DataPointAt({area.left + 3, area.bottom + 5}, &x, &y));
    EXPECT_EQ(PlotControl::TooltipText(0.123456, 1234567), "0.123,1.23e+06");

    // Over a log axis that starts at 0 the tooltip shows -1.
    g.SetYLog(true);
    g.yAxis.offset = 0;
    ASSERT_TRUE(ctrl.DataPointAt({(area.left + area.right) / 2, (area.top + area.bottom) / 2}, &x, &y));
    EXPECT_EQ(y, -1);
}

}  // namespace
