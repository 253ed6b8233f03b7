// The road of a new data set through the document tree, by mouse and keyboard, in a real window
// with its 3-D view: a new document, its sample grid, a composition given its formula and density
// and an X-ray CT channel, TIFF slices written by Python imported into the CT channel, a
// computation whose fractions reach the tree and the view, then save and open again.

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>

#include "app/ui/childframe.h"
#include "app/ui/guitest.h"
#include "app/ui/mainframe.h"
#include "app/ui/menuwalk.h"
#include "app/ui/zunapp.h"
#include "compute/model.h"
#include "compute/params.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "plot/ui/compoundpropsdialog.h"
#include "plot/ui/imageimportdialog.h"
#include "plot/ui/tomographypropsdialog.h"
#include "tools/ui/chanpropertiesdialog.h"
#include "tools/ui/samplegriddialog.h"
#include "tools/ui/selectgpudialog.h"
#include "tree/ui/treecommandui.h"
#include "tree/ui/treeitemmodel.h"
#include "tree/ui/treeview.h"
#include "view3d/ui/zunview.h"

using namespace zun;
using zun::test::WaitFor;

namespace {

// The context every step's watcher runs in. A step that failed leaves its watcher waiting for a
// window that never comes; it goes with the test, before the test's locals it may refer to.
QObject*& WatchContext() {
    static QObject* context = nullptr;
    return context;
}

// Runs `act` on the first widget of type T that becomes the active modal window, once it is
// shown on the screen; the road's dialogs are modal, so this is scheduled before the step that
// opens them. It keeps looking until then, or until the test ends.
template <class T>
void WhenOpen(std::function<void(T*)> act) {
    QObject* context = WatchContext();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [poll, act, context] {
        T* t = qobject_cast<T*>(QApplication::activeModalWidget());
        if (t && t->isVisible() && t->windowHandle() && t->windowHandle()->isExposed()) {
            act(t);
            return;
        }
        QTimer::singleShot(20, context, *poll);
    };
    QTimer::singleShot(20, context, *poll);
}

// Right-clicks the item and chooses `path` from its menu by keyboard (test::ChooseFromMenu).
void RightClickAndChoose(ZunTreeView* tree, const TreeNode* item, const QStringList& path) {
    ASSERT_NE(item, nullptr) << path.join(" > ").toStdString();
    const auto open = [tree, item] {
        const QRect r = tree->visualRect(tree->ItemModel()->IndexOf(item));
        const QPoint at(r.left() + tree->iconSize().width() + 12, r.center().y());
        QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &event);
    };
    const test::MenuWalk walk = test::ChooseFromMenu(tree, open, path);
    EXPECT_TRUE(walk.chosen) << walk.error;
    if (walk.attempts > 1)
        std::cout << "[ reopened ] " << path.join(" > ").toStdString() << ": the focus left the program, "
                  << walk.attempts << " openings\n";
}

void Retype(QLineEdit* e, const QString& text) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

struct TreeRoad : test::AppFixture {
    std::string nextSave;
    std::unique_ptr<QObject> watchers = std::make_unique<QObject>();

    void SetUp() override {
        WatchContext() = watchers.get();
        MakeApp();
        app->SetFileChooser(
            [this](const std::string&, const std::string&, bool, const std::string&) { return nextSave; });
    }
    void TearDown() override {
        watchers.reset();
        WatchContext() = nullptr;
        AppFixture::TearDown();
    }
    ZunTreeView* Tree() const {
        CChildFrame* child = app->MainFrame()->ActiveChild();
        return child ? qobject_cast<ZunTreeView*>(child->TreePane()) : nullptr;
    }
};

}  // namespace

TEST_F(TreeRoad, NewGridChannelsImportComputeSaveReopen) {
    ASSERT_TRUE(app->InitInstance(StartupOptions{}));
    CMainFrame* frame = app->MainFrame();
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    ZunTreeView* tree = Tree();
    ASSERT_NE(tree, nullptr);
    // The road starts on a settled desktop: the window manager has given the main window the
    // focus, and the 3-D view has drawn (its first frame may make the window anew). A change of
    // active window while a menu is open closes the menu, and the step would choose nothing.
    auto* firstView = qobject_cast<CZunView*>(app->MainFrame()->ActiveChild()->ViewPane());
    ASSERT_NE(firstView, nullptr);
    ASSERT_TRUE(WaitFor([&] { return firstView->FramesPainted() > 0; }, 20000));
    frame->activateWindow();  // a bare X server has no window manager to do it
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    const DisplayTree& t = tree->Tree();

    // Setup Sample Grid: 16 x 12 x 6 voxels typed into the dialog.
    WhenOpen<SampleGridDialog>([](SampleGridDialog* d) {
        Retype(d->SizeEdit(0), "16");
        Retype(d->SizeEdit(1), "12");
        Retype(d->SizeEdit(2), "6");
        EXPECT_EQ(d->CountLine()->text(), "Total number of voxels is 1152");
        QTest::keyClick(d->SizeEdit(2), Qt::Key_Return);
    });
    RightClickAndChoose(tree, t.Root(), {"Setup Sample Grid..."});
    ASSERT_EQ(doc->GetSample().GetDims(), (std::vector<int>{16, 12, 6}));
    ASSERT_EQ(t.Channel(0)->ChildCount(), 6);

    // A composition and an X-ray CT channel, named in the insert dialog.
    WhenOpen<ChanPropertiesDialog>([](ChanPropertiesDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Insert Composition Channel");
        Retype(d->NameEdit(), "Water");
        QTest::keyClick(d->NameEdit(), Qt::Key_Return);
    });
    RightClickAndChoose(tree, t.Root(), {"Insert Composition Channel", "Last..."});
    WhenOpen<ChanPropertiesDialog>([](ChanPropertiesDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Insert X-ray CT Channel");
        Retype(d->NameEdit(), "scan");
        QTest::keyClick(d->NameEdit(), Qt::Key_Return);
    });
    // The new CT channel's beam settings follow its name: a 30 keV beam, and the name kept.
    bool ctSettingsShown = false;
    WhenOpen<TomographyPropsDialog>([&ctSettingsShown](TomographyPropsDialog* d) {
        ctSettingsShown = true;
        EXPECT_TRUE(d->applyButton->isEnabled());
        Retype(d->energy, "30");
        if (d->autoRename->isChecked()) QTest::mouseClick(d->autoRename, Qt::LeftButton);
        QTest::mouseClick(d->okButton, Qt::LeftButton);
    });
    RightClickAndChoose(tree, t.FindChannel("Water"), {"Insert X-ray CT Channel", "After..."});
    EXPECT_TRUE(ctSettingsShown);
    EXPECT_DOUBLE_EQ(doc->GetModel().GetParams().ctBeamEnergy[1], 30.0);

    // Water's formula and density, typed into its Composition Properties.
    WhenOpen<CompoundPropsDialog>([](CompoundPropsDialog* d) {
        Retype(d->formula, "H2O");
        Retype(d->density, "1.0");
        QTest::mouseClick(d->okButton, Qt::LeftButton);
    });
    RightClickAndChoose(tree, t.FindChannel("Water"), {"Composition Properties..."});
    // A new composition channel takes its formula for its name.
    ASSERT_EQ(doc->GetSample().GetChanCount(), 3);
    const ZunChan* water = doc->GetSample().GetChan(1);
    EXPECT_EQ(water->name, "H2O");
    ASSERT_NE(t.FindChannel("H2O"), nullptr);
    EXPECT_EQ(water->compound.GetFormula(), "H2O");
    EXPECT_DOUBLE_EQ(water->compound.density, 1.0);
    EXPECT_EQ(doc->GetSample().GetChan(2)->name, "scan");
    ASSERT_NE(t.FindChannel("scan"), nullptr);
    EXPECT_EQ(t.FindChannel("scan")->ChildCount(), 6);

    // Six TIFF slices, written by Python, imported into the CT channel.
    const std::string script = tmp.File("slices.py");
    {
        std::ofstream py(script);
        py << "import numpy, tifffile, sys\n"
              "for z in range(6):\n"
              "    a = numpy.zeros((12, 16), numpy.float32)\n"
              "    a[2:10, 3:13] = 0.2 + 0.1 * z\n"
              "    tifffile.imwrite(sys.argv[1] + '/slice_%02d.tif' % z, a)\n";
    }
    ASSERT_EQ(std::system((std::string(ZUN_PYTHON) + " " + script + " " + tmp.Path().string()).c_str()), 0);
    WhenOpen<ImageImportDialog>([&](ImageImportDialog* d) {
        EXPECT_NE(d->rescale, nullptr);  // the CT channel's options
        QString names;
        for (int z = 5; z >= 0; --z)
            names += QString("\"%1\" ").arg(
                QString::fromStdString(tmp.File("slice_0" + std::to_string(z) + ".tif")));
        // The names typed into the name field (selectFile leaves a focused field alone).
        d->findChild<QLineEdit*>("fileNameEdit")->setText(names.trimmed());
        d->accept();
    });
    RightClickAndChoose(tree, t.FindChannel("scan"), {"Import Data", "Image Files..."});
    const ZunChan* scan = doc->GetSample().FindChan("scan");
    ASSERT_NE(scan, nullptr);
    // The files went in by name: slice 5 holds the densest image.
    const auto at = [&](int z) {
        return scan->Data()[static_cast<std::size_t>(z) * 16 * 12 + 5 * 16 + 8] & 0x3FFF;
    };
    EXPECT_GT(at(0), 0);
    EXPECT_GT(at(5), at(0));
    EXPECT_TRUE(doc->IsModified());
    test::SaveScreenshot(frame, "tree-road");

    // Two threads for the computation, chosen in the device dialog of the Computation menu.
    WhenOpen<SelectGpuDialog>([](SelectGpuDialog* d) {
        QTableWidget* table = d->Table();
        table->item(0, 1)->setText("2");
        EXPECT_EQ(table->item(0, 1)->text(), "2");
        QTest::keyClick(d, Qt::Key_Return);
    });
    frame->UpdateCommandUI();
    frame->Action("computationDevices")->trigger();
    int threads = 0;
    for (const ComputeDeviceEntry& e : doc->DeviceSelection()) threads += e.threadCount;
    EXPECT_EQ(threads, 2);

    // The computation runs from the main window; its state reaches the window's status pane.
    frame->UpdateCommandUI();
    ASSERT_TRUE(frame->Action("computationStart")->isEnabled());
    frame->Action("computationStart")->trigger();
    Model& model = doc->GetModel();
    EXPECT_TRUE(WaitFor([&] { return model.GetState() == kCompleted && !model.IsBusy(); }, 60000))
        << model.GetStateText();
    CChildFrame* child = frame->ActiveChild();
    EXPECT_TRUE(WaitFor([&] { return child->StatusPane(0)->text() == "Computation Completed"; }));

    // Water fills the block the slices hold and nothing outside it, densest in the last slice;
    // the tree's statistics and the view follow the new fractions.
    const auto waterAt = [&](int z, int y, int x) {
        return water->Data()[(static_cast<std::size_t>(z) * 12 + y) * 16 + x] & 0x3FFF;
    };
    EXPECT_EQ(waterAt(2, 0, 0), 0);
    EXPECT_GT(waterAt(0, 5, 8), 0);
    EXPECT_GE(waterAt(5, 5, 8), waterAt(0, 5, 8));
    const TreeNode* waterItem = tree->Tree().FindChannel("H2O");
    ASSERT_NE(waterItem, nullptr);
    EXPECT_TRUE(
        WaitFor([&] { return tree->ItemModel()->data(tree->ItemModel()->IndexOf(waterItem)).isValid(); }));
    // Shown in the view, the computed water lights up far more of it than the bounding box alone.
    auto* view = qobject_cast<CZunView*>(child->ViewPane());
    ASSERT_NE(view, nullptr) << "the document window has no 3-D view";
    const auto lit = [view] {
        const QImage img = view->grabFramebuffer();
        const QRgb background = img.pixel(0, 0);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) != background;
        return n;
    };
    const int boxOnly = lit();
    RightClickAndChoose(tree, waterItem, {"Display"});
    EXPECT_TRUE(WaitFor([&] { return lit() > boxOnly + 2000; }))
        << "the displayed composition does not show in the view (" << boxOnly << " pixels lit before)";
    test::SaveScreenshot(frame, "tree-road-computed");

    // Save, close and open again: the channels, the voxels and the tree come back.
    std::vector<std::uint16_t> voxels(scan->Data(), scan->Data() + doc->GetSample().GetNumVoxels());
    nextSave = tmp.File("road.zun");
    frame->Action("fileSaveAs")->trigger();
    ASSERT_TRUE(std::filesystem::exists(nextSave));
    EXPECT_FALSE(doc->IsModified());
    frame->Action("fileClose")->trigger();
    CZunDoc* again = app->OpenDocumentFile(nextSave);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetSample().GetDims(), (std::vector<int>{16, 12, 6}));
    const ZunChan* scan2 = again->GetSample().FindChan("scan");
    ASSERT_NE(scan2, nullptr);
    EXPECT_EQ(std::vector<std::uint16_t>(scan2->Data(), scan2->Data() + again->GetSample().GetNumVoxels()),
              voxels);
    ZunTreeView* tree2 = Tree();
    ASSERT_NE(tree2, nullptr);
    EXPECT_NE(tree2->Tree().FindChannel("H2O"), nullptr);
    ASSERT_EQ(again->GetSample().GetChanCount(), 3);
    EXPECT_EQ(again->GetSample().GetChan(1)->compound.GetFormula(), "H2O");
    EXPECT_EQ(tree2->Tree().FindChannel("scan")->ChildCount(), 6);
}

TEST_F(TreeRoad, TheExampleOpensShowingData) {
    StartupOptions o;
    o.files = {std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt"};
    ASSERT_TRUE(app->InitInstance(o));
    CMainFrame* frame = app->MainFrame();
    frame->resize(1280, 800);
    CChildFrame* child = frame->ActiveChild();
    ASSERT_NE(child, nullptr);
    auto* view = qobject_cast<CZunView*>(child->ViewPane());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(
        WaitFor([&] { return view->GetVolumeLayer() != nullptr && view->FramesPainted() > 2; }, 20000));
    WaitFor([] { return false; }, 300);
    // The view is no empty box: a good part of its pixels differ from the background.
    const QImage shot = view->grabFramebuffer();
    const QRgb background = shot.pixel(2, 2);
    int data = 0;
    for (int y = 0; y < shot.height(); y += 4)
        for (int x = 0; x < shot.width(); x += 4)
            if (shot.pixel(x, y) != background) ++data;
    EXPECT_GT(data, (shot.width() / 4) * (shot.height() / 4) / 20);
    test::SaveScreenshot(frame, "example-first-look");
}

int main(int argc, char** argv) { return zun::test::DesktopTestMain(argc, argv); }
