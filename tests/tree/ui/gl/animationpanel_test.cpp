#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include <osg/Notify>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "tree/treecommandids.h"
#include "tree/ui/gl/gltest.h"
#include "tree/ui/treeview.h"
#include "uitest.h"
#include "view3d/ui/advancedsettings.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/fullscreen.h"
#include "view3d/ui/runanimationdriver.h"
#include "view3d/ui/zunview.h"

namespace zun {
namespace {

QApplication& App() {
    return test::GlApp();
}
using test::PumpUntil;
using test::Screens;

// Pixels that are clearly not the black background.
int LitPixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) > 60) ++n;
        }
    return n;
}

// A document window: a block of iron, the tree and the 3-D view connected as
// the child frame connects them.
struct Window {
    CZunDoc doc;
    QWidget frame;
    QSplitter* split = nullptr;
    ZunTreeView* tree = nullptr;
    CZunView* view = nullptr;
    RunAnimationDriver* anim = nullptr;
    std::vector<std::string> told;

    Window() {
        RegisterDocumentClasses();
        doc.OnNewDocument();
        ZunImage& s = doc.GetSample();
        s.Resize(Dims{32, 32, 32});
        s.InsertChan(ZunChan::kComposition, 1, "Iron", 0x00C000);
        imtype* iron = s.FindChan("Iron")->Data();
        for (int z = 0; z < 32; ++z)
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    const bool inside =
                        std::abs(x - 16) < 11 && std::abs(y - 16) < 11 && std::abs(z - 16) < 13;
                    iron[(z * 32 + y) * 32 + x] = inside ? 16383 : 0;
                }
        frame.setWindowTitle("animation.zun");
        split = new QSplitter(&frame);
        tree = new ZunTreeView(doc, split);
        view = new CZunView(&doc, split);
        view->SetTree(&tree->Tree());
        QObject::connect(tree, &ZunTreeView::displayChanged, view,
                         [this](unsigned hint) { view->OnUpdate(nullptr, hint, nullptr); });
        anim = ConnectTreeAnimation(*view, tree->Tree(), tree->Stepping(), tree->RefreshRequests(),
                                    tree->Commands());
        anim->animationSpeed = [] { return 40; };
        view->tell = [this](const std::string& t) { told.push_back(t); };
        view->Settings().axesShown = false;
        view->SetAxesVisible(false);
        split->addWidget(tree);
        split->addWidget(view);
        frame.resize(640, 360);
        split->resize(640, 360);
        split->setSizes({180, 460});
        frame.move(300, 100);
        frame.show();
    }
    bool Ready() {
        if (!QTest::qWaitForWindowExposed(&frame)) return false;
        if (!PumpUntil([&] { return view->GetVolumeLayer() != nullptr; })) return false;
        view->Manipulator()->setAllowThrow(false);
        return true;
    }
    QImage Grab() { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB888); }
};

using test::MeanDifference;

bool HaveDisplay() {
    return std::getenv("DISPLAY") && *std::getenv("DISPLAY");
}

TEST(AnimationPanel, FillInRunsStepByStepFromThePanel) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    App();
    Window w;
    ASSERT_TRUE(w.Ready());
    const QImage before = w.Grab();
    ASSERT_GT(LitPixels(before), 2000);

    w.view->OnDisplayControlPanel();
    ImageControlFloatingDialog* panel = w.view->ControlPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle(), "animation.zun- Control panel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    panel->grab().save(QString::fromStdString(Screens() + "/control-panel.png"));

    // The channel shown by default is counted and selected; the run fills the volume in steps.
    int halfway = 0, steps = 0;
    QImage middle, partway;
    w.anim->Animation().onFrame = [&](const RunAnimationFrame& f) {
        steps = f.steps;
        if (f.step == 12) {
            halfway = f.step;
            middle = w.frame.grab().toImage();
            partway = w.Grab();
        }
    };
    panel->OnAnimation(kAnimFillIn);
    EXPECT_TRUE(w.anim->Running());
    EXPECT_TRUE(w.tree->Commands().runAnimationRunning);
    EXPECT_FALSE(w.tree->Commands().IsEnabled(33133));
    // While it runs the slice check box only asks to wait.
    panel->OnSliceCheck(true);
    ASSERT_EQ(w.told.size(), 1u);
    EXPECT_EQ(w.told[0], "Please wait for animation finish.");
    EXPECT_FALSE(panel->sliceCheck()->isChecked());

    ASSERT_TRUE(PumpUntil([&] { return !w.anim->Running(); }));
    EXPECT_EQ(halfway, 12);
    EXPECT_FALSE(w.tree->Commands().runAnimationRunning);
    EXPECT_EQ(steps, 32);
    middle.save(QString::fromStdString(Screens() + "/run-animation-fill-in.png"));
    // A third of the block is drawn part way: a slab, so the picture differs from the whole.
    EXPECT_GT(LitPixels(partway), 500);
    EXPECT_GT(MeanDifference(partway, before), 0.4);
    ASSERT_TRUE(PumpUntil([&] { return MeanDifference(w.Grab(), before) < 0.1; }));

    // The tree's own entry: a step through ends with the whole volume shown again.
    halfway = 0;
    EXPECT_TRUE(w.tree->Commands().Execute(treecmd::kRunStepThrough));
    EXPECT_TRUE(w.anim->Running());
    ASSERT_TRUE(PumpUntil([&] { return halfway > 0; }));
    EXPECT_GT(MeanDifference(partway, before), 0.4);  // one slab of the block only
    ASSERT_TRUE(PumpUntil([&] { return !w.anim->Running(); }));
    EXPECT_TRUE(w.tree->Commands().IsEnabled(treecmd::kRunStepThrough));
    ASSERT_TRUE(PumpUntil([&] { return MeanDifference(w.Grab(), before) < 0.1; }));
}

TEST(AnimationPanel, SliceSteppingByPanelAndKeys) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    App();
    Window w;
    ASSERT_TRUE(w.Ready());
    const int whole = LitPixels(w.Grab());
    w.view->OnDisplayControlPanel();
    ImageControlFloatingDialog* panel = w.view->ControlPanel();
    w.tree->Tree().FindChannel("Iron")->selected = true;
    panel->OnSliceCheck(true);
    SliceStepping& s = w.tree->Stepping();
    EXPECT_EQ(s.Items().size(), 32u);
    EXPECT_TRUE(panel->slicePlus()->isEnabled());
    QTest::keyClick(w.view, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(w.view, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(s.StepIndex(), 2);
    panel->OnStepSlices(false);
    EXPECT_EQ(s.StepIndex(), 1);
    // Only slice 1 shows, outside the block: the box's edges alone.
    ASSERT_TRUE(PumpUntil([&] { return LitPixels(w.Grab()) < whole / 3; }));

    // A plain Up turns the camera, Ctrl+Up pans it; each redraws.
    const osg::Quat before = w.view->Manipulator()->getRotation();
    QTest::keyClick(w.view, Qt::Key_Up);
    EXPECT_FALSE(w.view->Manipulator()->getRotation() == before);
    const osg::Vec3d centre = w.view->Manipulator()->getCenter();
    QTest::keyClick(w.view, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_NE(w.view->Manipulator()->getCenter(), centre);

    // Zoom: three times in, three out.
    const double d = w.view->CameraDistance();
    for (int i = 0; i < 3; ++i) w.view->ZoomIn();
    EXPECT_NEAR(w.view->CameraDistance(), d / (1.1 * 1.1 * 1.1), 1e-9 * d);
    for (int i = 0; i < 3; ++i) w.view->ZoomOut();
    EXPECT_NEAR(w.view->CameraDistance(), d, 1e-9 * d);

    // The information fields follow the camera; "Set" turns it, keeping fields that are no number.
    ASSERT_TRUE(PumpUntil([&] { return !panel->infoEdit(4)->text().isEmpty(); }));
    panel->infoEdit(0)->setText("0");
    panel->infoEdit(1)->setText("0");
    panel->infoEdit(2)->setText("1");
    panel->infoEdit(3)->setText("90");
    panel->infoEdit(4)->setText("distance");
    const double kept = w.view->CameraDistance();
    panel->OnSet();
    double angle = 0, x = 0, y = 0, z = 0;
    w.view->Manipulator()->getRotation().getRotate(angle, x, y, z);
    EXPECT_NEAR(angle, osg::PI / 2, 1e-6);
    EXPECT_NEAR(z, 1.0, 1e-6);
    EXPECT_DOUBLE_EQ(w.view->CameraDistance(), kept);
    ASSERT_TRUE(PumpUntil([&] { return panel->infoEdit(3)->text() == "90.000000"; }));

    // Closing the panel ends the stepping: every slice shows again.
    panel->reject();
    EXPECT_TRUE(s.Empty());
    EXPECT_FALSE(w.view->panelSliceStepping);
    EXPECT_EQ(w.view->ControlPanel(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return LitPixels(w.Grab()) > whole / 2; }));
}

TEST(AnimationPanel, StereoSwitchesAndAdvancedSettings) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    App();
    Window w;
    ASSERT_TRUE(w.Ready());
    w.view->OnDisplayControlPanel();
    ImageControlFloatingDialog* panel = w.view->ControlPanel();
    // Eye swap does nothing while stereo is off, and its button is disabled.
    EXPECT_FALSE(panel->eyeSwap()->isEnabled());
    w.view->ToggleEyeSwap();
    EXPECT_FALSE(w.view->Settings().eyeSwap);
    panel->stereoButton(1)->click();
    EXPECT_EQ(w.view->Settings().stereoMode, 1);
    EXPECT_TRUE(panel->eyeSwap()->isEnabled());
    EXPECT_TRUE(panel->stereoButton(1)->isChecked());
    panel->stereoButton(1)->click();
    EXPECT_EQ(w.view->Settings().stereoMode, 2);
    EXPECT_FALSE(panel->stereoButton(1)->isChecked());

    // More is pressed on a panel the window manager has framed (on a bare X server nothing frames
    // it, and the wait ends unanswered).
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    PumpUntil([&] { return panel->frameGeometry() != panel->geometry(); }, 2000);
    panel->OnMore();
    CZunViewAdvancedSettings* adv = panel->AdvancedSettings();
    ASSERT_NE(adv, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(adv));
    EXPECT_EQ(adv->windowTitle(), "Advanced View Settings");
    // Beside the panel: its frame starts in the column after the panel frame's last, once the
    // window manager has framed it there.
    const auto beside = [&] { return panel->frameGeometry().topRight() + QPoint(1, 0); };
    PumpUntil([&] { return adv->frameGeometry().topLeft() == beside(); }, 5000);
    EXPECT_EQ(adv->frameGeometry().topLeft(), beside());
    EXPECT_FALSE(adv->slider(CZunViewAdvancedSettings::kThreshold)->isEnabled());
    EXPECT_FALSE(adv->spin(CZunViewAdvancedSettings::kRed)->isEnabled());
    adv->spin(CZunViewAdvancedSettings::kAlpha)->setValue(50);
    EXPECT_FLOAT_EQ(w.view->Settings().alphaFunction, 0.125f);
    adv->slider(CZunViewAdvancedSettings::kThreshold)->setValue(1);
    EXPECT_FLOAT_EQ(w.view->Settings().isoValue, 0.01f);
    EXPECT_EQ(adv->sliderEdit(CZunViewAdvancedSettings::kThreshold)->text(), "0.010000");

    // Quad buffer without hardware support: the red note, the mode kept.
    adv->stereoRadio(0)->click();
    EXPECT_EQ(w.view->Settings().stereoMode, 0);
    EXPECT_TRUE(adv->quadBufferNote()->isVisible());
    EXPECT_TRUE(panel->stereoButton(0)->isChecked());
    // Grey scale, then again: nothing changes the second time.
    adv->grayscale()->click();
    EXPECT_EQ(w.view->Settings().renderMode, kRenderGrayscale);
    EXPECT_EQ(panel->shaderList()->currentIndex(), 4);
    EXPECT_TRUE(adv->spin(CZunViewAdvancedSettings::kRed)->isEnabled());
    adv->grayscale()->click();
    EXPECT_EQ(w.view->Settings().renderMode, kRenderGrayscale);
    EXPECT_TRUE(adv->grayscale()->isChecked());
    adv->renderRadio(3)->click();
    EXPECT_TRUE(adv->slider(CZunViewAdvancedSettings::kThreshold)->isEnabled());
    adv->grab().save(QString::fromStdString(Screens() + "/advanced-view-settings.png"));

    adv->OnLoadDefault();
    EXPECT_EQ(w.view->Settings().stereoMode, 2);
    EXPECT_EQ(w.view->Settings().renderMode, kRenderComposite);
    EXPECT_FLOAT_EQ(w.view->Settings().alphaFunction, 0.000001f);
    EXPECT_FALSE(adv->quadBufferNote()->isVisible());

    // "More..." again closes it.
    panel->OnMore();
    EXPECT_EQ(panel->AdvancedSettings(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return LitPixels(w.Grab()) > 2000; }));
}

TEST(AnimationPanel, FullScreenAndEscapeBack) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    App();
    Window w;
    ASSERT_TRUE(w.Ready());
    w.view->DetectScreens();
    ASSERT_FALSE(w.view->Screens().empty());
    w.view->OnDisplayControlPanel();
    ImageControlFloatingDialog* panel = w.view->ControlPanel();
    EXPECT_EQ(panel->screenList()->count(), static_cast<int>(w.view->Screens().size()) + 1);
    EXPECT_EQ(panel->screenList()->itemText(0), "Off");
    w.view->ChangeStereoMode(1);
    // The same screens again: nothing new. The recording buttons without a recorder.
    panel->OnDetect();
    panel->OnStop();
    bool busy = true;
    w.view->recorderBusy = [&] { return busy; };
    panel->OnRecord();
    ASSERT_EQ(w.told.size(), 3u);
    EXPECT_EQ(w.told[0], "No new screen detected.");
    EXPECT_EQ(w.told[1], "No recording is running.");
    EXPECT_EQ(w.told[2], "Recording is running now.  Please wait unit it finished.");
    busy = false;
    w.told.clear();

    // The screen list's second entry is screen 0.
    panel->OnScreen(1);
    FullScreenWindow* popup = w.view->FullScreenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(w.view->MonitorIndex(), 0);
    EXPECT_EQ(w.view->Settings().stereoMode, 2);  // stereo turned off first
    EXPECT_EQ(w.view->window(), popup);
    EXPECT_EQ(panel->screenList()->currentIndex(), 1);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
    const ScreenInfo& s = w.view->Screens()[0];
    EXPECT_EQ(popup->geometry(), QRect(s.left, s.top, s.right - s.left, s.bottom - s.top - 1));
    EXPECT_FALSE(popup->IsFullHeight());
    EXPECT_EQ(panel->pos(), popup->geometry().topLeft());
    // The view draws in its new window.
    ASSERT_TRUE(PumpUntil([&] { return LitPixels(w.Grab()) > 2000; }));
    EXPECT_GT(w.view->width(), 600);

    w.view->SetFullScreen(0);
    ASSERT_EQ(w.told.size(), 1u);
    EXPECT_EQ(w.told[0], "Already on screen #0");
    w.view->SetFullScreen(7);
    EXPECT_EQ(w.told.back(), "Invalid screen number.");
    EXPECT_EQ(w.view->MonitorIndex(), 0);  // a refused screen changes nothing

    w.view->ToggleFullScreenHeight();
    EXPECT_TRUE(popup->IsFullHeight());

    if (w.view->Screens().size() > 1) {
        // Another screen: the first window goes, a new one covers the second screen.
        w.view->SetFullScreen(1);
        ASSERT_NE(w.view->FullScreenPopup(), nullptr);
        popup = w.view->FullScreenPopup();
        const ScreenInfo& t = w.view->Screens()[1];
        EXPECT_EQ(popup->geometry(), QRect(t.left, t.top, t.right - t.left, t.bottom - t.top - 1));
        EXPECT_EQ(panel->screenList()->currentIndex(), 2);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
        ASSERT_TRUE(PumpUntil([&] { return LitPixels(w.Grab()) > 2000; }));
    }

    // Escape leaves full screen: back in the document window, still drawing.
    const std::uint64_t frames = w.view->FramesPainted();
    QTest::keyClick(w.view, Qt::Key_Escape);
    EXPECT_EQ(w.view->MonitorIndex(), -1);
    EXPECT_EQ(w.view->FullScreenPopup(), nullptr);
    EXPECT_EQ(w.view->parentWidget(), w.split);
    EXPECT_EQ(w.split->indexOf(w.view), 1);
    EXPECT_EQ(panel->screenList()->currentIndex(), 0);
    ASSERT_TRUE(PumpUntil([&] { return w.view->FramesPainted() > frames && LitPixels(w.Grab()) > 2000; }));
    EXPECT_LT(w.view->width(), 600);
}

}  // namespace
}  // namespace zun
