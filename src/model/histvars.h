#pragma once
// Plot and histogram settings that channels keep in the document (axis, plot and histogram
// records), and the series colour palette of the plots.

#include <array>
#include <cstdint>
#include <string>

#include "platform/archive.h"

namespace zun {

class AxisVars : public Serializable {
    ZUN_DECLARE_SERIAL(AxisVars)
public:
    void Serialize(Archive& ar) override;
    bool operator==(const AxisVars& o) const;

    bool grid = true;
    bool autoscale = true;
    bool log = false;
    double range = 1.0;
    double offset = 0.0;
    bool showLabel = false;
    std::string label;
};

class PlotVars : public Serializable {
    ZUN_DECLARE_SERIAL(PlotVars)
public:
    void Serialize(Archive& ar) override;
    bool operator==(const PlotVars& o) const;

    bool showTitle = false;
    std::string title;
    bool showLegend = false;
    AxisVars xAxis;
    AxisVars yAxis;
};

class HistVars : public Serializable {
    ZUN_DECLARE_SERIAL(HistVars)
public:
    enum XUnit : std::int32_t { kNormBinIndex = 0, kBinIndex = 1, kPhysical = 2 };
    enum Closure : std::int32_t { kAllBins = 0, kNoFirstBin = 1, kNoLastBin = 2, kNoEndBins = 3 };
    enum YUnit : std::int32_t { kNormFrequency = 0, kFrequency = 1 };
    enum Style : std::int32_t { kLine = 0, kBar = 1 };

    void Serialize(Archive& ar) override;
    bool operator==(const HistVars& o) const;

    std::int32_t binCount = 0;  // 0: not set yet, defaults come at the first opening
    std::int32_t xUnit = kNormBinIndex;
    std::int32_t closure = kAllBins;
    std::int32_t yUnit = kNormFrequency;
    std::int32_t style = kBar;
    PlotVars plot;
};

// COLORREF values (0x00BBGGRR) of the plot series colours, in the order plots hand them out.
using ColourRef = std::uint32_t;
constexpr ColourRef MakeColourRef(int r, int g, int b) {
    return static_cast<ColourRef>(r) | (static_cast<ColourRef>(g) << 8) | (static_cast<ColourRef>(b) << 16);
}
const std::array<ColourRef, 25>& PlotSeriesPalette();

}  // namespace zun
