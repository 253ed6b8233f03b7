// The set-up windows: the Setup Computation dialog with its sections, the three method sheets
// and the property-method dialogs, driven as a user and as the remote commands drive them, with
// their screenshots.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QtTest/QTest>
#include <filesystem>
#include <fstream>

#include "app/ui/pluginlist.h"
#include "foundation/ui/dialoghelpers.h"
#include "setup/setupdoc.h"
#include "setup/setupmessages.h"
#include "setup/ui/methodsheetdialog.h"
#include "setup/ui/propertydialogs.h"
#include "setup/ui/setupdialog.h"
#include "uilayout.h"
#include "uitest.h"

namespace zun {
namespace {

using test::Screenshot;
using test::SetupDoc;

PluginSectionFactory PluginWidgets() {
    return [](std::vector<PluginRunEntry>& list, bool job, QWidget* parent) {
        auto* w = new PluginListWidget(list, job, parent);
        return PluginSection{w, [w] { return w->Model().Job(); }};
    };
}

std::string Last(const HeadlessPrompt& p) {
    const auto r = p.Requests();
    return r.empty() ? std::string() : r.back().text;
}

TEST(SetupDialog, PlainDocumentShowsOnlyTheMethodsAndTheRows) {
    test::UiApp();
    SetupDoc d;
    SetupComputationState s(*d.doc);
    SetupComputationDialog dlg(s, d.prompt);
    EXPECT_EQ(dlg.windowTitle(), "Setup Computation");
    EXPECT_EQ(dlg.PropertyBox(), nullptr);
    EXPECT_EQ(dlg.MaskBox(), nullptr);
    EXPECT_EQ(dlg.PluginWidget(), nullptr);
    EXPECT_TRUE(dlg.MethodBox(kSetupNonlinear)->isChecked());
    EXPECT_FALSE(dlg.ParametersButton(kSetupLinear)->isVisibleTo(&dlg));
    dlg.show();
    Screenshot(&dlg, "setup_computation_plain");
}

TEST(SetupDialog, FullDocumentShowsEverySection) {
    test::UiApp();
    SetupDoc d(true, true);
    d.doc->SetPlugins(true, {});
    PropertyMethodSettings rec;
    rec.kind = kScalarExtrapolation;
    d.doc->GetModel().PropertyMethods() = {rec};
    SetupComputationState s(*d.doc);
    for (int i = 0; i < 20; ++i) {
        PluginRunEntry e;
        e.name = "filter" + std::to_string(i % 5);
        e.description = "Smoothing filter " + std::to_string(i % 5);
        e.duplicateIndex = i / 5;
        s.plugins.push_back(e);
    }
    s.SetJobs({true, true, true});
    SetupComputationDialog dlg(s, d.prompt, nullptr, PluginWidgets());
    ASSERT_NE(dlg.PluginWidget(), nullptr);
    auto* title = dlg.PluginWidget()->findChild<QCheckBox*>("pluginJob");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), "Plugins (16 shown of 20 located)");
    ASSERT_NE(dlg.SelectedList(), nullptr);
    EXPECT_EQ(dlg.SelectedList()->rowCount(), 1);
    EXPECT_EQ(dlg.SelectedList()->item(0, 0)->text(), "M-2");
    EXPECT_EQ(dlg.Catalogue()->item(2, 1)->text(), "Linked cluster analysis");
    EXPECT_EQ(dlg.MaskCombo()->count(), 3);
    EXPECT_FALSE(dlg.MaskCombo()->isEnabled());
    EXPECT_FALSE(dlg.RestoreButton()->isEnabled());
    dlg.MaskBox()->click();
    EXPECT_TRUE(dlg.MaskCombo()->isEnabled());
    EXPECT_TRUE(dlg.RestoreButton()->isEnabled());
    dlg.show();
    Screenshot(&dlg, "setup_computation");
    // Un-ticking the property job greys both lists and the row buttons.
    dlg.PropertyBox()->click();
    EXPECT_FALSE(dlg.Catalogue()->isEnabled());
    EXPECT_FALSE(dlg.SelectedList()->cellWidget(0, 1)->isEnabled());
    EXPECT_FALSE(s.jobs.property);
}

TEST(SetupDialog, CatalogueDropsOpenTheMethodDialogAndCancelAddsNothing) {
    test::UiApp();
    SetupDoc d(true);
    SetupComputationState s(*d.doc);
    int answer = QDialog::Rejected;
    std::vector<QString> opened;
    SetupComputationDialog dlg(s, d.prompt, nullptr, {}, [&](QDialog& dialog) {
        opened.push_back(dialog.windowTitle());
        return answer;
    });
    EXPECT_FALSE(dlg.AddMethod(kLinkedClusterAnalysis));
    EXPECT_EQ(dlg.SelectedList()->rowCount(), 0);
    EXPECT_EQ(opened.back(), "Parameters for Linked Clusters Analysis");
    answer = QDialog::Accepted;
    EXPECT_TRUE(dlg.AddMethod(kScalarAnalyticMap));
    EXPECT_TRUE(dlg.AddMethod(kScalarExtrapolation));
    EXPECT_EQ(dlg.SelectedList()->rowCount(), 2);
    dlg.ListMenuAction(0, 1);  // Down
    EXPECT_EQ(dlg.SelectedList()->item(0, 0)->text(), "M-2");
    dlg.ListMenuAction(1, 1);  // Down on the last row does nothing
    EXPECT_EQ(dlg.SelectedList()->item(1, 0)->text(), "M-1");
    dlg.MoveSelected(0, -1);
    EXPECT_EQ(dlg.SelectedList()->item(1, 0)->text(), "M-2");
    // A drop as the list receives it: catalogue row 2 on the selected list.
    QMimeData mime;
    mime.setData("application/x-zun-setup-method", "c2");
    EXPECT_TRUE(dlg.SelectedList()->Drop(&mime, 0));
    ASSERT_EQ(dlg.SelectedList()->rowCount(), 3);
    EXPECT_EQ(dlg.SelectedList()->item(2, 0)->text(), "M-3");
    dlg.accept();
    ASSERT_EQ(d.doc->GetModel().PropertyMethods().size(), 3u);
    EXPECT_EQ(d.doc->GetModel().PropertyMethods()[0].kind, kScalarAnalyticMap);
}

TEST(SetupDialog, CheckingAMethodOpensItsSheetAndCancelKeepsTheFlag) {
    test::UiApp();
    SetupDoc d;
    SetupComputationState s(*d.doc);
    std::vector<QString> opened;
    SetupComputationDialog dlg(s, d.prompt, nullptr, {}, [&](QDialog& dialog) {
        opened.push_back(dialog.windowTitle());
        return QDialog::Rejected;
    });
    d.doc->SetTitle("phantom");
    dlg.MethodBox(kSetupLinear)->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "phantom: Data Constrained Linear Optimisation Parameters");
    EXPECT_TRUE(dlg.ParametersButton(kSetupLinear)->isVisibleTo(&dlg));
    dlg.reject();
    EXPECT_EQ(d.P().stepFlags[kStepLinear], 3);
}

// Records that no longer fit the document are reported once, when the dialog opens.
TEST(SetupDialog, StaleRecordsAreReportedOnOpening) {
    test::UiApp();
    SetupDoc d(true);
    PropertyMethodSettings rec;
    rec.kind = kLinkedClusterAnalysis;
    rec.inputChannel = "Gone";
    rec.outputChannel = "Gone too";
    d.doc->GetModel().PropertyMethods() = {rec};
    SetupComputationState s(*d.doc);
    ASSERT_FALSE(s.OpeningReport().empty());
    SetupComputationDialog dlg(s, d.prompt);
    dlg.show();
    const auto r = d.prompt.Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].caption, "Property computation parameters");
    EXPECT_EQ(r[0].text, "Property computation parameters need attention.\n");
    EXPECT_EQ(r[0].detail, s.OpeningReport());
}

// The "Setup Computation Method..." command: the controller hands its job switches in and takes
// them back, with the state Ready, only after OK.
TEST(SetupDialog, ControllerTakesTheJobSwitchesOnOk) {
    test::UiApp();
    SetupDoc d(true);
    d.doc->GetModel().Jobs() = {true, true, false};
    int answer = QDialog::Rejected;
    SetupComputationRunner runner(d.prompt, nullptr, {}, [&](QDialog& dialog) {
        if (auto* setup = qobject_cast<SetupComputationDialog*>(&dialog)) {
            EXPECT_TRUE(setup->PropertyBox()->isChecked());
            setup->PropertyBox()->click();
            setup->OrderEdit(kSetupNonlinear)->setText("2");
            if (answer == QDialog::Accepted) setup->accept();
        }
        return answer;
    });
    EXPECT_EQ(d.doc->OnSetupComputation(runner), 2);
    EXPECT_TRUE(d.doc->GetModel().Jobs().property);
    EXPECT_EQ(d.P().stepOrders[kStepNonlinear], 3);
    answer = QDialog::Accepted;
    EXPECT_EQ(d.doc->OnSetupComputation(runner), 0);
    EXPECT_FALSE(d.doc->GetModel().Jobs().property);
    EXPECT_EQ(d.P().stepOrders[kStepNonlinear], 2);
    EXPECT_EQ(d.doc->GetModel().GetState(), kReady);
    EXPECT_TRUE(d.doc->IsModified());
}

// What the remote commands do: a dialog that is never shown, switched through its entry points.
TEST(SetupDialog, HiddenDialogFollowsTheRemoteCalls) {
    test::UiApp();
    SetupDoc d(true);
    SetupComputationState s(*d.doc);
    s.SetJobs({true, true, false});
    SetupComputationDialog dlg(s, d.prompt);
    dlg.SetCompositionJob(false);
    EXPECT_FALSE(dlg.CompositionBox()->isChecked());
    EXPECT_FALSE(dlg.MethodBox(kSetupSegmentation)->isEnabled());
    EXPECT_FALSE(dlg.OrderEdit(kSetupLinear)->isEnabled());
    dlg.SetPropertyJob(false);
    EXPECT_FALSE(dlg.PropertyBox()->isChecked());
    EXPECT_FALSE(dlg.Catalogue()->isEnabled());
    EXPECT_TRUE(dlg.PropertyBox()->isEnabled());  // the switch itself stays usable
    dlg.SetMethodChecked(kSetupSegmentation, true);
    EXPECT_TRUE(dlg.MethodBox(kSetupSegmentation)->isChecked());
    EXPECT_FALSE(s.jobs.composition);
    EXPECT_FALSE(s.jobs.property);
    EXPECT_FALSE(dlg.isVisible());
}

// The window as a user sees it: its frame once a window manager has framed it (at once where
// there is none, as offscreen).
QRect SeenFrame(const QWidget* w) {
    if (QGuiApplication::platformName() == "xcb")
        EXPECT_TRUE(QTest::qWaitFor(
            [w] { return w->frameGeometry() != w->geometry() && w->frameGeometry().contains(w->geometry()); },
            60000))
            << "not framed";
    return w->frameGeometry();
}

// The window's frame is centred over `over` as far as the screen allows, wholly on the screen.
void ExpectFrameCentredOver(const QWidget* w, const QRect& over) {
    const QRect screen = w->screen()->availableGeometry();
    const QRect frame = SeenFrame(w);
    EXPECT_TRUE(screen.contains(frame));
    const QPoint centred = over.center() - QPoint(frame.width() / 2, frame.height() / 2);
    const QPoint want(std::clamp(centred.x(), screen.left(), screen.right() + 1 - frame.width()),
                      std::clamp(centred.y(), screen.top(), screen.bottom() + 1 - frame.height()));
    EXPECT_LE((frame.topLeft() - want).manhattanLength(), 4)
        << frame.x() << "," << frame.y() << " for " << want.x() << "," << want.y();
}

TEST(MethodSheetDialog, TabsFollowTheRangeAndGroupsCollapse) {
    test::UiApp();
    SetupDoc d;
    d.doc->SetTitle("phantom");
    d.P().interactWithPreviousState = true;
    LinearSheet sheet(d.P());
    // The sheet opens from the Setup Computation dialog, here one below and left of the screen's
    // centre.
    QDialog setup;
    setup.setWindowTitle("Setup Computation");
    setup.resize(400, 300);
    setup.move(setup.screen()->availableGeometry().topLeft() + QPoint(380, 300));
    setup.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&setup));
    const QRect over = SeenFrame(&setup);
    MethodSheetDialog dlg(sheet, "phantom", d.prompt, &setup);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    // Over the dialog it came from, not where the window manager would put a window of its own
    // choosing.
    ExpectFrameCentredOver(&dlg, over);
    EXPECT_EQ(dlg.Tabs()->count(), 1);
    EXPECT_EQ(dlg.Tabs()->tabText(0), "Intra-voxel");
    EXPECT_FALSE(dlg.Edit("Number of Iterations:")->isVisible());
    dlg.RangeCombo()->setCurrentIndex(2);
    Q_EMIT dlg.RangeCombo()->activated(2);
    EXPECT_EQ(dlg.Tabs()->count(), 3);
    EXPECT_EQ(dlg.Tabs()->tabText(2), "Next-nearest neighbour");
    EXPECT_TRUE(dlg.Edit("Number of Iterations:")->isVisible());
    EXPECT_FALSE(dlg.Grid("CT Data Set Weights")->isVisible());
    dlg.Check("Minimise CT Error")->click();
    EXPECT_TRUE(dlg.Grid("CT Data Set Weights")->isVisible());
    dlg.Check("Minimise Self Energy")->click();
    Screenshot(&dlg, "setup_sheet_linear");
    dlg.Check("Interaction with Previous State")->click();
    EXPECT_FALSE(dlg.Tabs()->isVisible());
    EXPECT_FALSE(dlg.RangeCombo()->isVisible());
    const QSize least = dlg.minimumSize();
    EXPECT_GT(least.width(), 0);
    dlg.resize(50, 50);  // the sheet does not shrink below what it opened with
    EXPECT_GE(dlg.width(), least.width());
    EXPECT_GE(dlg.height(), least.height());
}

// A controller's requests open sheets over a Setup Computation dialog it never shows: the sheet
// opens centred over the main window instead, where the user looks.
TEST(MethodSheetDialog, OverAHiddenDialogItOpensCentredOverTheMainWindow) {
    test::UiApp();
    SetupDoc d;
    NonlinearSheet sheet(d.P());
    QMainWindow main;
    main.setWindowTitle("Zun");
    main.resize(700, 560);
    main.move(main.screen()->availableGeometry().topLeft() + QPoint(300, 120));
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    const QRect over = SeenFrame(&main);
    QDialog setup(&main);
    MethodSheetDialog dlg(sheet, "phantom", d.prompt, &setup);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    ExpectFrameCentredOver(&dlg, over);
}

TEST(MethodSheetDialog, GridEditsMirrorAndBadOkKeepsTheSheetOpen) {
    test::UiApp();
    SetupDoc d;
    NonlinearSheet sheet(d.P());
    MethodSheetDialog dlg(sheet, "phantom", d.prompt);
    dlg.show();
    ListGridWidget* g = dlg.ShellGridWidget(0);
    Q_EMIT g->cellEdited(0, 2, "1.5");
    std::string text;
    GridGetCellText(*g, 2, 0, text);
    EXPECT_EQ(text, "1.5");
    EXPECT_TRUE(dlg.ApplyButton()->isEnabled());
    Q_EMIT g->cellEdited(1, 1, "x");
    EXPECT_EQ(Last(d.prompt), "Invalid numeric entry");
    Screenshot(&dlg, "setup_sheet_nonlinear");
    dlg.Edit("Vol frac sub-divisions")->setText("2.5");
    dlg.accept();
    EXPECT_EQ(Last(d.prompt), setupmsg::kGridSizeInteger);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);  // still open, edits kept
    EXPECT_EQ(dlg.Edit("Vol frac sub-divisions")->text(), "2.5");
    dlg.Edit("Vol frac sub-divisions")->setText("12");
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(d.P().gridSize, 12);
    EXPECT_EQ(d.P().nonlinearInteractionEnergy[0][2 * 3 + 0], 1.5f);
}

// The sheets are modal, but a controller's request runs while one is open and may add a
// channel: OK then stores nothing, says why and leaves the sheet open with what was typed.
TEST(MethodSheetDialog, OkAfterTheChannelsChangedStoresNothing) {
    test::UiApp();
    SetupDoc d;
    LinearSheet sheet(d.P());
    MethodSheetDialog dlg(sheet, "phantom", d.prompt);
    dlg.show();
    dlg.Edit("Number of Iterations:")->setText("7");
    d.Add(kChanComposition, "Fe");
    const Params after = d.P();
    dlg.accept();
    EXPECT_EQ(Last(d.prompt), setupmsg::kChannelsChanged);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.Edit("Number of Iterations:")->text(), "7");
    EXPECT_EQ(d.P().linearIterations, after.linearIterations);
    EXPECT_EQ(d.P().linearInteractionEnergy, after.linearInteractionEnergy);
    EXPECT_NO_THROW(d.P().Validate());
}

TEST(MethodSheetDialog, SegmentationStripLocksToTheCoefficientColumns) {
    test::UiApp();
    SetupDoc d;
    SegmentationSheet sheet(d.P());
    MethodSheetDialog dlg(sheet, "phantom", d.prompt);
    dlg.show();
    EXPECT_FALSE(dlg.Tabs()->isVisible());  // "No neighbours"
    ListGridWidget* coeff = dlg.Grid("Coefficients");
    EXPECT_EQ(dlg.CtStrip()->columnWidth(2), coeff->columnWidth(3) + coeff->columnWidth(4));
    coeff->setColumnWidth(3, 150);  // the strip follows a column the user widens
    EXPECT_EQ(dlg.CtStrip()->columnWidth(2), 150 + coeff->columnWidth(4));
    CheckHeadCtrl* head = dlg.CtHeader();
    QTest::mouseClick(
        head->viewport(), Qt::LeftButton, {},
        QPoint(head->sectionViewportPosition(2) + head->sectionSize(2) / 2, head->height() / 2));
    EXPECT_EQ(head->ImageOf(2), CheckHeadCtrl::kUnchecked);
    EXPECT_FALSE(sheet.CtSelected(1));
    bool readOnly = false;
    GridGetCellFlag(*coeff, 0, 2, readOnly);
    EXPECT_TRUE(readOnly);
    dlg.RangeCombo()->setCurrentIndex(2);
    Q_EMIT dlg.RangeCombo()->activated(2);
    EXPECT_TRUE(dlg.Tabs()->isVisible());
    EXPECT_EQ(dlg.Tabs()->count(), 2);
    Screenshot(&dlg, "setup_sheet_segmentation");
}

// OK, Cancel and Apply lie within the sheet, and its frame within the screen's available area.
void ExpectReachable(MethodSheetDialog& dlg, const std::string& when) {
    SCOPED_TRACE(when);
    const QRect screen = dlg.screen()->availableGeometry();
    const QRect frame = dlg.geometry().marginsAdded(WindowFrameMargins(&dlg));
    auto text = [](const QRect& r) {
        return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
               std::to_string(r.height());
    };
    EXPECT_TRUE(screen.contains(frame)) << text(frame) << " on " << text(screen);
    EXPECT_LE(dlg.minimumHeight(), dlg.height());
    for (QAbstractButton* b : dlg.findChild<QDialogButtonBox*>()->buttons())
        EXPECT_TRUE(dlg.rect().contains(QRect(b->mapTo(&dlg, QPoint(0, 0)), b->size())))
            << b->text().toStdString();
}

// A sheet of many compositions with every interaction page needs more height than the screen has:
// it grows as far as the screen allows, the buttons staying in reach, and the interaction grid
// gives up rows so that nothing else needs scrolling.
TEST(MethodSheetDialog, ALargeSheetGrowsOnlyAsFarAsTheScreenAndItsGridsGiveUpHeight) {
    test::UiApp();
    SetupDoc d;
    for (int i = 0; i < 18; ++i) d.Add(kChanComposition, "Mineral " + std::to_string(i));
    SegmentationSheet sheet(d.P());
    ASSERT_GE(sheet.Compositions(), 20);
    MethodSheetDialog dlg(sheet, "rock", d.prompt);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    ExpectReachable(dlg, "opened");
    const QSize opened = dlg.size();
    for (int i = 1; i < dlg.RangeCombo()->count(); ++i) {
        dlg.RangeCombo()->setCurrentIndex(i);
        Q_EMIT dlg.RangeCombo()->activated(i);
        ExpectReachable(dlg, "range " + std::to_string(i));
    }
    EXPECT_GT(dlg.height(), opened.height());  // it grew to show the tabs
    EXPECT_EQ(dlg.minimumSize(), opened);
    test::SettleLayout();
    ASSERT_TRUE(dlg.Tabs()->isVisible());
    ListGridWidget* shell = dlg.ShellGridWidget(0);
    EXPECT_LT(shell->height(), shell->sizeHint().height());
    EXPECT_GE(shell->height(), shell->minimumHeight());
    EXPECT_LE(dlg.Page()->widget()->height(), dlg.Page()->viewport()->height());
}

// A sheet that grows near the bottom of the screen moves up rather than past the screen's edge.
TEST(MethodSheetDialog, ASheetGrowingNearTheBottomMovesUp) {
    test::UiApp();
    SetupDoc d;
    for (int i = 0; i < 10; ++i) d.Add(kChanComposition, "Mineral " + std::to_string(i));
    LinearSheet sheet(d.P());
    MethodSheetDialog dlg(sheet, "rock", d.prompt);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const QRect screen = dlg.screen()->availableGeometry();
    const QMargins frame = WindowFrameMargins(&dlg);
    dlg.setGeometry(
        QRect(QPoint(screen.left() + frame.left(), screen.bottom() + 1 - dlg.height() - frame.bottom()),
              dlg.size()));
    const int top = dlg.y();
    ExpectReachable(dlg, "moved down");
    dlg.Check("Minimise CT Error")->click();
    dlg.Check("Minimise Self Energy")->click();
    ASSERT_TRUE(dlg.Grid("Composition Self Energies")->isVisible());
    ExpectReachable(dlg, "both ticked");
    EXPECT_LT(dlg.y(), top);
}

// The page's rows stay together whatever the sheet shows: a section hidden leaves no band wider
// than the style's spacing between the controls still shown, and the room it had goes below them.
void ExpectRowsTogether(MethodSheetDialog& dlg, const std::string& when) {
    SCOPED_TRACE(when);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const test::LayoutGap gap = test::LargestRowGap(dlg.Page()->widget());
    EXPECT_LE(gap.height, test::RowGapAllowed(&dlg))
        << gap.height << " px between " << gap.above << " and " << gap.below;
    ExpectReachable(dlg, when);
}

std::unique_ptr<MethodSheet> SheetFor(SheetKind kind, SetupDoc& d, int compositions) {
    for (int i = MakeMethodSheet(kind, d.P())->Compositions(); i < compositions; ++i)
        d.Add(kChanComposition, "Mineral " + std::to_string(i));
    return MakeMethodSheet(kind, d.P());
}

void ChooseRange(MethodSheetDialog& dlg, int range) {
    dlg.RangeCombo()->setCurrentIndex(range);
    Q_EMIT dlg.RangeCombo()->activated(range);
}

TEST(MethodSheetDialog, HidingASectionKeepsTheRowsTogether) {
    test::UiApp();
    for (int compositions : {12, 20}) {
        SCOPED_TRACE(std::to_string(compositions) + " compositions");
        SetupDoc d;
        d.P().interactWithPreviousState = true;
        std::unique_ptr<MethodSheet> linear = SheetFor(SheetKind::Linear, d, compositions);
        {
            MethodSheetDialog dlg(*linear, "rock", d.prompt);
            dlg.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
            ExpectRowsTogether(dlg, "linear, opened");
            dlg.Check("Interaction with Previous State")->click();
            ASSERT_FALSE(dlg.Tabs()->isVisible());
            ExpectRowsTogether(dlg, "linear, interaction unticked");
            dlg.Check("Interaction with Previous State")->click();
            dlg.Check("Minimise CT Error")->click();
            dlg.Check("Minimise Self Energy")->click();
            ChooseRange(dlg, 2);
            ExpectRowsTogether(dlg, "linear, every section");
            ASSERT_TRUE(dlg.Apply());
        }
        {
            MethodSheetDialog dlg(*linear, "rock", d.prompt);
            dlg.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
            dlg.Check("Interaction with Previous State")->click();
            ExpectRowsTogether(dlg, "linear, reopened and interaction unticked");
            ASSERT_TRUE(dlg.Grid("Composition Self Energies")->isVisible());
            if (compositions == 12) Screenshot(&dlg, "setup_sheet_linear_interaction_hidden");
        }
        std::unique_ptr<MethodSheet> segmentation = SheetFor(SheetKind::Segmentation, d, compositions);
        {
            MethodSheetDialog dlg(*segmentation, "rock", d.prompt);
            dlg.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
            ChooseRange(dlg, 3);
            ChooseRange(dlg, 0);
            ASSERT_FALSE(dlg.Tabs()->isVisible());
            ExpectRowsTogether(dlg, "segmentation, range back to intra-voxel");
            if (compositions == 12) Screenshot(&dlg, "setup_sheet_segmentation_range_back");
        }
        std::unique_ptr<MethodSheet> nonlinear = SheetFor(SheetKind::Nonlinear, d, compositions);
        {
            MethodSheetDialog dlg(*nonlinear, "rock", d.prompt);
            dlg.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
            ChooseRange(dlg, 3);
            ExpectRowsTogether(dlg, "nonlinear, range 3");
            ChooseRange(dlg, 0);
            ASSERT_FALSE(dlg.Edit("No. of Iterations:")->isVisible());
            ExpectRowsTogether(dlg, "nonlinear, range back to intra-voxel");
        }
    }
}

TEST(PropertyDialogs, ExtrapolationExportThenImportThroughTheButtons) {
    test::UiApp();
    SetupDoc d(true);
    SetupComputationState s(*d.doc);
    PropertyMethodSettings rec = s.NewRecord(kScalarExtrapolation);
    ScalarExtrapDialog dlg(rec, d.prompt);
    EXPECT_FALSE(dlg.Button("Export")->isEnabled());
    const float rows[3][4] = {{1, 0, 0, 0.5f}, {0, 1, 0, 2}, {0, 0, 1, 7}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) Q_EMIT dlg.Data()->cellEdited(r, c, QString::number(rows[r][c]));
    EXPECT_EQ(dlg.Data()->rowCount(), 4);  // and the empty row
    EXPECT_TRUE(dlg.Button("Export")->isEnabled());
    dlg.WeightEdit(1)->setText("0.25");
    const std::string path =
        (std::filesystem::temp_directory_path() /
         ("setup_extrap_" + std::to_string(reinterpret_cast<std::uintptr_t>(&dlg)) + ".txt"))
            .string();
    dlg.chooseFile = [&](bool) { return path; };
    dlg.show();
    Screenshot(&dlg, "setup_property_extrapolation");
    dlg.Export();
    const auto before = dlg.Model().Columns();
    d.prompt.QueueAnswer(kPromptOk);
    dlg.Clear();
    EXPECT_EQ(dlg.Data()->rowCount(), 1);
    dlg.Import();
    EXPECT_EQ(dlg.Model().Columns(), before);
    EXPECT_EQ(dlg.WeightEdit(1)->text(), "0.250000");
    std::ofstream(path) << "2,1\n";
    d.prompt.QueueAnswer(kPromptOk);
    dlg.Import();
    EXPECT_EQ(Last(d.prompt), std::string(setupmsg::kCompositionCountMismatch) + " " + path);
    EXPECT_EQ(dlg.Model().Columns(), before);
    std::filesystem::remove(path);
}

TEST(PropertyDialogs, AnalyticMapAndLinkedClusters) {
    test::UiApp();
    SetupDoc d(true);
    SetupComputationState s(*d.doc);
    ScalarAnalyticDialog a(s.NewRecord(kScalarAnalyticMap), d.prompt);
    Q_EMIT a.Inputs()->cellEdited(1, 0, "2.5");
    Q_EMIT a.Inputs()->cellEdited(2, 0, "abc");
    EXPECT_EQ(Last(d.prompt), setupmsg::kPropertyValueReal);
    a.show();
    Screenshot(&a, "setup_property_analytic");
    a.accept();
    EXPECT_EQ(a.Record().compositions[1].value, 2.5f);
    EXPECT_EQ(a.Record().outputChannel, "Density");

    LinkedClusterDialog c(s.NewRecord(kLinkedClusterAnalysis), d.prompt);
    EXPECT_EQ(c.Bound()->currentText(), "<None exist>");
    EXPECT_FALSE(c.Bound()->isEnabled());
    c.show();
    Screenshot(&c, "setup_property_clusters");
    LinkedClusterFields f = c.Fields();
    f.output = f.input;
    c.SetFields(f);
    c.accept();
    EXPECT_EQ(c.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace zun
