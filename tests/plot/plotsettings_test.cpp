// Plot settings: their stored layout, moving them to and from a plot, and the logic of the
// "Plot Properties" dialog.

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "model/sampleclasses.h"
#include "platform/archiveio.h"
#include "plot/plotsettings.h"

using namespace zun;

namespace {

std::vector<std::uint8_t> StoreBody(Serializable& obj) {
    MemoryStream stream;
    {
        Archive ar(stream, Archive::Mode::Store);
        obj.Serialize(ar);
        ar.Flush();
    }
    return stream.Bytes();
}

template <class T>
T LoadBody(const std::vector<std::uint8_t>& bytes) {
    MemoryStream stream(bytes);
    Archive ar(stream, Archive::Mode::Load);
    T obj;
    obj.Serialize(ar);
    return obj;
}

const std::vector<std::uint8_t> kStamp = {0x58, 0x0A, 0x00, 0x00};
const std::vector<std::uint8_t> kOne = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
const std::vector<std::uint8_t> kZero(8, 0);

std::vector<std::uint8_t> Cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(PlotSettingsArchive, ByteLayoutOfAxisPlotAndHistogramRecords) {
    AxisVars a;
    const std::vector<std::uint8_t> axisDefault = Cat({kStamp, {1, 1, 0}, kOne, kZero, {0, 0}});
    EXPECT_EQ(StoreBody(a), axisDefault);
    a.showLabel = true;
    a.label = "Bin";
    a.log = true;
    EXPECT_EQ(StoreBody(a), Cat({kStamp, {1, 1, 1}, kOne, kZero, {1, 3, 'B', 'i', 'n'}}));

    PlotVars p;
    p.showTitle = true;
    p.title = "T";
    const std::vector<std::uint8_t> plotBytes = Cat({axisDefault, axisDefault, kStamp, {1, 1, 'T', 0}});
    EXPECT_EQ(StoreBody(p), plotBytes);

    HistVars h;
    h.plot = p;
    h.binCount = 100;
    h.closure = 3;
    EXPECT_EQ(
        StoreBody(h),
        Cat({plotBytes, kStamp, {100, 0, 0, 0}, {0, 0, 0, 0}, {3, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}}));
}

TEST(PlotSettingsArchive, RecordsRoundTripAndAnyNonZeroByteIsTrue) {
    RegisterSampleClasses();
    HistVars h;
    h.binCount = 16384;
    h.xUnit = 2;
    h.yUnit = 1;
    h.style = 0;
    h.plot.title = std::string(300, 'x');  // a long string takes the wider length form
    h.plot.showLegend = true;
    h.plot.xAxis.range = 0.061;
    h.plot.xAxis.offset = -2.5;
    h.plot.yAxis.log = true;
    h.plot.yAxis.label = "Norm Frequency";
    const auto back = test::ArchiveRoundTrip<HistVars>(h);
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == h);
    const auto plot = test::ArchiveRoundTrip<PlotVars>(h.plot);
    EXPECT_TRUE(*plot == h.plot);

    std::vector<std::uint8_t> bytes = StoreBody(h.plot.xAxis);
    bytes[4] = 7;     // grid
    bytes[6] = 0x80;  // log
    const AxisVars loaded = LoadBody<AxisVars>(bytes);
    EXPECT_TRUE(loaded.grid);
    EXPECT_TRUE(loaded.log);
    // A record cut short is an error of the archive, not garbage settings.
    bytes.resize(10);
    EXPECT_THROW(LoadBody<AxisVars>(bytes), ArchiveException);
}

PlotVars SampleVars() {
    PlotVars v;
    v.showTitle = true;
    v.title = "Gain of 'Source'";
    v.showLegend = true;
    v.xAxis = {};
    v.xAxis.autoscale = false;
    v.xAxis.range = 5;
    v.xAxis.offset = 2;
    v.xAxis.grid = false;
    v.xAxis.showLabel = true;
    v.xAxis.label = "Beam Energy(keV)";
    v.yAxis.autoscale = false;
    v.yAxis.log = true;
    v.yAxis.range = 99;
    v.yAxis.offset = 1;
    v.yAxis.label = "Gain";
    return v;
}

TEST(PlotSettingsControl, ApplyThenReadGivesTheSameSettings) {
    PlotControl ctrl;
    int repaints = 0;
    ctrl.invalidate = [&] { ++repaints; };
    const PlotVars v = SampleVars();
    ApplyPlotVarsToCtrl(v, ctrl);
    EXPECT_GT(repaints, 10);
    PlotVars back;
    PlotVarsFromCtrl(back, ctrl);
    EXPECT_TRUE(back == v);
    EXPECT_TRUE(ctrl.GetGraph().IsYLog());
    EXPECT_FALSE(ctrl.GetGraph().plot.xGrid);
    EXPECT_EQ(ctrl.GetGraph().xAxis.tickStep, 2);  // the fixed range of 5 sets the ticks
}

TEST(PlotSettingsControl, AutoscaleRangesFromTheDataAndDamagedRangesAreIgnored) {
    PlotControl ctrl;
    PlotVars v = SampleVars();
    v.xAxis.autoscale = true;
    ApplyPlotVarsToCtrl(v, ctrl);
    EXPECT_TRUE(ctrl.GetGraph().xAxis.autoscale);
    EXPECT_DOUBLE_EQ(ctrl.GetGraph().xAxis.offset, 0);  // the demo data run 0..1
    EXPECT_DOUBLE_EQ(ctrl.GetGraph().xAxis.range, 1);

    PlotControl ctrl2;
    ctrl2.GetGraph().yAxis.range = 3;
    ctrl2.GetGraph().yAxis.offset = 0.5;
    for (double range :
         {-4.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        PlotVars bad = SampleVars();
        bad.yAxis.range = range;
        bad.yAxis.offset = std::numeric_limits<double>::quiet_NaN();
        EXPECT_NO_THROW(ApplyPlotVarsToCtrl(bad, ctrl2));
        EXPECT_EQ(ctrl2.GetGraph().yAxis.range, 3) << range;
        EXPECT_EQ(ctrl2.GetGraph().yAxis.offset, 0.5) << range;
    }
}

TEST(PlotSettingsControl, FixedRangesRefuseNegativeValues) {
    PlotControl ctrl;
    ctrl.GetGraph().yAxis.autoscale = true;
    SetPlotYRange(ctrl, 5);
    EXPECT_FALSE(ctrl.GetGraph().yAxis.autoscale);
    EXPECT_EQ(ctrl.GetGraph().yAxis.range, 5);
    EXPECT_EQ(ctrl.GetGraph().yAxis.tickStep, 2);
    try {
        SetPlotXRange(ctrl, -1);
        FAIL();
    } catch (const PlotError& e) {
        EXPECT_STREQ(e.what(), "Range must be >= 0.0");
    }
}

TEST(PlotPropertiesLogic, InvalidNumbersLeaveThePlotAsItWas) {
    PlotControl ctrl;
    PlotPropertiesModel m(ctrl);
    Axis& x = ctrl.GetGraph().xAxis;
    x.range = 3;
    for (const char* text : {"abc", "-1", "", "inf", "nan"})
        EXPECT_EQ(m.CommitRange(PlotAxisId::X, text), "Invalid XRange value") << text;
    EXPECT_EQ(x.range, 3);
    EXPECT_EQ(m.CommitRange(PlotAxisId::Y, "x"), "Invalid YRange value");
    EXPECT_EQ(m.CommitOffset(PlotAxisId::X, "x"), "Invalid XOffs value");
    EXPECT_EQ(m.CommitOffset(PlotAxisId::Y, "--"), "Invalid YOffs value");

    EXPECT_EQ(m.CommitRange(PlotAxisId::X, "2.5"), "");
    EXPECT_EQ(x.range, 2.5);
    Axis& y = ctrl.GetGraph().yAxis;
    y.autoscale = false;
    EXPECT_EQ(m.CommitOffset(PlotAxisId::Y, "2.5"), "");
    EXPECT_EQ(y.offset, 2.5);
    EXPECT_FALSE(y.autoscale);
}

TEST(PlotPropertiesLogic, SpinsStepByOneAndRangesStopAtZero) {
    PlotControl ctrl;
    PlotPropertiesModel m(ctrl);
    EXPECT_EQ(m.SpinRange(PlotAxisId::X, "0.5", -1), "0");
    EXPECT_EQ(ctrl.GetGraph().xAxis.range, 0);
    EXPECT_EQ(m.SpinRange(PlotAxisId::X, "0", 1), "1");
    EXPECT_EQ(m.SpinOffset(PlotAxisId::Y, "1", -3), "-2");
    EXPECT_EQ(ctrl.GetGraph().yAxis.offset, -2);
    ctrl.GetGraph().yAxis.offset = 4;
    EXPECT_EQ(m.SpinOffset(PlotAxisId::Y, "junk", 1), "5");  // no number typed: from the axis
}

TEST(PlotPropertiesLogic, ChecksAndRadiosActOnThePlotAtOnce) {
    PlotControl ctrl;
    int repaints = 0;
    ctrl.invalidate = [&] { ++repaints; };
    PlotPropertiesModel m(ctrl);
    Graph& g = ctrl.GetGraph();
    g.yAxis.range = 50;
    m.SetAutoscale(PlotAxisId::Y, true);
    EXPECT_TRUE(g.yAxis.autoscale);
    EXPECT_NEAR(g.yAxis.offset, -1, 1e-9);  // the demo sine waves
    EXPECT_NEAR(g.yAxis.range, 2, 1e-9);
    m.SetLog(PlotAxisId::X, true);
    EXPECT_TRUE(g.IsXLog());
    EXPECT_TRUE(g.plot.IsXLog());
    m.SetShowTitle(false);
    m.SetTitle("New");
    m.SetGrid(PlotAxisId::Y, false);
    m.SetShowLabel(PlotAxisId::X, false);
    m.SetLabel(PlotAxisId::Y, "Counts");
    EXPECT_GE(repaints, 7);
    const PlotPropertiesModel::Fields f = m.Read();
    EXPECT_FALSE(f.showTitle);
    EXPECT_EQ(f.title, "New");
    EXPECT_FALSE(f.y.grid);
    EXPECT_FALSE(f.x.showLabel);
    EXPECT_EQ(f.y.label, "Counts");
    EXPECT_EQ(f.y.range, "2");
    EXPECT_EQ(f.y.offset, "-1");
    EXPECT_TRUE(f.x.log);
}

TEST(PlotPropertiesLogic, RenameReplacesOnlyQuotedNames) {
    std::string t = "Doc: 'CT1' Filter 'Source' of 'CT1'";
    EXPECT_TRUE(ReplaceQuotedName(t, "CT1", "Beam 2"));
    EXPECT_EQ(t, "Doc: 'Beam 2' Filter 'Source' of 'Beam 2'");
    std::string u = "CT1 without quotes";
    EXPECT_FALSE(ReplaceQuotedName(u, "CT1", "X"));
    std::string v = "'a'";
    EXPECT_TRUE(ReplaceQuotedName(v, "a", "'a'"));  // a new name holding the old one ends
    EXPECT_EQ(v, "''a''");
}

}  // namespace
