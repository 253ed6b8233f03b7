// The 3-D view's commands in the main window's menus (snapshot, axes, bounding box, background,
// colour schemes) and the scene export of selected channels and slices from the tree's menus, on
// the example document in a real window with its 3-D view.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QtTest/QTest>

#include "app/ui/childframe.h"
#include "app/ui/guitest.h"
#include "app/ui/mainframe.h"
#include "app/ui/menuwalk.h"
#include "app/ui/zunapp.h"
#include "compute/model.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"
#include "tree/ui/treeview.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/movierecording.h"
#include "view3d/ui/zunview.h"

using namespace zun;
using zun::test::WaitFor;
namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

struct ViewMenuFixture : test::AppFixture {
    std::string nextSave;
    std::string lastTitle;

    void SetUp() override {
        MakeApp();
        app->SetFileChooser([this](const std::string& title, const std::string&, bool, const std::string&) {
            lastTitle = title;
            return nextSave;
        });
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(app->MainFrame()));
    }
    CChildFrame* Child() const { return app->MainFrame()->ActiveChild(); }
    CZunView* View() const { return Child() ? qobject_cast<CZunView*>(Child()->ViewPane()) : nullptr; }
    ZunTreeView* Tree() const { return Child() ? qobject_cast<ZunTreeView*>(Child()->TreePane()) : nullptr; }
    QAction* Action(const char* name) {
        app->MainFrame()->UpdateCommandUI();
        return app->MainFrame()->Action(name);
    }
    void SelectOnly(std::vector<TreeNode*> items) {
        DisplayTree& t = Tree()->Tree();
        for (TreeNode* n = t.Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
        for (TreeNode* n : items) n->selected = true;
    }
    CZunDoc* OpenExample() {
        CZunDoc* doc = app->OpenDocumentFile(kExample);
        if (!doc || !View()) return nullptr;
        const bool built = WaitFor([this] { return View()->GetVolumeLayer() != nullptr; });
        return built ? doc : nullptr;
    }
};

}  // namespace

TEST_F(ViewMenuFixture, ViewCommandsAreInTheMenusWithTheirChecksAndPersist) {
    CZunDoc* doc = OpenExample();
    ASSERT_NE(doc, nullptr);
    CZunView* view = View();

    // Axes: checked as the view shows them, and toggled by the entry.
    ASSERT_TRUE(view->Settings().axesShown);
    EXPECT_TRUE(Action("viewAxes")->isChecked());
    Trigger("viewAxes");
    EXPECT_FALSE(view->Settings().axesShown);
    EXPECT_FALSE(Action("viewAxes")->isChecked());

    // Bounding box: the menu and the control panel's box agree whichever changes it.
    view->OnDisplayControlPanel();
    ImageControlFloatingDialog* panel = view->ControlPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(Action("viewBoundingBox")->isChecked());
    EXPECT_TRUE(panel->boxVisible()->isChecked());
    Trigger("viewBoundingBox");
    EXPECT_FALSE(view->Settings().boundingBoxFlags & kBoxShown);
    EXPECT_FALSE(panel->boxVisible()->isChecked());
    EXPECT_FALSE(Action("viewBoundingBox")->isChecked());
    panel->boxVisible()->click();
    EXPECT_TRUE(Action("viewBoundingBox")->isChecked());
    view->CloseControlPanel();

    // Background: the colour dialog's choice.
    QTimer::singleShot(50, [] {
        auto* d = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->setCurrentColor(QColor(10, 20, 30));
        d->accept();
    });
    Trigger("viewBackground");
    EXPECT_EQ(view->Settings().background, 0x1E140Au);

    // Colour schemes: one checked, kept in the tree, saved with the document.
    EXPECT_TRUE(Action("viewSchemeRgb")->isChecked());
    Trigger("viewSchemeRybPaint");
    EXPECT_EQ(Tree()->Tree().viewOption, 2);
    EXPECT_TRUE(Action("viewSchemeRybPaint")->isChecked());
    EXPECT_FALSE(Action("viewSchemeRgb")->isChecked());
    EXPECT_TRUE(doc->IsModified());
    // The menu as the user opens it: the view's entries with their checks.
    for (QAction* top : app->MainFrame()->menuBar()->actions()) {
        if (top->text() != "&View" || !top->menu()) continue;
        QMenu* menu = top->menu();
        const test::MenuWalk walk = test::ChooseFromMenu(
            app->MainFrame(), [&] { menu->popup(app->MainFrame()->mapToGlobal(QPoint(60, 30))); }, {});
        ASSERT_TRUE(walk.chosen) << walk.error;
        test::SaveScreenshot(menu, "view-menu");
        menu->close();
    }
    nextSave = tmp.File("schemes.zun");
    Trigger("fileSaveAs");
    ASSERT_TRUE(fs::exists(nextSave));
    Trigger("fileClose");
    ASSERT_NE(app->OpenDocumentFile(nextSave), nullptr);
    ASSERT_NE(Tree(), nullptr);
    EXPECT_EQ(Tree()->Tree().viewOption, 2);
    EXPECT_TRUE(Action("viewSchemeRybPaint")->isChecked());
    ASSERT_TRUE(WaitFor([this] { return View()->GetVolumeLayer() != nullptr; }));

    // Snapshot: a name without an extension is a JPEG in the chosen folder; a failure says so.
    prompt.Clear();
    nextSave = tmp.File("shot");
    Trigger("fileSaveSnapshot");
    EXPECT_EQ(lastTitle, "Save Snapshot");
    EXPECT_TRUE(fs::exists(tmp.File("shot.jpg")));
    EXPECT_TRUE(prompt.Requests().empty()) << LastMessage();
    EXPECT_EQ(fs::path(app->ActiveDocument()->imageExportFolder), tmp.Path());
    nextSave = tmp.File("missing/shot.png");
    Trigger("fileSaveSnapshot");
    EXPECT_EQ(LastMessage(), "Error writing " + nextSave);
}

TEST_F(ViewMenuFixture, SelectedChannelsAndSlicesExportTheirOwnScene) {
    CZunDoc* doc = OpenExample();
    ASSERT_NE(doc, nullptr);
    TreeCommands& commands = Tree()->Commands();
    DisplayTree& t = Tree()->Tree();
    TreeNode* ct = t.FindChannel("CT 40 keV");
    ASSERT_NE(ct, nullptr);

    // A channel that is not displayed gives no scene, and the user is told why.
    SelectOnly({ct});
    if (AnySelectedChannelDisplayed(t)) {
        ASSERT_TRUE(commands.Execute(treecmd::kDisplayChan));
    }
    nextSave = tmp.File("hidden.osgb");
    ASSERT_TRUE(commands.IsEnabled(treecmd::kExportOsgChan));
    ASSERT_TRUE(commands.Execute(treecmd::kExportOsgChan));
    EXPECT_EQ(LastMessage(),
              "Only displayed channels and slices are exported: display the chosen ones in the 3-D view "
              "first.");
    EXPECT_FALSE(fs::exists(nextSave));

    // Displayed, the channel's scene is written and read back by the converter.
    ASSERT_TRUE(commands.Execute(treecmd::kDisplayChan));
    ASSERT_TRUE(AnySelectedChannelDisplayed(t));
    nextSave = tmp.File("channel.osgt");
    ASSERT_TRUE(commands.Execute(treecmd::kExportOsgChan));
    EXPECT_EQ(lastTitle, "Save as OSG format");
    EXPECT_EQ(LastMessage(), "Saved at " + nextSave);
    // The scene's folder is the one the view's own scene export starts in next time.
    EXPECT_EQ(fs::path(doc->sceneExportFolder), tmp.Path());
    EXPECT_TRUE(fs::exists(tmp.File("channel.dds")));
    auto convert = [this](const std::string& in) {
        const std::string cmd = "cd '" + tmp.Path().string() + "' && osgconv '" + in + "' '" + in +
                                ".back.osgt' > /dev/null 2>&1";
        return std::system(cmd.c_str());
    };
    EXPECT_EQ(convert(nextSave), 0);
    // A name without an extension is written as the dialog's first filter, "OSG Files (*.osg)".
    nextSave = tmp.File("plain");
    ASSERT_TRUE(commands.Execute(treecmd::kExportOsgChan));
    EXPECT_EQ(LastMessage(), "Saved at " + nextSave + ".osg");
    EXPECT_TRUE(fs::exists(nextSave + ".osg"));

    // Two slices: the volume image holds those two slabs and nothing else.
    SelectOnly({ct->Child(5), ct->Child(12)});
    ASSERT_TRUE(commands.IsEnabled(treecmd::kExportOsgSlice));
    nextSave = tmp.File("slices.osg");
    ASSERT_TRUE(commands.Execute(treecmd::kExportOsgSlice));
    EXPECT_EQ(LastMessage(), "Saved at " + nextSave);
    EXPECT_EQ(convert(nextSave), 0);
    const std::string script = tmp.File("slabs.py");
    {
        std::ofstream py(script);
        py << "import sys\n"
              "raw = open(sys.argv[1], 'rb').read()\n"
              "w, h = int.from_bytes(raw[16:20], 'little'), int.from_bytes(raw[12:16], 'little')\n"
              "d = int.from_bytes(raw[24:28], 'little')\n"
              "body = raw[128:128 + w * h * d * 4]\n"
              "lit = [z for z in range(d) if any(body[i + 3] for i in range(z * w * h * 4, (z + 1) * w * h * "
              "4, 4))]\n"
              "print(lit)\n"
              "sys.exit(0 if lit == [5, 12] else 1)\n";
    }
    EXPECT_EQ(std::system((std::string(ZUN_PYTHON) + " " + script + " " + tmp.File("slices.dds")).c_str()),
              0);

    // The writer's own refusals reach the user.
    nextSave = tmp.File("slices.png");
    ASSERT_TRUE(commands.Execute(treecmd::kExportOsgSlice));
    EXPECT_EQ(LastMessage(), "Could not export Error on unsupported file output " + nextSave);
    (void)doc;
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Cancelling the compressor choice of a computation movie leaves the run unstarted and says
// nothing: the user's own Cancel is no failure. A recording that cannot start still warns.
TEST_F(ViewMenuFixture, ACancelledMovieChoiceLeavesTheRunUnstartedWithoutAWarning) {
    CZunDoc* doc = OpenExample();
    ASSERT_NE(doc, nullptr);
    ViewMovieRecording* rec = MovieRecordingOf(View());
    ASSERT_NE(rec, nullptr);
    Trigger("computationSaveMovie");
    ASSERT_TRUE(rec->Recording().MenuChecked());
    test::TempFolder out;
    // The file dialog is given a name, then the compressor choice is cancelled.
    bool cancelled = false;
    QTimer user;
    user.setInterval(50);
    QObject::connect(&user, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (auto* d = qobject_cast<ComputationRecordingDialog*>(w)) {
                if (auto* name = d->findChild<QLineEdit*>("fileNameEdit"))
                    name->setText(QString::fromStdString(out.File("run.avi")));
                d->accept();
                return;
            }
            if (auto* c = qobject_cast<QInputDialog*>(w)) {
                cancelled = true;
                c->reject();
                return;
            }
        }
    });
    user.start();
    const std::size_t before = prompt.Requests().size();
    Trigger("computationStart");
    user.stop();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(prompt.Requests().size(), before) << LastMessage();
    EXPECT_NE(doc->GetModel().GetState(), kRunning);
    EXPECT_FALSE(rec->Recording().Active());
    EXPECT_FALSE(fs::exists(out.File("run.avi")));

    // A recording that cannot start is a failure, and says so.
    rec->chooseRecording = [](RecordingChoice&) { return 2; };
    Trigger("computationStart");
    EXPECT_EQ(LastMessage(), "The computation recording could not start.");
    EXPECT_NE(doc->GetModel().GetState(), kRunning);
}
