#pragma once
// Whether a window's number fields show a whole value of their kind, as a user reads it back: the
// value is put in the field with the cursor after it, the field drawn, and the field must not
// have scrolled its text to keep the cursor in view (its first character stands where the
// cursor of an empty field stands). Spin boxes are read with the longer end of their range.

#include <string>
#include <vector>

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QWidget>

#include "foundation/ui/numberfield.h"

namespace zun::test {

struct NumberFieldCheck {
    std::string field;   // object name or class, and the sample
    int width = 0;       // the field's width
    bool whole = false;  // the sample showed whole
};

namespace detail {

inline int CursorX(QLineEdit* e) {
    return e->inputMethodQuery(Qt::ImCursorRectangle).toRect().left();
}

// True when `text` shows whole in the field at its present size. The field's text, cursor and
// signals are as before afterwards.
inline bool ShowsWhole(QLineEdit* e, const QString& text) {
    const QSignalBlocker block(e);
    const QString old = e->text();
    const int oldCursor = e->cursorPosition();
    e->setText(QString());
    e->grab();
    const int start = CursorX(e);
    e->setText(text);
    e->setCursorPosition(static_cast<int>(text.size()));
    e->grab();  // drawing scrolls the text when it does not fit
    e->setCursorPosition(0);
    const bool whole = CursorX(e) == start;
    e->setText(old);
    e->setCursorPosition(oldCursor);
    e->grab();
    return whole;
}

inline QString SpinSample(const QAbstractSpinBox* s) {
    if (auto* i = qobject_cast<const QSpinBox*>(s)) {
        const QString low = i->prefix() + QString::number(i->minimum()) + i->suffix();
        const QString high = i->prefix() + QString::number(i->maximum()) + i->suffix();
        return low.size() > high.size() ? low : high;
    }
    return {};
}

}  // namespace detail

// Every number field (made by RealField or IntegerField) and integer spin box the window shows.
inline std::vector<NumberFieldCheck> CheckNumberFields(QWidget* window) {
    std::vector<NumberFieldCheck> checks;
    auto name = [](const QWidget* w, const QString& sample) {
        const QString n = w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName();
        return (n + " \"" + sample + "\"").toStdString();
    };
    for (QLineEdit* e : window->findChildren<QLineEdit*>()) {
        if (!e->isVisibleTo(window)) continue;
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(e->parentWidget())) {
            const QString sample = detail::SpinSample(spin);
            if (!sample.isEmpty())
                checks.push_back({name(spin, sample), spin->width(), detail::ShowsWhole(e, sample)});
            continue;
        }
        const QString sample = NumberFieldSample(e);
        if (!sample.isEmpty()) checks.push_back({name(e, sample), e->width(), detail::ShowsWhole(e, sample)});
    }
    return checks;
}

// The number of real fields among the checks (their sample is the real one).
inline int RealFieldCount(const std::vector<NumberFieldCheck>& checks) {
    int n = 0;
    for (const NumberFieldCheck& c : checks)
        if (c.field.find(kRealFieldSample) != std::string::npos) ++n;
    return n;
}

}  // namespace zun::test
