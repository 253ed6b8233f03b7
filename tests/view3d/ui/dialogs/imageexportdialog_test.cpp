#include "view3d/ui/imageexportdialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tree/displaytree.h"
#include "view3d/ui/exportcommands.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

QApplication* App() {
    static int argc = 1;
    static char name[] = "imageexportdialog_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// Radio buttons are hit on their indicator and text, not across the whole grid cell.
void Click(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

fs::path Scratch(const std::string& name) {
    const fs::path p =
        fs::path(ZUN_TEST_BINARY_DIR) / ("tmp_imageexport_" + std::to_string(::getpid())) / name;
    fs::create_directories(p);
    return p;
}

struct ScratchCleanup {
    ~ScratchCleanup() {
        std::error_code ec;
        fs::remove_all(fs::path(ZUN_TEST_BINARY_DIR) / ("tmp_imageexport_" + std::to_string(::getpid())), ec);
    }
};

TEST(ImageExportDialog, RadiosFollowThePresenterAndExportChecks) {
    App();
    ScratchCleanup cleanup;
    const std::string folder = Scratch("out").string();
    HeadlessPrompt prompt;
    ImageExportDialog dialog(nullptr, folder, &prompt);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Export 2D images");
    EXPECT_EQ(dialog.FolderText()->toolTip().toStdString(), folder);
    EXPECT_TRUE(dialog.FormatRadio(1)->isChecked());
    EXPECT_TRUE(dialog.TypeRadio(1)->isChecked());
    EXPECT_TRUE(dialog.PlaneRadio(0)->isChecked());
    EXPECT_FALSE(dialog.TypeRadio(2)->isEnabled());
    EXPECT_FALSE(dialog.TypeRadio(3)->isEnabled());

    const char* env = std::getenv("ZUN_SCREENS_DIR");
    const std::string dir = env && *env ? env : ZUN_SCREENS_DIR;
    fs::create_directories(dir);
    EXPECT_TRUE(dialog.grab().save(QString::fromStdString(dir + "/image-export.png")));

    Click(dialog.FormatRadio(2));
    EXPECT_TRUE(dialog.TypeRadio(3)->isEnabled());
    Click(dialog.TypeRadio(3));
    Click(dialog.PlaneRadio(1));
    EXPECT_TRUE(dialog.TypeRadio(3)->isChecked());
    EXPECT_FALSE(dialog.TypeRadio(1)->isChecked());
    EXPECT_TRUE(dialog.PlaneRadio(1)->isChecked());
    EXPECT_FALSE(dialog.PlaneRadio(0)->isChecked());
    Click(dialog.FormatRadio(1));
    for (int m = 1; m <= 3; ++m) EXPECT_FALSE(dialog.TypeRadio(m)->isChecked()) << m;
    EXPECT_FALSE(dialog.FormatRadio(2)->isChecked());

    // PNG with a Mono type is refused and the dialog stays open.
    QTest::mouseClick(dialog.ExportButton(), Qt::LeftButton);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, "Current PNG format does not support Mono colour.");
    EXPECT_TRUE(dialog.isVisible());

    // Browsing to a folder that goes away before Export is refused too.
    const std::string gone = Scratch("gone").string();
    dialog.browseFolder = [&](QWidget*, const std::string& title, const std::string& start) {
        EXPECT_EQ(title, "Select export path");
        EXPECT_EQ(start, folder);
        return gone;
    };
    QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.FolderText()->toolTip().toStdString(), gone);
    fs::remove(gone);
    Click(dialog.TypeRadio(1));
    QTest::mouseClick(dialog.ExportButton(), Qt::LeftButton);
    EXPECT_EQ(prompt.Requests().back().text, "Invalid directory input.");
    EXPECT_TRUE(dialog.isVisible());

    dialog.Presenter().OnBrowse(folder);
    QTest::mouseClick(dialog.ExportButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Options().plane, 1);
    EXPECT_EQ(dialog.Options().format, 1);
    EXPECT_EQ(dialog.Options().colourMode, 1);
}

TEST(ImageExportDialog, TheCommandWritesWhatTheDialogChose) {
    App();
    ScratchCleanup cleanup;
    const fs::path out = Scratch("cmd");
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    doc.SetTitle("phantom.zun");
    ASSERT_EQ(doc.GetSample().Resize(Dims{4, 3, 2}), 1);
    doc.imageExportFolder = out.string();
    DisplayTree tree;
    tree.Build(doc.GetSample(), doc.GetTitle());

    // The dialog is modal: choose TIFF, Mono 16 bit and ZX, then Export.
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<ImageExportDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        Click(d->FormatRadio(2));
        Click(d->TypeRadio(3));
        Click(d->PlaneRadio(2));
        QTest::mouseClick(d->ExportButton(), Qt::LeftButton);
    });
    RunSliceImageExport(nullptr, doc, tree, 3, 0);
    EXPECT_TRUE(fs::exists(out / "phantom_Void_mono16_ZX_0.tif"));
    EXPECT_TRUE(fs::exists(out / "phantom_Void_mono16_ZX_2.tif"));
    EXPECT_FALSE(fs::exists(out / "phantom_Void_mono16_ZX_3.tif"));
    EXPECT_TRUE(prompt.Requests().empty());

    // Cancel writes nothing.
    fs::remove_all(out);
    fs::create_directories(out);
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    RunSliceImageExport(nullptr, doc, tree, 3, 0);
    EXPECT_TRUE(fs::is_empty(out));
}

}  // namespace
}  // namespace zun
