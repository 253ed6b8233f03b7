#pragma once
// How a window's controls lie, as a user reads them: the blank bands between the rows of controls
// that show. A window that hides a section should close up its rows rather than spread them over
// the height the section had.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QWidget>

namespace zun::test {

// The largest blank band between two rows of controls, and the controls above and below it.
struct LayoutGap {
    int height = 0;
    std::string above, below;
};

namespace detail {

struct Band {
    int top, bottom;
    std::string name;
};

inline std::string ControlName(const QWidget* w) {
    QString text;
    if (auto* l = qobject_cast<const QLabel*>(w))
        text = l->text();
    else if (auto* b = qobject_cast<const QAbstractButton*>(w))
        text = b->text();
    else if (auto* g = qobject_cast<const QGroupBox*>(w))
        text = g->title();
    std::string name = w->metaObject()->className();
    if (!text.isEmpty()) name += " \"" + text.toStdString() + "\"";
    return name;
}

// A control a user reads as one piece: its children belong to it.
inline bool IsControl(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w)) return !l->text().isEmpty() || !l->pixmap().isNull();
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const QTabWidget*>(w) || qobject_cast<const QAbstractScrollArea*>(w);
}

// The part of a control's height that shows it: a label or check box given more height than it
// asks for draws its text at one place within it (a label by its alignment, a check box in the
// middle) and leaves the rest blank.
inline std::pair<int, int> DrawnSpan(const QWidget* c) {
    const int h = c->height();
    auto at = [h](int need, Qt::Alignment a) {
        need = std::min(h, need);
        const int top = a & Qt::AlignTop ? 0 : a & Qt::AlignBottom ? h - need : (h - need) / 2;
        return std::pair(top, top + need);
    };
    if (auto* l = qobject_cast<const QLabel*>(c)) return at(l->sizeHint().height(), l->alignment());
    if (qobject_cast<const QCheckBox*>(c) || qobject_cast<const QRadioButton*>(c))
        return at(c->sizeHint().height(), Qt::AlignVCenter);
    return {0, h};
}

inline void CollectBands(const QWidget* within, const QWidget* w, std::vector<Band>& bands) {
    for (const QObject* o : w->children()) {
        const auto* c = qobject_cast<const QWidget*>(o);
        if (!c || c->isWindow() || !c->isVisibleTo(within) || c->size().isEmpty()) continue;
        const int top = c->mapTo(within, QPoint(0, 0)).y();
        if (IsControl(c)) {
            const auto [from, to] = DrawnSpan(c);
            bands.push_back({top + from, top + to, ControlName(c)});
            continue;
        }
        if (auto* g = qobject_cast<const QGroupBox*>(c)) {
            // A group box shows its title at the top and its frame's edge at the bottom.
            QStyleOptionGroupBox option;
            option.initFrom(g);
            option.text = g->title();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect frame =
                g->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, g);
            const int titleBottom = std::max(g->contentsRect().top(), frame.top() + 1);
            bands.push_back({top, top + titleBottom, ControlName(g) + " (top)"});
            bands.push_back({top + frame.bottom(), top + g->height(), ControlName(g) + " (bottom)"});
        }
        CollectBands(within, c, bands);
    }
}

}  // namespace detail

// Lets a window lay itself out as its next repaint shows it: the layouts' requests and the moves
// and resizes they cause, which may post more in turn (a scrolling page resizes its page only
// once the page's layout has asked for it).
inline void SettleLayout() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

// The largest blank band, from the top of `within` down, between the rows of the controls it
// shows (labels with text, buttons, edits, combo boxes, spin boxes, sliders, tables and tab
// widgets, each taken whole; a group box by its title and its bottom edge). Controls side by side
// or overlapping in height make one row. The room below the last row does not count.
inline LayoutGap LargestRowGap(const QWidget* within) {
    std::vector<detail::Band> bands;
    detail::CollectBands(within, within, bands);
    std::sort(bands.begin(), bands.end(), [](const auto& a, const auto& b) { return a.top < b.top; });
    LayoutGap gap;
    int bottom = 0;
    std::string last = "the top";
    for (const detail::Band& b : bands) {
        if (b.top - bottom > gap.height) gap = {b.top - bottom, last, b.name};
        if (b.bottom >= bottom) {
            bottom = b.bottom;
            last = b.name;
        }
    }
    return gap;
}

// The band a window may leave between two rows: the style's spacing between controls, or the
// margin of a group box, and a few pixels more.
inline int RowGapAllowed(const QWidget* w) {
    const QStyle* s = w->style();
    const int spacing = std::max(s->pixelMetric(QStyle::PM_LayoutVerticalSpacing), 6);
    const int margin = std::max(s->pixelMetric(QStyle::PM_LayoutBottomMargin), 9);
    return spacing + margin + 4;
}

}  // namespace zun::test
