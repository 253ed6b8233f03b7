#include "foundation/ui/wheelguard.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QChildEvent>
#include <QComboBox>
#include <QEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>

namespace zun {

namespace {

// Watches every widget under the area's viewport: a control that would change on the wheel while
// it has no focus lets the wheel go on to its parents (Qt hands an ignored wheel event up the
// widget tree), and so to the nearest area that can still scroll.
class WheelGuard : public QObject {
public:
    static constexpr const char* kName = "zunWheelGuard";

    explicit WheelGuard(QAbstractScrollArea* area) : QObject(area), area_(area) {
        setObjectName(kName);
        Watch(area->viewport());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
            case QEvent::Wheel:
                return PassOn(watched, e);
            case QEvent::ChildAdded:
                Adopt(static_cast<QChildEvent*>(e)->child());
                break;
            case QEvent::ChildPolished:
                if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child())) Watch(w);
                break;
            default:
                break;
        }
        return false;
    }

private:
    void Watch(QWidget* w) {
        // A combo box's list and any dialog made over the area are windows of their own.
        if (w->isWindow()) return;
        w->installEventFilter(this);  // once: Qt keeps a filter only once per object
        // A wheel over a control with wheel focus gives it the focus before the control sees the
        // event; only a click or Tab may give it now.
        if (WheelChangesValue(w) && w->focusPolicy() == Qt::WheelFocus) w->setFocusPolicy(Qt::StrongFocus);
        for (QObject* o : w->children())
            if (auto* c = qobject_cast<QWidget*>(o)) Watch(c);
    }

    // A child is announced while it is being made, before it is a combo box or a spin box: its
    // own children are watched from now on, and it is looked at again once it is polished (before
    // it is first shown) or, when it had been polished elsewhere, once the event loop runs.
    void Adopt(QObject* child) {
        if (!child->isWidgetType() || static_cast<QWidget*>(child)->isWindow()) return;
        child->installEventFilter(this);
        QTimer::singleShot(0, this, [this, c = QPointer<QObject>(child)] {
            if (auto* w = qobject_cast<QWidget*>(c.data()); w && area_->viewport()->isAncestorOf(w)) Watch(w);
        });
    }

    bool PassOn(QObject* watched, QEvent* e) const {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || !WheelChangesValue(w) || w->hasFocus() || !area_->viewport()->isAncestorOf(w)) return false;
        e->ignore();
        return true;
    }

    QAbstractScrollArea* area_;
};

}  // namespace

void ScrollAreaTakesWheel(QAbstractScrollArea* area) {
    // By name: the guard has no meta-object of its own for a typed search to tell it apart.
    if (area && !area->findChild<QObject*>(WheelGuard::kName, Qt::FindDirectChildrenOnly))
        new WheelGuard(area);
}

bool WheelChangesValue(const QWidget* control) {
    if (!control) return false;
    if (qobject_cast<const QAbstractSlider*>(control)) return !qobject_cast<const QScrollBar*>(control);
    return qobject_cast<const QComboBox*>(control) || qobject_cast<const QAbstractSpinBox*>(control) ||
           qobject_cast<const QTabBar*>(control);
}

}  // namespace zun
