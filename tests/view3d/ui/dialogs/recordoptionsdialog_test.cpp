#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "uitest.h"
#include "view3d/ui/animationrecording.h"

namespace zun {
namespace {

TEST(RecordOptionsDialog, ControlsFollowTheChoicesAndValuesAreChecked) {
    test::UiApp();
    RecordOptionsDialog dialog(nullptr, RecordOptions{});
    QStringList messages;
    dialog.showMessage = [&](const QString& m) { messages << m; };
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Record Animation");
    EXPECT_TRUE(dialog.Kind(1)->isChecked());
    EXPECT_EQ(dialog.FrameRate()->text(), "24");
    EXPECT_EQ(dialog.Period()->text(), "10.0");
    EXPECT_EQ(dialog.AxisAngle()->text(), "0.0");
    EXPECT_FALSE(dialog.AxisAngle()->isEnabled());
    EXPECT_FALSE(dialog.FillIn()->isEnabled());
    test::Screenshot(&dialog, "view3d-record-animation");

    dialog.Kind(2)->click();
    EXPECT_EQ(dialog.AxisAngle()->text(), "90.0");
    dialog.Kind(3)->click();
    EXPECT_TRUE(dialog.AxisAngle()->isEnabled());
    dialog.Effect()->click();
    EXPECT_TRUE(dialog.FillIn()->isEnabled() && dialog.FillIn()->isChecked());
    dialog.NoRotation()->click();
    EXPECT_FALSE(dialog.Kind(0)->isEnabled());
    EXPECT_FALSE(dialog.Rotations()->isEnabled());

    dialog.Period()->setText("abc");
    dialog.accept();
    dialog.Period()->setText("0.5");
    dialog.FrameRate()->setText("10");
    dialog.accept();
    dialog.FrameRate()->setText("9");
    dialog.accept();
    EXPECT_EQ(messages, (QStringList{"Invalid value for Rotation period", "Period must be > 0",
                                     "Frame rate must be > 10"}));
    EXPECT_TRUE(dialog.isVisible());

    dialog.FrameRate()->setText("25");
    dialog.Period()->setText("4");
    dialog.StepThrough()->click();
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Options().mode, 4);
    EXPECT_EQ(dialog.Options().effect, 2);
    EXPECT_EQ(dialog.Options().frameRate, 25u);
    EXPECT_FLOAT_EQ(dialog.Options().period, 4.0f);
}

}  // namespace
}  // namespace zun
