// The value tools opened from the document tree's menu entries: each run reaches the views, and
// each Cancel or Close without a run leaves every voxel as it was.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>

#include "tools/ui/mapchanneldialog.h"
#include "tools/ui/setdatadialogui.h"
#include "tools/ui/thresholddialog.h"
#include "tools/valuetoolsfixture.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeitemmodel.h"
#include "tree/ui/treeview.h"
#include "uitest.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

QApplication& App() {
    return test::UiApp();
}

// Runs `drive` on the modal dialog of type D the command opens, then makes sure it closes.
template <class D>
void WhenOpen(const std::function<void(D&)>& drive) {
    QTimer::singleShot(0, [drive] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        drive(*d);
        if (d->isVisible()) d->reject();
    });
}

struct TreeToolsFixture : ValueToolsFixture {
    std::unique_ptr<ZunTreeView> view;
    TreeToolsFixture() : ValueToolsFixture({6, 5, 3}) {
        App();
        for (std::int64_t i = 0; i < Count(); ++i) Words("ct")[i] = static_cast<imtype>((i * 331) % 16384);
        view = std::make_unique<ZunTreeView>(doc);
        view->show();
        view->expandAll();
    }
    ~TreeToolsFixture() { view.reset(); }
    void Select(const char* name) {
        const QModelIndex i = view->ItemModel()->IndexOf(view->Tree().FindChannel(name));
        view->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
    }
    std::vector<std::vector<imtype>> All() {
        std::vector<std::vector<imtype>> out;
        for (const char* n : {"Void", "A", "B", "ct", "edge"}) out.emplace_back(Words(n), Words(n) + Count());
        return out;
    }
};

TEST(TreeTools, ThresholdFromTheMenu) {
    TreeToolsFixture f;
    f.Select("ct");
    const auto before = f.All();
    // Closed without Apply: nothing written, nothing told.
    WhenOpen<ThresholdSegmentationDialog>([](ThresholdSegmentationDialog& d) { d.CloseButton()->click(); });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kThresholdSegmentation));
    EXPECT_EQ(f.All(), before);
    EXPECT_TRUE(f.hints.Take().empty());

    WhenOpen<ThresholdSegmentationDialog>([](ThresholdSegmentationDialog& d) {
        d.ApplyButton()->click();
        d.CloseButton()->click();
    });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kThresholdSegmentation));
    EXPECT_EQ(f.hints.Take(), (Lines{"2 Stats 0 all"}));
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const int inside =
            (f.Words("Void")[i] & 0x3FFF) + (f.Words("A")[i] & 0x3FFF) + (f.Words("B")[i] & 0x3FFF);
        EXPECT_EQ(inside, 16383) << i;  // the even split puts every voxel in one composition
    }
    EXPECT_TRUE(f.doc.IsModified());
}

TEST(TreeTools, SetDataFromTheMenu) {
    TreeToolsFixture f;
    f.Select("B");
    const auto before = f.All();
    WhenOpen<ChanSetDataDialog>([](ChanSetDataDialog& d) {
        d.ApplyCheck(0)->click();
        d.ValueEdit(CChanSetData::kValue)->setText("0.5");
        d.reject();
    });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kSetData));
    EXPECT_EQ(f.All(), before);
    EXPECT_TRUE(f.hints.Take().empty());

    WhenOpen<ChanSetDataDialog>([](ChanSetDataDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Channel 'B' Set Data");
        d.ApplyCheck(0)->click();
        d.ValueEdit(CChanSetData::kValue)->setText("0.5");
        d.OkButton()->click();
    });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kSetData));
    EXPECT_EQ(f.hints.Take(), (Lines{"2 Stats 0 all"}));
    for (std::int64_t i = 0; i < f.Count(); ++i)
        EXPECT_EQ(f.Words("B")[i] & 0x3FFF, 8192) << i;  // half of the 0..1 range
}

TEST(TreeTools, MapFromTheSubmenu) {
    TreeToolsFixture f;
    f.Select("ct");
    const auto before = f.All();
    const int entry = treecmd::kMapDataFirst + f.Index("A");
    WhenOpen<MapChannelDataDialog>([](MapChannelDataDialog& d) { d.reject(); });
    ASSERT_TRUE(f.view->Commands().Execute(entry));
    EXPECT_EQ(f.All(), before);
    EXPECT_TRUE(f.hints.Take().empty());

    WhenOpen<MapChannelDataDialog>([](MapChannelDataDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Map [ct] channel data to channel [A]:");
        d.RuleEdit()->setText("<8192");
        d.OkButton()->click();
    });
    ASSERT_TRUE(f.view->Commands().Execute(entry));
    EXPECT_EQ(f.hints.Take(), (Lines{"6", "2 Stats 0 all"}));
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const bool low = f.Words("ct")[i] < 8192;
        EXPECT_EQ(f.Words("A")[i], low ? 16383 : before[1][static_cast<std::size_t>(i)]) << i;
    }
    // The window keeps the settings for the next opening.
    WhenOpen<MapChannelDataDialog>([](MapChannelDataDialog& d) {
        EXPECT_EQ(d.RuleEdit()->text(), "<8192");
        d.reject();
    });
    ASSERT_TRUE(f.view->Commands().Execute(entry));
}

}  // namespace
}  // namespace zun
