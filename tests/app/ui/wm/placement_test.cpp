// Where the program's own windows land once a window manager has framed them, measured with
// xwininfo on a 1280 x 800 screen: the main window, the log window and the beam-filter windows of
// the X-ray CT properties keep their whole frames on the screen and the filter windows cascade;
// the first document window fits the area the framed main window leaves; the advanced view
// settings open beside the control panel's frame and the panel's frame follows the view to full
// screen. The program runs itself on a private desktop (tests/script/wm_session.sh): these faults
// do not show offscreen or on a bare X server.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include "../guitest.h"
#include "app/ui/childframe.h"
#include "app/ui/logwindow.h"
#include "model/sample.h"
#include "plot/tomographyprops.h"
#include "plot/ui/filterwindows.h"
#include "view3d/ui/advancedsettings.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/fullscreen.h"
#include "view3d/ui/zunview.h"
#include "xframes.h"

using namespace zun;
using test::MeasuredFrame;
using test::SaveDesktop;
using test::Text;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";
const QRect kScreen(0, 0, 1280, 800);

// Waits until the window manager has framed every window and the program has had the time to
// answer its frames.
void WaitUntilFramed(const std::vector<QWidget*>& windows) {
    test::WaitFor([&] {
        for (QWidget* w : windows)
            if (w->frameGeometry() == w->geometry()) return false;
        return true;
    });
    test::WaitFor([] { return false; }, 1500);
}

CLogFrame* OpenLog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<CLogFrame*>(w); f && f->isVisible()) return f;
    return nullptr;
}

struct Desktop : test::AppFixture {
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs the private desktop";
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->show();
        ASSERT_NE(app->OpenDocumentFile(kExample), nullptr);
        WaitUntilFramed({app->MainFrame()});
    }
};

}  // namespace

TEST_F(Desktop, TheMainWindowOpensWholeOnTheScreen) {
    const QRect frame = MeasuredFrame(app->MainFrame());
    std::cout << "[ measured ] " << app->MainFrame()->windowTitle().toStdString() << ": " << Text(frame)
              << "\n";
    EXPECT_TRUE(kScreen.contains(frame)) << Text(frame);
    SaveDesktop("main-window-desktop");
}

TEST_F(Desktop, TheLogWindowFirstOpensWholeOnTheScreen) {
    ASSERT_EQ(app->MainFrame()->screen()->geometry(), kScreen);
    // No place saved yet: the program's first place, 150, 650 with 900 x 200, reaches below an
    // 800-pixel screen.
    app->ShowLog(app->ActiveDocument());
    CLogFrame* log = OpenLog();
    ASSERT_NE(log, nullptr);
    WaitUntilFramed({log});
    const QRect frame = MeasuredFrame(log);
    std::cout << "[ measured ] " << log->windowTitle().toStdString() << ": " << Text(frame) << "\n";
    EXPECT_TRUE(kScreen.contains(frame)) << Text(frame);
    EXPECT_EQ(frame.left(), 150) << Text(frame);
    EXPECT_EQ(frame.bottom(), kScreen.bottom()) << Text(frame);
    EXPECT_EQ(frame.size(), QSize(900, 200)) << Text(frame);
    SaveDesktop("log-window-desktop");
    // Opened again, it comes back where it was: the place it keeps is its frame's.
    QPointer<CLogFrame> closed(log);
    log->close();
    ASSERT_TRUE(test::WaitFor([&] { return closed.isNull(); }));
    app->ShowLog(app->ActiveDocument());
    CLogFrame* again = OpenLog();
    ASSERT_NE(again, nullptr);
    WaitUntilFramed({again});
    EXPECT_EQ(MeasuredFrame(again), frame) << Text(MeasuredFrame(again));
}

TEST_F(Desktop, TheDisplayControlPanelOpensBesideTheMainWindowWholeOnTheScreen) {
    // The panel goes beside the main window at its top, here on the screen's left edge; the main
    // window stands low enough that the panel, nearly as tall as the screen, would reach below it.
    app->MainFrame()->setGeometry(QRect(QPoint(1, 160), QSize(1000, 600)));
    WaitUntilFramed({app->MainFrame()});
    Trigger("viewControlPanel");
    ImageControlFloatingDialog* panel = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<ImageControlFloatingDialog*>(w); p && p->isVisible()) panel = p;
        return panel != nullptr;
    }));
    WaitUntilFramed({panel});
    const QRect frame = MeasuredFrame(panel);
    std::cout << "[ measured ] " << panel->windowTitle().toStdString() << ": " << Text(frame) << "\n";
    EXPECT_TRUE(kScreen.contains(frame)) << Text(frame);
    EXPECT_EQ(frame.left(), MeasuredFrame(app->MainFrame()).left()) << Text(frame);
    SaveDesktop("control-panel-desktop");
}

TEST_F(Desktop, FilterWindowsCascadeWholeOnTheScreen) {
    CZunDoc& doc = *app->ActiveDocument();
    ZunImage& sample = doc.GetSample();
    int ct = -1;
    for (int i = 0; i < sample.GetChanCount() && ct < 0; ++i)
        if (sample.GetChan(i)->kind == ZunChan::kXrayCt) ct = i;
    ASSERT_GE(ct, 0);
    auto model = std::make_unique<TomographyPropsModel>(doc, ct, &prompt);
    ASSERT_TRUE(model->Open());
    // The X-ray CT Properties dialog near the screen's top right corner, where the tree's menus
    // leave it.
    QDialog dialog;
    dialog.setWindowTitle("X-ray CT Properties");
    dialog.setGeometry(kScreen.right() - 440, 60, 420, 360);
    dialog.show();
    WaitUntilFramed({&dialog});
    model->windowFactory = MakeFilterWindowFactory(*model, &dialog, [] {});
    model->AddMaterialFilter("Al layer");
    std::vector<QWidget*> windows;
    for (const char* name : {"Source", "Al layer", "Display All", "Detector"}) {
        model->ShowFilterProperties(name);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<FilterWindowBase*>(w) && w->isVisible() &&
                std::find(windows.begin(), windows.end(), w) == windows.end())
                windows.push_back(w);
    }
    ASSERT_EQ(windows.size(), 4u);
    WaitUntilFramed(windows);
    std::vector<QRect> frames;
    for (QWidget* w : windows) {
        frames.push_back(MeasuredFrame(w));
        std::cout << "[ measured ] " << w->windowTitle().toStdString() << ": " << Text(frames.back()) << "\n";
    }
    const int title = windows.front()->geometry().top() - frames.front().top();
    ASSERT_GT(title, 0) << "no frame measured";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(kScreen.contains(frames[i])) << i << ": " << Text(frames[i]);
        // Each title bar shows below the ones before that it overlaps: a cascade, not a pile.
        for (std::size_t j = 0; j < i; ++j)
            if (frames[i].left() <= frames[j].right() && frames[j].left() <= frames[i].right()) {
                EXPECT_GE(std::abs(frames[i].top() - frames[j].top()), title)
                    << i << " over " << j << ": " << Text(frames[i]) << " / " << Text(frames[j]);
            }
    }
    SaveDesktop("filter-windows-desktop");
    model->CloseAllFilterWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

namespace {

ImageControlFloatingDialog* OpenPanel(CZunApp& app) {
    app.MainFrame()->UpdateCommandUI();
    app.MainFrame()->Action("viewControlPanel")->trigger();
    ImageControlFloatingDialog* panel = nullptr;
    test::WaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<ImageControlFloatingDialog*>(w); p && p->isVisible()) panel = p;
        return panel != nullptr;
    });
    return panel;
}

// The program as `zun examples/phantom.txt` starts it: the example is the first document, its
// window made while the window manager is still framing the main window.
struct FirstStart : test::AppFixture {
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs the private desktop";
        MakeApp();
        StartupOptions options;
        options.files = {kExample};
        ASSERT_TRUE(app->InitInstance(options));
        ASSERT_NE(app->ActiveDocument(), nullptr);
        WaitUntilFramed({app->MainFrame()});
    }
};

}  // namespace

TEST_F(FirstStart, TheFirstDocumentWindowFitsTheAreaTheMainWindowEndsWith) {
    CMainFrame* main = app->MainFrame();
    const QRect frame = MeasuredFrame(main);
    std::cout << "[ measured ] main window: " << Text(frame) << "\n";
    EXPECT_TRUE(kScreen.contains(frame)) << Text(frame);
    QMdiArea* area = main->MdiArea();
    ASSERT_EQ(area->subWindowList().size(), 1);
    QMdiSubWindow* window = area->subWindowList().front();
    const QRect room(QPoint(0, 0), area->viewport()->size());
    std::cout << "[ measured ] document window: " << Text(window->geometry()) << " in " << Text(room) << "\n";
    EXPECT_TRUE(room.contains(window->geometry())) << Text(window->geometry()) << " in " << Text(room);
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
    // The computation's times are in the window's status bar: seen without scrolling.
    CChildFrame* child = main->ActiveChild();
    ASSERT_NE(child, nullptr);
    QStatusBar* status = child->findChild<QStatusBar*>();
    ASSERT_NE(status, nullptr);
    const QRect bar(status->mapTo(area->viewport(), QPoint(0, 0)), status->size());
    EXPECT_TRUE(room.contains(bar)) << Text(bar) << " in " << Text(room);
    SaveDesktop("first-document-desktop");
}

TEST_F(Desktop, TheAdvancedSettingsOpenAtThePanelsTopRightCorner) {
    ImageControlFloatingDialog* panel = OpenPanel(*app);
    ASSERT_NE(panel, nullptr);
    WaitUntilFramed({panel});
    panel->OnMore();
    CZunViewAdvancedSettings* advanced = panel->AdvancedSettings();
    ASSERT_NE(advanced, nullptr);
    WaitUntilFramed({advanced});
    const QRect p = MeasuredFrame(panel), a = MeasuredFrame(advanced);
    std::cout << "[ measured ] panel: " << Text(p) << ", advanced settings: " << Text(a) << "\n";
    // Beside the panel's frame, touching it: the advanced frame's first column follows the panel
    // frame's last.
    EXPECT_EQ(a.topLeft(), QPoint(p.right() + 1, p.top())) << Text(a) << " beside " << Text(p);
    EXPECT_TRUE(kScreen.contains(a)) << Text(a);
    SaveDesktop("advanced-settings-desktop");
}

TEST_F(Desktop, TheControlPanelFollowsTheViewToFullScreenWithItsFrameOnTheScreen) {
    // The panel opens beside a main window away from the screen's corner, and is framed.
    app->MainFrame()->setGeometry(QRect(QPoint(200, 60), QSize(900, 600)));
    WaitUntilFramed({app->MainFrame()});
    ImageControlFloatingDialog* panel = OpenPanel(*app);
    ASSERT_NE(panel, nullptr);
    WaitUntilFramed({panel});
    const QRect beside = MeasuredFrame(panel);
    ASSERT_NE(beside.topLeft(), QPoint(0, 0)) << Text(beside);
    CZunView& view = panel->View();
    view.DetectScreens();
    // The screen list's second entry is the first screen.
    panel->OnScreen(1);
    FullScreenWindow* popup = view.FullScreenPopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
    test::WaitFor([&] { return MeasuredFrame(panel) != beside; }, 3000);
    WaitUntilFramed({panel});
    const QRect full = MeasuredFrame(popup), frame = MeasuredFrame(panel);
    std::cout << "[ measured ] full screen: " << Text(full) << ", panel: " << Text(frame) << "\n";
    EXPECT_EQ(frame.topLeft(), full.topLeft()) << Text(frame);
    EXPECT_TRUE(kScreen.contains(frame)) << "the title bar is above the screen: " << Text(frame);
    SaveDesktop("full-screen-panel-desktop");
    view.SetFullScreen(-1);
}

int main(int argc, char** argv) { return zun::test::DesktopTestMain(argc, argv); }
