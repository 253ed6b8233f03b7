// Number fields keep room for a whole value of their kind: beside a long label in a window laid
// out narrower than it asks, under a cap set for a smaller font, and after their font grows.

#include <gtest/gtest.h>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "foundation/ui/numberfield.h"
#include "numberfields.h"
#include "uitest.h"

namespace zun {
namespace {

// A row as the import dialog has it: a label longer than the window leaves room for, and a field.
struct Row {
    QWidget window;
    QLineEdit* field = new QLineEdit;

    Row() {
        auto* grid = new QGridLayout(&window);
        grid->addWidget(new QLabel("Linear attenuation coefficient  for image value 0.0 (1/cm):"), 0, 0);
        grid->addWidget(field, 0, 1);
    }
    // The window at the least size its layout allows, as a crowded dialog gives its rows.
    void Squeeze() {
        window.show();
        window.resize(1, window.sizeHint().height());
        QApplication::processEvents();
    }
    bool Whole(const QString& text) { return test::detail::ShowsWhole(field, text); }
};

TEST(NumberField, APlainFieldBesideALongLabelIsSqueezedButANumberFieldIsNot) {
    test::UiApp();
    Row plain;
    plain.Squeeze();
    EXPECT_FALSE(plain.Whole(kRealFieldSample)) << "width " << plain.field->width();

    Row real;
    RealField(real.field);
    real.Squeeze();
    EXPECT_TRUE(real.Whole(kRealFieldSample)) << "width " << real.field->width();
    EXPECT_TRUE(real.Whole("-1.25e+10")) << "width " << real.field->width();
    test::Screenshot(&real.window, "number-field-squeezed");
}

TEST(NumberField, IntegerFieldsHoldTheLongerEndOfTheirRange) {
    test::UiApp();
    Row row;
    IntegerField(row.field, -99999, 9999);
    EXPECT_EQ(NumberFieldSample(row.field), "-99999");
    row.Squeeze();
    EXPECT_TRUE(row.Whole("-99999")) << "width " << row.field->width();
    // Narrower than a real: a column of small counts stays small.
    Row real;
    RealField(real.field);
    EXPECT_LT(row.field->minimumWidth(), real.field->minimumWidth());
}

TEST(NumberField, ACapAndAFontChangeDoNotCutTheValue) {
    test::UiApp();
    Row row;
    row.field->setMaximumWidth(40);
    RealField(row.field);
    EXPECT_GE(row.field->maximumWidth(), row.field->minimumWidth());
    row.Squeeze();
    EXPECT_TRUE(row.Whole(kRealFieldSample));

    QFont large = row.field->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    row.field->setFont(large);
    row.Squeeze();
    EXPECT_TRUE(row.Whole(kRealFieldSample)) << "width " << row.field->width() << " after the font grew";

    row.window.setStyleSheet("QLineEdit { font-size: 30px; padding: 0 6px; }");
    row.Squeeze();
    EXPECT_TRUE(row.Whole(kRealFieldSample)) << "width " << row.field->width() << " under a style sheet";
}

TEST(NumberField, AWiderRoomAskedBeforeIsKept) {
    test::UiApp();
    Row row;
    row.field->setMinimumWidth(400);  // for a word shown in place of a number
    RealField(row.field);
    EXPECT_EQ(row.field->minimumWidth(), 400);
    // Probing a field leaves its text as it was.
    row.field->setText("12");
    row.Squeeze();
    EXPECT_TRUE(row.Whole(kRealFieldSample));
    EXPECT_EQ(row.field->text(), "12");
    EXPECT_EQ(NumberFieldSample(nullptr), "");
}

}  // namespace
}  // namespace zun
