#include "foundation/ui/numberfield.h"

#include <algorithm>

#include <QEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace zun {

namespace {

constexpr const char* kSampleProperty = "zunNumberSample";

// The margin QLineEdit keeps on each side of its text, and the cursor after the last character.
constexpr int kTextMargin = 2;
constexpr int kCursor = 1;

// Gives the field its least width now and again whenever its font or style changes: a style
// sheet or a smaller font set after the field was made changes what a whole value needs.
class NumberFieldWidth : public QObject {
public:
    static constexpr const char* kName = "zunNumberFieldWidth";
    explicit NumberFieldWidth(QLineEdit* field)
        : QObject(field), field_(field), floor_(field->minimumWidth()) {
        setObjectName(kName);
        field->installEventFilter(this);
        Apply();
    }
    void Apply() {
        // A dialog may have asked for more room, for a word the field shows instead of a number.
        const int width = std::max(floor_, LineEditWidthFor(field_, NumberFieldSample(field_)));
        if (field_->minimumWidth() != width) field_->setMinimumWidth(width);
        // A cap set for a smaller font would squeeze the field again.
        if (field_->maximumWidth() < width) field_->setMaximumWidth(width);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type t = event->type();
        if (watched == field_ && (t == QEvent::FontChange || t == QEvent::StyleChange || t == QEvent::Polish))
            Apply();
        return false;
    }

private:
    QLineEdit* field_;
    int floor_;
};

QLineEdit* MakeNumberField(QLineEdit* field, const QString& sample) {
    if (!field) return field;
    field->setProperty(kSampleProperty, sample);
    // By name: the watch has no meta-object of its own for a typed search to tell it apart.
    if (auto* watch = field->findChild<QObject*>(NumberFieldWidth::kName, Qt::FindDirectChildrenOnly))
        static_cast<NumberFieldWidth*>(watch)->Apply();
    else
        new NumberFieldWidth(field);
    return field;
}

}  // namespace

QLineEdit* RealField(QLineEdit* field) {
    return MakeNumberField(field, QString::fromLatin1(kRealFieldSample));
}

QLineEdit* IntegerField(QLineEdit* field, std::int64_t low, std::int64_t high) {
    const QString a = QString::number(low), b = QString::number(high);
    return MakeNumberField(field, a.size() > b.size() ? a : b);
}

QString NumberFieldSample(const QWidget* field) {
    return field ? field->property(kSampleProperty).toString() : QString();
}

int LineEditWidthFor(const QLineEdit* field, const QString& text) {
    if (!field) return 0;
    const QFontMetrics fm = field->fontMetrics();
    const QMargins tm = field->textMargins();
    const QMargins cm = field->contentsMargins();
    // A glyph may reach past its advance on the right, and the field lays its text out in
    // fractions of a pixel: it scrolls when either takes it past the last whole pixel.
    const int bearing = std::max(0, -fm.minRightBearing());
    const int inner = fm.horizontalAdvance(text) + 2 * kTextMargin + kCursor + bearing + 1 + tm.left() +
                      tm.right() + cm.left() + cm.right();
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth =
        field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (field->isReadOnly()) option.state |= QStyle::State_ReadOnly;
    option.features = QStyleOptionFrame::None;
    const QSize contents(inner, fm.height());
    return field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, field).width();
}

}  // namespace zun
