// The boundary wizard and the boundary transform dialog driven as a user does, from the dialogs
// and from the tree's Boundary menu, with their screenshots.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>

#include "document/dispspec.h"
#include "foundation/numformat.h"
#include "foundation/ui/progressdialog.h"
#include "tools/boundarytransform.h"
#include "tools/boundarywizard.h"
#include "tools/ui/addboundpages.h"
#include "tools/ui/addboundsheet.h"
#include "tools/ui/transbounddialog.h"
#include "tools/valuetoolsfixture.h"
#include "tree/displaytree.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeitemmodel.h"
#include "tree/ui/treeview.h"
#include "uitest.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;
using WordList = std::vector<imtype>;
using test::Retype;
using test::Screenshot;

// 8 x 6 x 4 with boundaries "edge" and "rim"; a 4 x 2 x 2 cuboid covers x 2..5, y 2..3, z 1..2.
struct BoundFixture : ValueToolsFixture {
    BoundFixture() : ValueToolsFixture({8, 6, 4}) {
        test::UiApp();
        doc.InsertChannel(3, doc.InsertPositionLast(3), "rim");
        doc.SetTitle("phantom");
        hints.Take();
        doc.SetModifiedFlag(false);
    }
    static bool InCuboid(std::int64_t i) {
        const std::int64_t x = i % 8, y = (i / 8) % 6, z = i / 48;
        return x >= 2 && x <= 5 && y >= 2 && y <= 3 && z >= 1 && z <= 2;
    }
    WordList Copy(const std::string& n) { return WordList(Words(n), Words(n) + Count()); }
};

void ChooseCuboid(AddBoundSheet& s) {
    s.Panel()->TypeCombo()->setCurrentIndex(BoundDef::kCuboid);
    auto* page = static_cast<AddBoundGeometryPage*>(s.Page(BoundDef::kCuboid));
    Retype(page->Edit(0), "4");
    Retype(page->Edit(1), "2");
    Retype(page->Edit(2), "2");
}

TEST(BoundaryWizardSheet, PagesFollowTheTypeAndScreens) {
    BoundFixture f;
    BoundaryWizard w(f.doc, {"edge"});
    AddBoundSheet s(w, f.doc.GetSample().GetChanCount());
    s.setWindowTitle(QString::fromStdString(BoundaryToolCaption("phantom", {"edge"}, "Build")));
    s.show();
    EXPECT_EQ(s.Tabs()->count(), 5);
    EXPECT_EQ(s.CloseButton()->text(), "Close");
    // The cluster page is the default kind: no rotation or translation there.
    EXPECT_EQ(s.Tabs()->currentIndex(), 0);
    EXPECT_FALSE(s.Panel()->RotateCheck()->isEnabled());
    auto* cluster = static_cast<AddBoundPage_0*>(s.Page(0));
    EXPECT_EQ(cluster->ReferenceCombo()->currentText(), "ct");
    EXPECT_EQ(cluster->ReferenceCombo()->count(), 5);  // every channel but the target
    EXPECT_TRUE(s.ApplyButton()->isEnabled());
    const char* names[5] = {"cluster", "value", "cuboid", "spherical", "cylindrical"};
    for (int k = 0; k < 5; ++k) {
        s.Panel()->TypeCombo()->setCurrentIndex(k);
        EXPECT_EQ(s.Tabs()->currentIndex(), k);
        EXPECT_EQ(s.Panel()->RotateCheck()->isEnabled(), k != 0);
        Screenshot(&s, std::string("boundary_wizard_") + names[k]);
    }
    // A tab chosen by the user selects its kind too.
    s.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(s.Panel()->TypeCombo()->currentIndex(), 1);
    s.Panel()->RotateCheck()->setChecked(true);
    EXPECT_TRUE(s.Panel()->AngleEdit(0)->isEnabled());
    s.Tabs()->setCurrentIndex(0);
    EXPECT_FALSE(s.Panel()->RotateCheck()->isChecked());
    EXPECT_FALSE(s.Panel()->AngleEdit(0)->isEnabled());
}

TEST(BoundaryWizardSheet, ApplyBuildsThenSkips) {
    BoundFixture f;
    BoundaryWizard w(f.doc, {"edge", "rim"});
    AddBoundSheet s(w, f.doc.GetSample().GetChanCount());
    s.show();
    ChooseCuboid(s);
    ASSERT_TRUE(s.ApplyButton()->isEnabled());
    QTest::mouseClick(s.ApplyButton(), Qt::LeftButton);
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        ASSERT_EQ(f.Words("edge")[i], BoundFixture::InCuboid(i) ? 16383 : 0) << i;
        ASSERT_EQ(f.Words("rim")[i], BoundFixture::InCuboid(i) ? 16383 : 0) << i;
    }
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge rim"}));
    EXPECT_TRUE(s.isEnabled());
    EXPECT_TRUE(f.Messages().empty());

    // A diameter typed on the sphere page, whose kind is not chosen, is not stored.
    Retype(static_cast<AddBoundGeometryPage*>(s.Page(BoundDef::kSphere))->Edit(0), "3");
    s.Panel()->TypeCombo()->setCurrentIndex(BoundDef::kCuboid);
    const WordList before = f.Copy("edge");
    QTest::mouseClick(s.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(f.Messages(), (Lines{"Computation skipped due to parameters unchanged."}));
    EXPECT_EQ(f.Copy("edge"), before);
    EXPECT_TRUE(f.hints.Take().empty());

    // XOR over both targets flips the cuboid back to empty.
    s.Panel()->ModeButton(BoundDef::kXor)->click();
    QTest::mouseClick(s.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(f.Copy("edge"), WordList(std::size_t(f.Count()), 0));
    EXPECT_EQ(f.Copy("rim"), WordList(std::size_t(f.Count()), 0));
    EXPECT_EQ(f.doc.boundDef.mode, BoundDef::kXor);
}

// The progress dialog's title names the operation once, then the step the build reports.
TEST(BoundaryWizardSheet, ProgressTitleNamesTheOperationOnce) {
    test::UiApp();
    for (const char* caption : {boundmsg::kGenerating, boundmsg::kTransforming}) {
        const std::unique_ptr<ProgressSink> progress = MakeBoundaryProgress(nullptr, caption);
        auto title = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* bar = qobject_cast<CProgressBar*>(w); bar && bar->isVisible())
                    return bar->windowTitle().toStdString();
            return std::string();
        };
        progress->SetText(caption);
        EXPECT_EQ(title(), caption);
        progress->SetText("Filling");
        EXPECT_EQ(title(), std::string(caption) + ": Filling");
    }
}

TEST(BoundaryWizardSheet, ClusterPageChecksAndErrors) {
    BoundFixture f;
    BoundaryWizard w(f.doc, {"edge"});
    AddBoundSheet s(w, f.doc.GetSample().GetChanCount());
    s.show();
    auto* page = static_cast<AddBoundPage_0*>(s.Page(0));
    // Out of range while typing: Apply off, the reason on the page, no message box.
    Retype(page->ThresholdEdit(), "1.5");
    EXPECT_FALSE(s.ApplyButton()->isEnabled());
    EXPECT_EQ(page->StatusLine()->text(), "Normalized value must be between 0.0 and 1.0");
    EXPECT_TRUE(f.Messages().empty());
    // Physical: the channel's middle is shown, its range labels the edit.
    page->UnitButton(BoundDef::kPhysical)->click();
    EXPECT_EQ(page->ThresholdEdit()->text(), "1.000000");
    EXPECT_EQ(page->ThresholdLabel()->text(), "channel threshold (0.0 - 2.0)");
    EXPECT_TRUE(s.ApplyButton()->isEnabled());
    EXPECT_EQ(w.Current().thresholdText[2], "-1");

    // Both sides "NA": told, nothing generated, Apply stays on.
    page->LowButton(BoundDef::kNotApplicable)->click();
    page->HighButton(BoundDef::kNotApplicable)->click();
    EXPECT_FALSE(page->LowRuleEdit()->isEnabled());
    QTest::mouseClick(s.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(f.Messages(),
              (Lines{"No channel clusters selected.\nCannot generate channel-cluster-based boundary."}));
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kReverted);
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_TRUE(s.ApplyButton()->isEnabled());

    // A rule of blanks and commas: told, the edit cleared, nothing generated.
    page->HighButton(BoundDef::kCombineOr)->click();
    Retype(page->HighRuleEdit(), " , ,");
    QTest::mouseClick(s.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(f.Messages(), (Lines{"Missing mapping >= rules definition"}));
    EXPECT_EQ(page->HighRuleEdit()->text(), "");
    EXPECT_EQ(f.Copy("edge"), WordList(std::size_t(f.Count()), 0));

    // A valid rule typed loosely is shown formatted after the build.
    Retype(page->HighRuleEdit(), " 1 ; 2 ");
    QTest::mouseClick(s.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kBuilt) << ::testing::PrintToString(f.Messages());
    EXPECT_EQ(page->HighRuleEdit()->text(), "1, 2");
    EXPECT_EQ(page->ThresholdEdit()->text(), "1.0");
}

TEST(BoundaryWizardSheet, PanelEditsPutBackBadNumbers) {
    BoundFixture f;
    BoundaryWizard w(f.doc, {"edge"});
    AddBoundSheet s(w, f.doc.GetSample().GetChanCount());
    s.show();
    QApplication::setActiveWindow(&s);
    s.Panel()->TypeCombo()->setCurrentIndex(BoundDef::kCuboid);
    s.Panel()->RotateCheck()->setChecked(true);
    Retype(s.Panel()->AngleEdit(1), "abc");
    s.Panel()->AngleEdit(2)->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(s.Panel()->AngleEdit(1)->text(), "0");
    EXPECT_EQ(f.Messages(), (Lines{kValueMustBeReal}));
    auto* value = static_cast<AddBoundPage_1*>(s.Page(BoundDef::kSample));
    s.Panel()->TypeCombo()->setCurrentIndex(BoundDef::kSample);
    Retype(value->StrengthEdit(), "2");
    value->NoisePresent()->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(value->StrengthEdit()->text(), "0.5");
    EXPECT_EQ(f.Messages(), (Lines{"Value must lie between 0 and 1"}));
    // Void outside off: the details follow.
    value->VoidOutside()->click();
    EXPECT_FALSE(value->ChannelList()->isEnabled());
    EXPECT_FALSE(value->Smoothing()->isEnabled());
}

TEST(BoundaryTransformDialog, ApplyTwiceAndScreen) {
    BoundFixture f, once;
    for (BoundFixture* g : {&f, &once})
        for (std::int64_t i = 0; i < g->Count(); ++i)
            g->Words("edge")[i] = BoundFixture::InCuboid(i) ? 16383 : 0;
    BoundaryTransform t(f.doc, {"edge"});
    TransBoundDialog d(t, f.doc);
    d.setWindowTitle(QString::fromStdString(BoundaryToolCaption("phantom", {"edge"}, "Transform")));
    d.show();
    EXPECT_FALSE(d.OffsetEdit(0)->isEnabled());
    d.TranslateCheck()->click();
    EXPECT_TRUE(d.OffsetEdit(0)->isEnabled());
    Retype(d.OffsetEdit(0), "-1");
    Retype(d.OffsetEdit(1), "1");
    Screenshot(&d, "boundary_transform");
    QTest::mouseClick(d.ApplyButton(), Qt::LeftButton);
    QTest::mouseClick(d.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge", "2 ChangeBound edge"}));
    EXPECT_TRUE(d.OffsetEdit(0)->isEnabled());
    EXPECT_FALSE(d.AngleEdit(0)->isEnabled());

    TransformFields twice;
    twice.translate = true;
    twice.offsets = {"-2", "2", "0"};
    BoundaryTransform(once.doc, {"edge"}).Apply(twice, nullptr);
    EXPECT_EQ(f.Copy("edge"), once.Copy("edge"));
    EXPECT_NE(f.Copy("edge"), WordList(std::size_t(f.Count()), 0));
}

// ---- from the tree

template <class D>
void WhenOpen(const std::function<void(D&)>& drive) {
    QTimer::singleShot(0, [drive] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        drive(*d);
        if (d->isVisible()) d->reject();
    });
}

struct TreeFixture : BoundFixture {
    std::unique_ptr<ZunTreeView> view;
    TreeFixture() {
        view = std::make_unique<ZunTreeView>(doc);
        view->show();
        view->expandAll();
    }
    ~TreeFixture() { view.reset(); }
    void Select(const std::vector<const char*>& names) {
        view->selectionModel()->clearSelection();
        for (const char* n : names)
            view->selectionModel()->select(view->ItemModel()->IndexOf(view->Tree().FindChannel(n)),
                                           QItemSelectionModel::Select);
    }
};

TEST(BoundaryFromTree, BuildUpdatesTheViewsAndMatchesTheHeadlessBuild) {
    TreeFixture f;
    f.Select({"edge", "rim"});
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("rim")[i] = (i % 3) ? 16383 : 0;
    // The middle slice of "edge" shows its average in the tree.
    TreeNode* slice = f.view->Tree().FindChannel("edge")->children[1].get();
    slice->spec.statColumns = DispSpec::kColAve;

    // Closed without Apply: nothing built, nothing told.
    WhenOpen<AddBoundSheet>([](AddBoundSheet& s) { s.CloseButton()->click(); });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kBuildBoundary));
    EXPECT_EQ(f.Copy("edge"), WordList(std::size_t(f.Count()), 0));
    EXPECT_TRUE(f.hints.Take().empty());

    const QString caption = QString::fromStdString(f.doc.GetNameText()) + ": Multiple Boundaries: Build";
    WhenOpen<AddBoundSheet>([caption](AddBoundSheet& s) {
        EXPECT_EQ(s.windowTitle(), caption);
        ChooseCuboid(s);
        s.Panel()->ModeButton(BoundDef::kOr)->click();
        s.ApplyButton()->click();
        s.CloseButton()->click();
    });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kBuildBoundary));
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge rim"}));
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_FALSE(slice->spec.statStale);
    EXPECT_GT(slice->spec.statAve, 0.0f);

    // The remote command's road on a twin document gives the same voxels.
    BoundFixture twin;
    for (std::int64_t i = 0; i < twin.Count(); ++i) twin.Words("rim")[i] = (i % 3) ? 16383 : 0;
    twin.doc.boundDef = f.doc.boundDef;
    ASSERT_EQ(BuildBoundaryFromDocument(twin.doc, {"edge", "rim"}, nullptr), 0);
    EXPECT_EQ(twin.Copy("edge"), f.Copy("edge"));
    EXPECT_EQ(twin.Copy("rim"), f.Copy("rim"));

    // The next opening starts from the last definition.
    WhenOpen<AddBoundSheet>([](AddBoundSheet& s) {
        EXPECT_EQ(s.Panel()->TypeCombo()->currentIndex(), BoundDef::kCuboid);
        EXPECT_TRUE(s.Panel()->ModeButton(BoundDef::kOr)->isChecked());
        s.CloseButton()->click();
    });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kBuildBoundary));
}

TEST(BoundaryFromTree, TransformFromTheMenu) {
    TreeFixture f;
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("edge")[i] = BoundFixture::InCuboid(i) ? 16383 : 0;
    const WordList before = f.Copy("edge");
    f.Select({"edge"});
    const QString caption = QString::fromStdString(f.doc.GetNameText()) + ": edge: Transform";
    WhenOpen<TransBoundDialog>([caption](TransBoundDialog& d) {
        EXPECT_EQ(d.windowTitle(), caption);
        d.TranslateCheck()->click();
        d.OffsetEdit(2)->setText("1");
        d.CloseButton()->click();
    });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kTransformBoundary));
    EXPECT_EQ(f.Copy("edge"), before);
    EXPECT_TRUE(f.hints.Take().empty());

    WhenOpen<TransBoundDialog>([](TransBoundDialog& d) {
        d.TranslateCheck()->click();
        d.OffsetEdit(2)->setText("1");
        d.ApplyButton()->click();
        d.CloseButton()->click();
    });
    ASSERT_TRUE(f.view->Commands().Execute(treecmd::kTransformBoundary));
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge"}));
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const std::int64_t z = i / 48;
        EXPECT_EQ(f.Words("edge")[i], z == 0 ? 0 : before[std::size_t(i - 48)]) << i;
    }
    EXPECT_EQ(f.doc.transBoundParams.translation, (std::vector<std::int32_t>{0, 0, 1}));
}

}  // namespace
}  // namespace zun
