// The tree's "Export Data > 2D Images..." entries of a document window reach the slice-image
// export: the options dialog opens, and the files it chose are written.

#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>

#include "app/startup.h"
#include "app/ui/childframe.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "document/zundoc.h"
#include "foundation/ui/progressdialog.h"
#include "guitest.h"
#include "platform/prompt.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"
#include "view3d/ui/imageexportdialog.h"

using namespace zun;

namespace {

void WhenDialogOpens(std::function<void(ImageExportDialog*)> act) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [poll, act] {
        if (auto* d = qobject_cast<ImageExportDialog*>(QApplication::activeModalWidget())) {
            act(d);
            return;
        }
        QTimer::singleShot(20, *poll);
    };
    QTimer::singleShot(20, *poll);
}

void Click(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

}  // namespace

TEST(ExportRoad, TreeEntriesRunTheSliceImageExport) {
    test::TempFolder tmp;
    HeadlessPrompt prompt;
    auto app = std::make_unique<CZunApp>(CZunApp::Services{&prompt, tmp.File("zun.ini")});
    ASSERT_TRUE(app->InitInstance(StartupOptions{}));
    app->MainFrame()->show();
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->ApplySampleGrid({3, 2, 4}, {0, 0, 0}, {1, 1, 1, 1}, false), 0);
    auto* tree = qobject_cast<ZunTreeView*>(app->MainFrame()->ActiveChild()->TreePane());
    ASSERT_NE(tree, nullptr);
    TreeCommands& commands = tree->Commands();
    for (int id : {treecmd::kExportImagesAll, treecmd::kExportImagesChan, treecmd::kExportImagesSlice})
        EXPECT_TRUE(commands.IsServed(id)) << id;

    const std::filesystem::path out = tmp.Path() / "images";
    std::filesystem::create_directories(out);
    doc->imageExportFolder = out.string();
    WhenDialogOpens([](ImageExportDialog* d) {
        Click(d->FormatRadio(2));
        Click(d->TypeRadio(2));
        QTest::mouseClick(d->ExportButton(), Qt::LeftButton);
    });
    // The export shows the program's one progress dialog, whose reports reach a remote controller.
    struct Remote : RemoteControlStartup {
        std::vector<int> work;
        void ReplyWork(int p) override { work.push_back(p); }
    };
    auto remote = std::make_unique<Remote>();
    Remote* controller = remote.get();
    SetRemoteControlStartup(std::move(remote));
    SetRemoteControlled(true);
    std::string progressCaption;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* bar = qobject_cast<CProgressBar*>(w); bar && bar->isVisible())
                progressCaption = bar->windowTitle().toStdString();
    });
    poll.start(0);
    ASSERT_TRUE(commands.Execute(treecmd::kExportImagesAll));
    poll.stop();
    SetRemoteControlled(false);
    const std::vector<int> work = controller->work;
    SetRemoteControlStartup(nullptr);
    EXPECT_EQ(progressCaption, "Exporting slice images...");
    EXPECT_FALSE(work.empty());
    const std::string title = std::filesystem::path(doc->GetTitle()).stem().string();
    EXPECT_TRUE(std::filesystem::exists(out / (title + "_Void_mono8_XY_0.tif")));
    EXPECT_TRUE(std::filesystem::exists(out / (title + "_Void_mono8_XY_3.tif")));
    EXPECT_TRUE(prompt.Requests().empty());
    doc->SetModifiedFlag(false);
    app.reset();
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
