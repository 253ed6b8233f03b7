#pragma once
// The program's own 2-D chart: a Graph lays out a data area (Plot), two axes, three labels, a
// legend and a corner filler as fractions of the rectangle it is given, and draws them through a
// PlotCanvas. The plot keeps pointers to its callers' vectors and never copies series data.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/histvars.h"
#include "plot/plotcanvas.h"

namespace zun {

// Misuse of the series and marker operations; the message is meant for the user.
class PlotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Asks AddYData and AddMarker for the first palette colour not yet in use.
constexpr ColourRef kAutoColour = 0x7FFFFFFF;
// The face colour components take when the GUI gives none.
constexpr ColourRef kDefaultFaceColour = 0xF0F0F0;

// Break masks: a non-zero flag at index i starts a new line at point i.
using PlotFlags = std::vector<std::uint8_t>;

struct LocalPoint {
    double x = 0;
    double y = 0;
};

// Text placement flags.
enum PlaceFlags : int {
    kPlaceTop = 1,
    kPlaceMiddle = 2,
    kPlaceBottom = 4,
    kPlaceLeft = 8,
    kPlaceCentre = 0x10,
    kPlaceRight = 0x20
};

class Graph;

// A part of the graph working in its own unit square, (0,0) bottom-left to (1,1) top-right.
class GraphComponent {
public:
    explicit GraphComponent(ColourRef face = kDefaultFaceColour);
    virtual ~GraphComponent() = default;
    GraphComponent(const GraphComponent&) = delete;
    GraphComponent& operator=(const GraphComponent&) = delete;

    virtual PixelPoint ToPixel(LocalPoint p) const;
    virtual LocalPoint PixelToLocal(double dx, double dy) const;
    virtual LocalPoint TextExtent(const std::string& text) const;
    // Where the top-left corner of the text must stand for the anchor to get the alignment.
    virtual LocalPoint PlaceText(LocalPoint anchor, const std::string& text, int flags) const;
    void BeginDraw();
    void EndDraw();

    void SetArea(PlotCanvas* canvas, const PixelRect& r);
    PixelRect PixelRectangle() const;
    void FillBackground();
    void SelectLinePen();
    void MoveTo(LocalPoint p);
    void LineTo(LocalPoint p);
    void PlotPoint();

    // Placement fractions of the drawing rectangle (set by the layout).
    double W = 0, X0 = 0, H = 0, Y0 = 0;
    LocalPoint current;
    ColourRef background;
    ColourRef lineColour = 0;
    int lineStyle = kSolidLine;

    const PixelRect& Area() const { return area_; }
    double WidthSpan() const { return widthSpan_; }
    double LeftSpan() const { return leftSpan_; }
    double HeightSpan() const { return heightSpan_; }
    double BottomSpan() const { return bottomSpan_; }
    bool Visible() const { return W != 0 && H != 0; }

protected:
    PixelPoint BasePixel(LocalPoint p) const;
    LocalPoint BasePixelToLocal(double dx, double dy) const;
    TextSize MeasureRaw(const std::string& text) const;
    void DrawTextAt(LocalPoint topLeft, const std::string& text);

    bool verticalFont_ = false;
    PlotCanvas* canvas_ = nullptr;
    PixelRect area_;
    double widthSpan_ = 0, leftSpan_ = 0, heightSpan_ = 0, bottomSpan_ = 0;
};

class Axis : public GraphComponent {
public:
    Axis(Graph* graph, ColourRef face);

    // Value to local position along the axis and back.
    double Map(double v) const;
    double Unmap(double p) const;
    // Mantissa in [1, 10) and decimal exponent of a positive value, snapped to whole numbers
    // within 1e-7; false for v <= 0 (or not a number).
    static bool SplitDecade(double v, double* mantissa, int* exponent);
    // Major step and minor tick count for a span.
    void SetTickStep(double span);
    void AutoRange();
    bool FirstTick(double* t) const;
    static double NextLogTick(double t);
    bool IsMajorTick(double t) const;
    double MinorSpacing() const { return tickStep / (minorCount + 1); }
    // Every tick position from the first to the end of the axis (bounded in number).
    std::vector<double> TickPositions() const;

    // Draws the major tick at t and its label; returns the label's far end along the axis.
    virtual double DrawTickLabel(double t, double previousEnd);
    void Draw();

    bool IsLog() const { return log; }
    void SetLog(bool b) { log = b; }
    virtual bool IsXAxis() const = 0;

    double range = 1.0;
    double offset = 0.0;
    bool autoscale = false;
    double tickStep = 0.5;
    std::int32_t minorCount = 4;
    std::int32_t labelWidth = 6;
    bool log = false;

    // Ticks drawn at most per axis: a damaged range cannot make the drawing loop run away.
    static constexpr int kMaxTicks = 10000;

protected:
    void DrawTickMark(double t, bool major);
    Graph* graph_;
};

class XAxis : public Axis {
public:
    XAxis(Graph* graph, ColourRef face) : Axis(graph, face) {}
    PixelPoint ToPixel(LocalPoint p) const override;
    bool IsXAxis() const override { return true; }
};

class YAxis : public Axis {
public:
    YAxis(Graph* graph, ColourRef face) : Axis(graph, face) {}
    PixelPoint ToPixel(LocalPoint p) const override;
    LocalPoint PixelToLocal(double dx, double dy) const override;
    LocalPoint PlaceText(LocalPoint anchor, const std::string& text, int flags) const override;
    bool IsXAxis() const override { return false; }
};

class Label : public GraphComponent {
public:
    Label(ColourRef face, std::string t) : GraphComponent(face), text(std::move(t)) {}
    void Draw();
    std::string text;
};

class HLabel : public Label {
public:
    using Label::Label;
};

// Text turned to run upward along the left edge.
class VLabel : public Label {
public:
    VLabel(ColourRef face, std::string t);
    PixelPoint ToPixel(LocalPoint p) const override;
    LocalPoint PixelToLocal(double dx, double dy) const override;
    LocalPoint TextExtent(const std::string& text) const override;
};

class Legend : public GraphComponent {
public:
    Legend(Graph* graph, ColourRef face) : GraphComponent(face), graph_(graph) {}
    void Draw();

private:
    Graph* graph_;
};

class Plot : public GraphComponent {
public:
    struct Series {
        const std::vector<double>* y = nullptr;
        const PlotFlags* breaks = nullptr;
        ColourRef colour = 0;
        std::string name;
    };
    struct Marker {
        double x = 0;
        double yLow = 0;  // fractions of the data area's height
        double yHigh = 0;
        ColourRef colour = 0;
        std::int32_t lineStyle = kDotLine;
    };

    Plot(Graph* graph, ColourRef face) : GraphComponent(face), graph_(graph) {}

    void SetXData(const std::vector<double>* x, const PlotFlags* breaks = nullptr);
    void AddYData(const std::vector<double>* y, ColourRef colour = kAutoColour,
                  const PlotFlags* breaks = nullptr, const std::string& name = {});
    void ClearYData() { series.clear(); }
    int AddMarker(double x, double yLow, double yHigh, ColourRef colour = kAutoColour);
    void RemoveMarker(int index);
    void ClearMarkers();
    void Draw();

    // Span and minimum of the data along x, and over all series along y; false when no value
    // qualifies (the span is then 0 at 0).
    bool XDataRange(bool positivesOnly, double* span, double* min) const;
    bool YDataRange(bool positivesOnly, double* span, double* min) const;
    // The first index with a positive y value and one past the last; false when there is none.
    static bool PositiveExtent(const std::vector<double>& y, bool positivesOnly, std::size_t* begin,
                               std::size_t* end);
    // Range of v[a, b) (b = 0: to the end).
    static bool VectorRange(const std::vector<double>* v, std::size_t a, std::size_t b, bool positivesOnly,
                            double* span, double* min);

    bool IsXLog() const { return xLog; }
    bool IsYLog() const { return yLog; }
    void SetXLog(bool b) { xLog = b; }
    void SetYLog(bool b) { yLog = b; }

    bool xGrid = true;
    bool yGrid = true;
    const std::vector<double>* xData = nullptr;
    const PlotFlags* xBreaks = nullptr;
    std::vector<Series> series;
    std::vector<Marker> markers;
    bool xRangeBySeries = false;
    bool xLog = false;
    bool yLog = false;

private:
    void ReRangeAxes();
    void DrawGrid(const Axis& axis);
    void DrawSeries(const Series& s);
    Graph* graph_;
};

class Graph {
public:
    explicit Graph(ColourRef face = kDefaultFaceColour);
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    // Sets the placement fractions of every component for the rectangle.
    void Layout(PlotCanvas& canvas, const PixelRect& r);
    void Draw(PlotCanvas& canvas, const PixelRect& r);

    bool IsXLog() const { return xAxis.IsLog(); }
    bool IsYLog() const { return yAxis.IsLog(); }
    void SetXLog(bool b);
    void SetYLog(bool b);
    // Background of every component (the GUI's face colour; 0 is taken as light grey).
    void SetFaceColour(ColourRef face);

    // Owned parts, in the order they are built.
    Plot plot;
    XAxis xAxis;
    YAxis yAxis;
    HLabel title;
    HLabel xLabel;
    VLabel yLabel;
    Legend legend;
    GraphComponent corner;

    bool showTitle = true;
    bool showXLabel = true;
    bool showYLabel = true;
    bool showLegend = true;

private:
    void ReRangeAutoscaling();
    std::vector<GraphComponent*> Components();

    std::vector<double> demoX_;
    std::vector<std::vector<double>> demoY_;
};

// The automatic colour for a new series or marker: the first palette entry that none of `used`
// has, black when all are taken.
ColourRef PickAutoColour(const std::vector<ColourRef>& used);

}  // namespace zun
