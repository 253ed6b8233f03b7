#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include <osg/Notify>

#include "uitest.h"
#include "document/docclasses.h"
#include "document/ui/datcoldialog.h"
#include "document/zundoc.h"
#include "tree/ui/displaypropsdialog.h"
#include "tree/ui/gl/gltest.h"
#include "tree/ui/treeview.h"
#include "view3d/ui/zunview.h"

namespace zun {
namespace {

QApplication& App() {
    return test::GlApp();
}
using test::PumpUntil;
using test::Screens;

QImage Grab(CZunView& v) {
    return v.grabFramebuffer().convertToFormat(QImage::Format_RGB888);
}

using test::MeanDifference;

// Pixels where red clearly leads green and blue.
int RedPixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (qRed(p) > qGreen(p) + 30 && qRed(p) > qBlue(p) + 30) ++n;
        }
    return n;
}

// The display dialog's colour and opacity reach the 3-D view of the same window at once, and
// "Cancel" brings the first picture back.
TEST(LiveView, DialogChangesReachTheViewAndCancelRestoresIt) {
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display (run under xvfb-run)";
    App();
    RegisterDocumentClasses();
    CZunDoc doc;
    doc.OnNewDocument();
    ZunImage& s = doc.GetSample();
    ASSERT_EQ(s.Resize(Dims{24, 24, 24}), 1);
    s.InsertChan(ZunChan::kComposition, 1, "Iron", 0x00C000);
    ZunChan* iron = s.FindChan("Iron");
    // A dense ball in the middle.
    for (int z = 0; z < 24; ++z)
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                const int d2 = (x - 12) * (x - 12) + (y - 12) * (y - 12) + (z - 12) * (z - 12);
                iron->Data()[(z * 24 + y) * 24 + x] = d2 < 64 ? 16383 : 0;
            }

    QWidget frame;
    auto* split = new QSplitter(&frame);
    auto* tree = new ZunTreeView(doc, split);
    auto* view = new CZunView(&doc, split);
    view->SetTree(&tree->Tree());
    view->Settings().boundingBoxFlags = 0;
    view->SetAxesVisible(false);
    view->Settings().axesShown = false;
    split->addWidget(tree);
    split->addWidget(view);
    frame.resize(560, 320);
    split->resize(560, 320);
    split->setSizes({160, 400});
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    ASSERT_TRUE(PumpUntil([&] { return view->GetVolumeLayer() != nullptr; }));
    view->Manipulator()->setAllowThrow(false);
    Grab(*view);
    const QImage before = Grab(*view);
    ASSERT_LT(RedPixels(before), 10);

    TreeNode* ironItem = tree->Tree().FindChannel("Iron");
    ironItem->selected = true;
    DisplayPropertiesDialog* d = ShowDisplayProperties(*tree);
    ASSERT_NE(d, nullptr);
    // The Data Colour dialog paints the ball red while it is open.
    QTimer::singleShot(0, [&] {
        auto* c = qobject_cast<DatcolPropertiesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(c, nullptr);
        c->Model().SetSingleColour(0x0000FF);
        EXPECT_TRUE(PumpUntil([&] { return RedPixels(Grab(*view)) > 200; }));
        c->accept();
    });
    d->OpenDataColour();
    EXPECT_EQ(ironItem->Child(5)->spec.shown.displayColours[0], 0x0000FFu);
    QImage red = Grab(*view);
    EXPECT_GT(RedPixels(red), 200);
    red.save(QString::fromStdString(Screens() + "/display-properties-live.png"));

    // Opacity: a fainter ball.
    d->Model().SpinDone(3, 20);
    ASSERT_TRUE(PumpUntil([&] { return MeanDifference(Grab(*view), red) > 0.5; }));

    d->reject();
    EXPECT_EQ(ironItem->Child(5)->spec.shown.displayColours[0], 0x00C000u);
    EXPECT_TRUE(PumpUntil([&] { return MeanDifference(Grab(*view), before) < 0.05; }))
        << MeanDifference(Grab(*view), before);
    EXPECT_LT(RedPixels(Grab(*view)), 10);
}

}  // namespace
}  // namespace zun
