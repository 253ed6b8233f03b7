// A boundary built from the tree's Boundary menu reaches the 3-D view of the same document: the
// view fills its display volume again.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <cstdlib>

#include "tools/ui/addboundpages.h"
#include "tools/ui/addboundsheet.h"
#include "tools/valuetoolsfixture.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeitemmodel.h"
#include "tree/ui/treeview.h"
#include "uitest.h"
#include "view3d/ui/zunview.h"

namespace zun {
namespace {

bool HaveDisplay() {
    return std::getenv("DISPLAY") && *std::getenv("DISPLAY");
}

template <class F>
bool PumpUntil(F done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

TEST(BoundaryView, BuildFromTheTreeRefillsTheView) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    test::UiApp();
    ValueToolsFixture f({16, 16, 8});
    ZunTreeView tree(f.doc);
    tree.show();
    // The fill reads the boundary as the view's tree would: the inside voxels it finds.
    std::atomic<int> fills{0};
    std::atomic<long> inside{-1};
    CZunView view(&f.doc);
    view.fillDisplayVolume = [&](DisplayVolume& vol, const Dims&) {
        const imtype* w = f.Words("edge");
        long n = 0;
        for (std::int64_t i = 0; i < f.Count(); ++i) n += (w[i] & 0x3FFF) != 0;
        std::fill(vol.Data(), vol.Data() + vol.GetNumVoxels(), 0u);
        inside = n;
        ++fills;
        return 16;
    };
    view.resize(320, 240);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(PumpUntil([&] { return view.GetVolumeLayer() != nullptr && fills > 0; }));
    EXPECT_EQ(inside, 0);

    tree.selectionModel()->select(tree.ItemModel()->IndexOf(tree.Tree().FindChannel("edge")),
                                  QItemSelectionModel::ClearAndSelect);
    QTimer::singleShot(0, [] {
        auto* s = qobject_cast<AddBoundSheet*>(QApplication::activeModalWidget());
        ASSERT_NE(s, nullptr);
        s->Panel()->TypeCombo()->setCurrentIndex(BoundDef::kSphere);
        static_cast<AddBoundGeometryPage*>(s->Page(BoundDef::kSphere))->Edit(0)->setText("6");
        s->ApplyButton()->click();
        s->CloseButton()->click();
    });
    ASSERT_TRUE(tree.Commands().Execute(treecmd::kBuildBoundary));
    ASSERT_TRUE(PumpUntil([&] { return inside > 0; }));
    EXPECT_GT(inside, 50);  // a ball of diameter 6 holds about 113 voxels
    EXPECT_LT(inside, 200);
}

}  // namespace
}  // namespace zun
