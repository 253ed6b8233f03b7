#pragma once
// The wheel over a scrolling area scrolls it. Combo boxes, spin boxes, sliders and tab bars take
// the wheel wherever the pointer rests, so in a column that scrolls, the first notch slides one of
// them under the pointer and the next notches change a setting nobody meant to touch. Inside a
// guarded area such a control takes the wheel only while it has the keyboard focus (a click or
// Tab); otherwise the wheel goes on to the area, which scrolls. Controls outside a guarded area
// keep the wheel as before.

class QAbstractScrollArea;
class QWidget;

namespace zun {

// Guards every control in the area's viewport, those it holds now and those added later: the
// widget of a QScrollArea and what it holds, the cell widgets and editors of a table. Call it once
// where the area is made (again does nothing). A null area does nothing.
void ScrollAreaTakesWheel(QAbstractScrollArea* area);

// True for a control whose value or page the wheel changes: combo boxes, spin boxes (dates and
// times too), sliders and dials, tab bars. Not scroll bars: they only scroll.
bool WheelChangesValue(const QWidget* control);

}  // namespace zun
