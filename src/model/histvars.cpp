#include "model/histvars.h"

namespace zun {

ZUN_IMPLEMENT_SERIAL(AxisVars, Serializable, 0)
ZUN_IMPLEMENT_SERIAL(PlotVars, Serializable, 0)
ZUN_IMPLEMENT_SERIAL(HistVars, Serializable, 0)

void AxisVars::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp << grid << autoscale << log << range << offset << showLabel << label;
    } else {
        std::uint32_t stamp = 0;
        ar >> stamp >> grid >> autoscale >> log >> range >> offset >> showLabel >> label;
    }
}

bool AxisVars::operator==(const AxisVars& o) const {
    return grid == o.grid && autoscale == o.autoscale && log == o.log && range == o.range &&
           offset == o.offset && showLabel == o.showLabel && label == o.label;
}

void PlotVars::Serialize(Archive& ar) {
    xAxis.Serialize(ar);
    yAxis.Serialize(ar);
    if (ar.IsStoring()) {
        ar << kRecordStamp << showTitle << title << showLegend;
    } else {
        std::uint32_t stamp = 0;
        ar >> stamp >> showTitle >> title >> showLegend;
    }
}

bool PlotVars::operator==(const PlotVars& o) const {
    return showTitle == o.showTitle && title == o.title && showLegend == o.showLegend && xAxis == o.xAxis &&
           yAxis == o.yAxis;
}

void HistVars::Serialize(Archive& ar) {
    plot.Serialize(ar);
    if (ar.IsStoring()) {
        ar << kRecordStamp << binCount << xUnit << closure << yUnit << style;
    } else {
        std::uint32_t stamp = 0;
        ar >> stamp >> binCount >> xUnit >> closure >> yUnit >> style;
    }
}

bool HistVars::operator==(const HistVars& o) const {
    return binCount == o.binCount && xUnit == o.xUnit && closure == o.closure && yUnit == o.yUnit &&
           style == o.style && plot == o.plot;
}

const std::array<ColourRef, 25>& PlotSeriesPalette() {
    static constexpr std::array<ColourRef, 25> palette{
        MakeColourRef(255, 0, 0),    MakeColourRef(0, 255, 0),    MakeColourRef(0, 0, 255),
        MakeColourRef(255, 255, 0),  MakeColourRef(0, 255, 255),  MakeColourRef(255, 0, 255),
        MakeColourRef(255, 128, 0),  MakeColourRef(0, 255, 128),  MakeColourRef(128, 0, 255),
        MakeColourRef(128, 255, 0),  MakeColourRef(0, 128, 255),  MakeColourRef(255, 0, 128),
        MakeColourRef(200, 55, 55),  MakeColourRef(55, 200, 55),  MakeColourRef(55, 55, 200),
        MakeColourRef(200, 200, 55), MakeColourRef(55, 200, 200), MakeColourRef(200, 55, 200),
        MakeColourRef(200, 128, 55), MakeColourRef(55, 200, 128), MakeColourRef(128, 55, 200),
        MakeColourRef(128, 200, 55), MakeColourRef(55, 128, 200), MakeColourRef(200, 55, 128),
        MakeColourRef(255, 255, 255)};
    return palette;
}

}  // namespace zun
