#include <gtest/gtest.h>

#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "uitest.h"
#include "view3d/recordingtexts.h"
#include "view3d/ui/movierecording.h"

namespace zun {
namespace {

// The save dialog of a computation movie keeps itself open on a bad frame rate and says why.
TEST(ComputationRecordingDialog, FrameRateIsCheckedBeforeTheFile) {
    test::UiApp();
    char tmpl[] = "/tmp/zun_recdialog_XXXXXX";
    const std::filesystem::path folder = mkdtemp(tmpl);
    { std::ofstream(folder / "earlier.avi") << "x"; }
    ComputationRecordingDialog dialog(nullptr, "phantom.zun:1: Record Computation",
                                      QString::fromStdString(folder.string()), 25, false);
    QStringList messages;
    dialog.showMessage = [&](const QString& m) { messages << m; };
    dialog.resize(760, 480);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "phantom.zun:1: Record Computation");
    EXPECT_EQ(dialog.FramesPerSecondEdit()->text(), "25");
    EXPECT_FALSE(dialog.SaveFramesBox()->isChecked());
    EXPECT_EQ(dialog.SaveFramesBox()->text(), recmsg::kSaveFramesAlso);
    // Only digits can be typed.
    test::Retype(dialog.FramesPerSecondEdit(), "1x2");
    EXPECT_EQ(dialog.FramesPerSecondEdit()->text(), "12");
    dialog.SaveFramesBox()->setChecked(true);
    test::Screenshot(&dialog, "view3d-record-computation");
    for (const char* bad : {"", "0"}) {
        dialog.FramesPerSecondEdit()->setText(bad);
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible()) << bad;
    }
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], recmsg::kFpsNotPositive);
    dialog.FramesPerSecondEdit()->setText("12");
    dialog.selectFile(QString::fromStdString((folder / "run.avi").string()));
    dialog.accept();
    EXPECT_EQ(dialog.FramesPerSecond(), 12);
    EXPECT_TRUE(dialog.SaveFrames());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zun
