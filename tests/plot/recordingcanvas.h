#pragma once
// A canvas that keeps every drawing call, with text metrics of fixed size per character, so that
// tests can check what the plot model draws.

#include <string>
#include <vector>

#include "plot/plotcanvas.h"

namespace zun::test {

class RecordingCanvas : public PlotCanvas {
public:
    struct Line {
        PixelPoint from, to;
        ColourRef colour;
        int style;
    };
    struct Text {
        PixelPoint at;
        std::string text;
        bool vertical;
    };

    static constexpr double kCharWidth = 7;
    static constexpr double kTextHeight = 16;

    TextSize MeasureText(const std::string& text, bool) override {
        return {kCharWidth * static_cast<double>(text.size()), kTextHeight};
    }
    void Save() override { ++saves; }
    void Restore() override { ++restores; }
    void SetClip(const PixelRect& r) override { clips.push_back(r); }
    void SetPen(ColourRef c, int s) override {
        colour = c;
        style = s;
    }
    void DrawLine(PixelPoint a, PixelPoint b) override { lines.push_back({a, b, colour, style}); }
    void DrawPolyline(const std::vector<PixelPoint>& p) override {
        polylines.push_back(p);
        polylineColours.push_back(colour);
    }
    void SetPixel(PixelPoint p, ColourRef c) override { pixels.push_back({p, p, c, 0}); }
    void FillRect(const PixelRect& r, ColourRef c) override {
        fills.push_back(r);
        fillColours.push_back(c);
    }
    void DrawText(PixelPoint at, const std::string& t, bool v) override { texts.push_back({at, t, v}); }
    void DrawFrame(const PixelRect& r, int s) override { frames.push_back({r, s}); }

    const Text* FindText(const std::string& t) const {
        for (const Text& x : texts)
            if (x.text == t) return &x;
        return nullptr;
    }

    ColourRef colour = 0;
    int style = 0;
    int saves = 0, restores = 0;
    std::vector<PixelRect> clips, fills;
    std::vector<ColourRef> fillColours;
    std::vector<Line> lines, pixels;
    std::vector<std::vector<PixelPoint>> polylines;
    std::vector<ColourRef> polylineColours;
    std::vector<Text> texts;
    std::vector<std::pair<PixelRect, int>> frames;
};

}  // namespace zun::test
