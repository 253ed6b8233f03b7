// Axis arithmetic: decades, tick steps, automatic ranges, mapping and tick positions.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "plot/graph.h"

using namespace zun;

namespace {

struct TickCase {
    double span;
    double step;
    int minor;
};

TEST(AxisTicks, StepAndMinorCountFollowTheMantissaOfTheSpan) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<TickCase> cases = {
        {0.0, 0.5, 4},     {-3.0, 0.5, 4},
        {nan, 0.5, 4},     {1.0, 0.5, 4},
        {2.0, 1, 4},       {5.0, 2, 3},
        {9.995, 5, 4},     {1000, 500, 4},
        {0.74, 0.2, 3},    {1.98, 0.5, 4},
        {4.98, 1, 4},      {16384, 5000, 4},
        {0.0611, 0.02, 3}, {std::numeric_limits<double>::infinity(), 0.5, 4},
    };
    Graph g;
    for (const TickCase& c : cases) {
        g.yAxis.SetTickStep(c.span);
        EXPECT_NEAR(g.yAxis.tickStep, c.step, c.step * 1e-12) << c.span;
        EXPECT_EQ(g.yAxis.minorCount, c.minor) << c.span;
    }
}

TEST(AxisTicks, SplitDecadeSnapsWholeMantissasAndExponents) {
    double m = 0;
    int e = 0;
    ASSERT_TRUE(Axis::SplitDecade(1000, &m, &e));
    EXPECT_EQ(m, 1.0);
    EXPECT_EQ(e, 3);
    ASSERT_TRUE(Axis::SplitDecade(0.02, &m, &e));
    EXPECT_EQ(m, 2.0);
    EXPECT_EQ(e, -2);
    ASSERT_TRUE(Axis::SplitDecade(4.2e-5, &m, &e));
    EXPECT_NEAR(m, 4.2, 1e-12);
    EXPECT_EQ(e, -5);
    EXPECT_FALSE(Axis::SplitDecade(0, &m, &e));
    EXPECT_FALSE(Axis::SplitDecade(-2, &m, &e));
    EXPECT_FALSE(Axis::SplitDecade(std::numeric_limits<double>::quiet_NaN(), &m, &e));
}

TEST(AxisTicks, LogTicksRunThroughEachDecade) {
    EXPECT_DOUBLE_EQ(Axis::NextLogTick(8), 9);
    EXPECT_DOUBLE_EQ(Axis::NextLogTick(9), 10);
    EXPECT_DOUBLE_EQ(Axis::NextLogTick(10), 20);
    EXPECT_DOUBLE_EQ(Axis::NextLogTick(2.5), 3);
    EXPECT_NEAR(Axis::NextLogTick(0.09), 0.1, 1e-15);

    Graph g;
    g.yAxis.log = true;
    for (double t : {1.0, 2.0, 5.0, 10.0, 0.2, 500.0}) EXPECT_TRUE(g.yAxis.IsMajorTick(t)) << t;
    for (double t : {3.0, 4.0, 7.0, 0.0, -1.0}) EXPECT_FALSE(g.yAxis.IsMajorTick(t)) << t;

    g.yAxis.offset = 0.25;
    g.yAxis.range = 99.75;
    const std::vector<double> ticks = g.yAxis.TickPositions();
    ASSERT_FALSE(ticks.empty());
    EXPECT_NEAR(ticks.front(), 0.3, 1e-12);
    EXPECT_DOUBLE_EQ(ticks.back(), 100);
    EXPECT_EQ(ticks.size(), 7u + 9u + 9u + 1u);  // 0.3-0.9, 1-9, 10-90, 100
}

TEST(AxisTicks, LinearTicksStartAtTheFirstMinorPositionInside) {
    Graph g;
    Axis& a = g.yAxis;
    a.SetTickStep(0.74);  // step 0.2, three minor ticks: spacing 0.05
    a.offset = 0.13;
    a.range = 0.74;
    double first = 0;
    ASSERT_TRUE(a.FirstTick(&first));
    EXPECT_NEAR(first, 0.15, 1e-12);
    EXPECT_TRUE(a.IsMajorTick(0.4));
    EXPECT_FALSE(a.IsMajorTick(0.45));
    const std::vector<double> ticks = a.TickPositions();
    EXPECT_NEAR(ticks.back(), 0.85, 1e-12);
    EXPECT_EQ(ticks.size(), 15u);

    a.offset = 5;
    a.range = -1;  // nothing inside
    EXPECT_FALSE(a.FirstTick(&first));
    EXPECT_TRUE(a.TickPositions().empty());
}

TEST(AxisTicks, DamagedRangesCannotMakeTheTickLoopRunAway) {
    Graph g;
    Axis& a = g.xAxis;
    a.tickStep = 0.5;
    a.minorCount = 4;
    a.offset = 0;
    a.range = 1e12;
    EXPECT_EQ(static_cast<int>(a.TickPositions().size()), Axis::kMaxTicks);
    a.range = std::numeric_limits<double>::infinity();
    EXPECT_LE(static_cast<int>(a.TickPositions().size()), Axis::kMaxTicks);
    a.range = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(a.TickPositions().empty());
    a.offset = 1e20;  // the minor spacing is below the offset's resolution
    a.range = 1;
    double t = 0;
    (void)a.FirstTick(&t);  // must return
    a.log = true;
    a.offset = 1;
    a.range = std::numeric_limits<double>::infinity();
    EXPECT_LE(static_cast<int>(a.TickPositions().size()), Axis::kMaxTicks);
}

TEST(AxisMapping, LinearAndLogMapsAreInverse) {
    Graph g;
    Axis& a = g.xAxis;
    a.offset = 2;
    a.range = 4;
    EXPECT_DOUBLE_EQ(a.Map(4), 0.5);
    EXPECT_DOUBLE_EQ(a.Unmap(0.5), 4);
    EXPECT_DOUBLE_EQ(a.Map(-2), -1);
    a.range = 0;
    EXPECT_EQ(a.Map(7), 0);

    a.log = true;
    a.offset = 1;
    a.range = 99;
    EXPECT_NEAR(a.Map(10), 0.5, 1e-12);
    EXPECT_NEAR(a.Unmap(0.5), 10, 1e-12);
    for (double v : {1.5, 3.0, 77.0}) EXPECT_NEAR(a.Unmap(a.Map(v)), v, 1e-9);
    EXPECT_EQ(a.Map(0), -1);
    EXPECT_EQ(a.Map(-3), -1);
    a.range = 0;
    EXPECT_EQ(a.Map(5), 0);
    // A log axis starting at or below zero places nothing (and gives no NaN positions).
    a.offset = 0;
    a.range = 10;
    EXPECT_EQ(a.Map(5), -1);
    EXPECT_EQ(a.Unmap(0.3), -1);
    a.offset = -1;
    EXPECT_EQ(a.Map(5), -1);
    double t = 0;
    EXPECT_FALSE(a.FirstTick(&t));
}

class AutoRangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.plot.ClearYData();
        g.plot.SetXData(&x);
    }
    void Fill(std::vector<double> xs, std::vector<double> ys) {
        x = std::move(xs);
        y = std::move(ys);
        g.plot.ClearYData();
        g.plot.SetXData(&x);
        g.plot.AddYData(&y);
    }
    Graph g;
    std::vector<double> x, y;
};

TEST_F(AutoRangeTest, LinearYRoundsOutToMinorTicks) {
    Fill({0, 1, 2}, {0.5, 0.13, 0.87});
    g.yAxis.autoscale = true;
    g.yAxis.AutoRange();
    EXPECT_NEAR(g.yAxis.offset, 0.10, 1e-12);
    EXPECT_NEAR(g.yAxis.range, 0.80, 1e-12);
    EXPECT_NEAR(g.yAxis.tickStep, 0.2, 1e-12);
    EXPECT_EQ(g.yAxis.minorCount, 3);
}

TEST_F(AutoRangeTest, XTakesTheDataExactly) {
    Fill({7.25, 2.5, 3}, {1, 1, 1});
    g.xAxis.AutoRange();
    EXPECT_DOUBLE_EQ(g.xAxis.offset, 2.5);
    EXPECT_DOUBLE_EQ(g.xAxis.range, 4.75);
}

TEST_F(AutoRangeTest, LogYRoundsMantissasAndIgnoresNonPositiveValues) {
    Fill({0, 1, 2, 3}, {-1, 0, 3, 700});
    g.SetYLog(true);
    g.yAxis.AutoRange();
    EXPECT_DOUBLE_EQ(g.yAxis.offset, 3);
    EXPECT_DOUBLE_EQ(g.yAxis.range, 697);
    Fill({0, 1}, {0.25, 42});
    g.yAxis.AutoRange();
    EXPECT_NEAR(g.yAxis.offset, 0.2, 1e-12);
    EXPECT_NEAR(g.yAxis.range, 49.8, 1e-12);
}

TEST_F(AutoRangeTest, AutoscaledAxesFollowNewData) {
    g.xAxis.autoscale = true;
    g.yAxis.autoscale = true;
    Fill({10, 20, 30}, {1, 2, 3});
    EXPECT_DOUBLE_EQ(g.xAxis.offset, 10);
    EXPECT_DOUBLE_EQ(g.xAxis.range, 20);
    EXPECT_NEAR(g.yAxis.offset, 1, 1e-12);
    EXPECT_NEAR(g.yAxis.range, 2, 1e-12);
}

TEST_F(AutoRangeTest, XRangeBySeriesFollowsTheBinsWithCounts) {
    Fill({0, 1, 2, 3, 4, 5, 6, 7}, {0, 0, 3, 0, 5, 0, 0, 0});
    g.plot.xRangeBySeries = true;
    g.xAxis.AutoRange();
    EXPECT_DOUBLE_EQ(g.xAxis.offset, 2);
    EXPECT_DOUBLE_EQ(g.xAxis.range, 2);
    // The y range covers the same extent only.
    std::vector<double> y2 = {9, 0, 1, 2, 0, 0, 0, 0};
    g.plot.AddYData(&y2);
    g.xAxis.AutoRange();
    EXPECT_DOUBLE_EQ(g.xAxis.offset, 0);
    EXPECT_DOUBLE_EQ(g.xAxis.range, 4);
    // A series with no positive value makes the range fail: 0 at 0.
    std::vector<double> zeros(8, 0.0);
    g.plot.AddYData(&zeros);
    g.xAxis.AutoRange();
    EXPECT_EQ(g.xAxis.offset, 0);
    EXPECT_EQ(g.xAxis.range, 0);
}

TEST_F(AutoRangeTest, NaNDataFailsTheRangeInsteadOfSpreadingNaN) {
    Fill({0, 1, 2}, {1, std::numeric_limits<double>::quiet_NaN(), 2});
    double span = -1, min = -1;
    EXPECT_FALSE(g.plot.YDataRange(false, &span, &min));
    EXPECT_EQ(span, 0);
    EXPECT_EQ(min, 0);
    g.yAxis.AutoRange();
    EXPECT_FALSE(std::isnan(g.yAxis.range));
    EXPECT_FALSE(std::isnan(g.yAxis.offset));
}

TEST(AxisRange, VectorRangeEdges) {
    double span = -1, min = -1;
    EXPECT_TRUE(Plot::VectorRange(nullptr, 0, 0, false, &span, &min));
    EXPECT_EQ(span, 0);
    std::vector<double> v = {4, 4, 4};
    EXPECT_TRUE(Plot::VectorRange(&v, 0, 0, false, &span, &min));
    EXPECT_EQ(span, 0);
    EXPECT_EQ(min, 4);
    EXPECT_TRUE(Plot::VectorRange(&v, 2, 1, false, &span, &min));
    EXPECT_EQ(min, 0);
    std::vector<double> neg = {-4, -1};
    EXPECT_FALSE(Plot::VectorRange(&neg, 0, 0, true, &span, &min));
    EXPECT_TRUE(Plot::VectorRange(&neg, 0, 0, false, &span, &min));
    EXPECT_EQ(span, 3);
}

}  // namespace
