// Every window on a laptop's screen: on a 1366 x 768 desktop with a window manager, each window
// the window tests show opens with its whole frame inside the screen's available area, and the
// smallest size it can be given fits there too, so its buttons can always be reached; its number
// fields show a whole value of their kind at the size the window opens with. The frames
// are measured with xwininfo once the window manager has framed the window. The program runs
// itself on a private desktop of that size (tests/script/wm_session.sh).

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QtTest/QTest>

#include "../guitest.h"
#include "app/ui/childframe.h"
#include "app/ui/helpwindow.h"
#include "app/ui/logwindow.h"
#include "app/ui/pluginlist.h"
#include "app/ui/prefsheet.h"
#include "app/ui/zunmessage.h"
#include "compute/devices.h"
#include "compute/propertysettings.h"
#include "document/setdata.h"
#include "energyopt/dialogvars.h"
#include "energyopt/problem.h"
#include "energyopt/ui/energyoptdialog.h"
#include "foundation/ui/progressdialog.h"
#include "model/sample.h"
#include "numberfields.h"
#include "platform/inifile.h"
#include "plot/compoundprops.h"
#include "plot/histogrammodel.h"
#include "plot/imageimport.h"
#include "plot/statslisting.h"
#include "plot/tomographyprops.h"
#include "plot/ui/attenmatrixdialog.h"
#include "plot/ui/channelinfodialog.h"
#include "plot/ui/compoundgraph.h"
#include "plot/ui/compoundpropsdialog.h"
#include "plot/ui/compoundtextdialog.h"
#include "plot/ui/histogramdialog.h"
#include "plot/ui/imageimportdialog.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/statslistingdialog.h"
#include "plot/ui/tomographypropsdialog.h"
#include "plot/ui/usernotesdialog.h"
#include "plot/ui/xraypropertiesdialog.h"
#include "plot/xrayproperties.h"
#include "script/ui/editdatadialog.h"
#include "setup/methodsheet.h"
#include "setup/setupdoc.h"
#include "setup/setupstate.h"
#include "setup/ui/methodsheetdialog.h"
#include "setup/ui/propertydialogs.h"
#include "setup/ui/setupdialog.h"
#include "tools/boundarytransform.h"
#include "tools/boundarywizard.h"
#include "tools/channelalign.h"
#include "tools/channelgradient.h"
#include "tools/channelname.h"
#include "tools/channeltoolsteps.h"
#include "tools/deviceselection.h"
#include "tools/mapchannel.h"
#include "tools/movingaveragemodel.h"
#include "tools/normalisemodel.h"
#include "tools/samplegrid.h"
#include "tools/setdatadialog.h"
#include "tools/thresholdseg.h"
#include "tools/ui/addboundsheet.h"
#include "tools/ui/channelaligndialog.h"
#include "tools/ui/channelgradientdialog.h"
#include "tools/ui/chanpropertiesdialog.h"
#include "tools/ui/mapchanneldialog.h"
#include "tools/ui/movingaveragedialog.h"
#include "tools/ui/normaliserangedialog.h"
#include "tools/ui/renamechanneldialog.h"
#include "tools/ui/samplegriddialog.h"
#include "tools/ui/selectgpudialog.h"
#include "tools/ui/setdatadialogui.h"
#include "tools/ui/thresholddialog.h"
#include "tools/ui/transbounddialog.h"
#include "uilayout.h"
#include "uitest.h"
#include "view3d/animationrecorder.h"
#include "view3d/ui/advancedsettings.h"
#include "view3d/ui/animationrecording.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/exportweb3ddialog.h"
#include "view3d/ui/imageexportdialog.h"
#include "view3d/ui/movierecording.h"
#include "view3d/ui/zunview.h"
#include "view3d/web3doptions.h"
#include "xframes.h"

using namespace zun;
using test::MeasuredFrame;
using test::Text;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

// Framed by the window manager (on the server, a frame larger than the window holds it),
// answered by the program (a window it puts back on the screen has done so), and the program's
// frame is the server's. Under load Qt may keep a frame of no size for a window the server has
// framed; the server's frame is what a user sees, and what is measured.
bool Settled(const QWidget* w) {
    if (!w->isVisible()) return false;
    if (w->findChild<QObject*>("zunFrameWatch", Qt::FindDirectChildrenOnly)) return false;
    const QRect server = MeasuredFrame(w);
    if (!server.contains(w->geometry()) || server.size() == w->geometry().size()) return false;
    return w->frameGeometry() == server || !w->frameGeometry().contains(w->geometry());
}

// The least size the window can be given: its own minimum, or its layout's when larger.
QSize LeastSize(const QWidget* w) {
    QSize least = w->minimumSize();
    if (const QLayout* l = w->layout(); l && l->sizeConstraint() != QLayout::SetNoConstraint)
        least = least.expandedTo(l->totalMinimumSize());
    return least;
}

void CheckFits(QWidget* w, const std::string& name) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(test::WaitFor([&] { return Settled(w); }, 60000))
        << "not framed: visible " << w->isVisible() << ", geometry " << Text(w->geometry()) << ", frame "
        << Text(w->frameGeometry()) << ", on the server " << Text(MeasuredFrame(w)) << ", watched "
        << (w->findChild<QObject*>("zunFrameWatch", Qt::FindDirectChildrenOnly) != nullptr);
    const QRect screen = w->screen()->availableGeometry();
    const QRect frame = MeasuredFrame(w);
    const QSize decoration = frame.size() - w->geometry().size();
    const QSize least = LeastSize(w) + decoration;
    std::cout << "[ measured ] " << name << ": frame " << Text(frame) << ", least frame " << Text(least)
              << " on " << Text(screen) << "\n";
    EXPECT_TRUE(screen.contains(frame)) << Text(frame) << " on " << Text(screen);
    EXPECT_LE(least.width(), screen.width()) << Text(least);
    EXPECT_LE(least.height(), screen.height()) << Text(least);
    for (const test::NumberFieldCheck& c : test::CheckNumberFields(w)) {
        std::cout << "[ measured ] " << name << ": " << c.field << " in " << c.width << " px\n";
        EXPECT_TRUE(c.whole) << c.field << " cut in a field of " << c.width << " px";
    }
}

// The windows whose pictures on the screen are kept.
const std::map<std::string, std::string> kDesktopShots = {
    {"Energy Properties", "fit-energy-properties-desktop"},
    {"Setup Computation, sixteen plug-ins", "fit-setup-computation-desktop"},
    {"Nonlinear sheet, twelve compositions", "fit-nonlinear-sheet-desktop"},
};

// What the windows are made of: the example document, a set-up document with every section, the
// prompt and the preferences they answer to.
struct Desktop : test::AppFixture {
    std::unique_ptr<test::SetupDoc> setup;
    std::unique_ptr<SetupComputationState> setupState;
    std::unique_ptr<TomographyPropsModel> tomography;
    std::unique_ptr<test::SetupDoc> manyChannels;
    std::unique_ptr<MethodSheet> methodSheet;
    std::unique_ptr<BoundaryWizard> wizard;
    std::unique_ptr<SetupSampleGrid> sampleGrid;
    std::unique_ptr<ComputeDeviceSet> devices;
    std::unique_ptr<DeviceSelection> deviceSelection;
    EnergyOpt::DialogVars energy;
    ZunPreferences preferences;
    IniFile ini;

    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs the private desktop";
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->show();
        ASSERT_NE(app->OpenDocumentFile(kExample), nullptr);
        // The 3-D view's first frame may make the main window anew, and the window manager then
        // takes it over for a moment: the windows measured here open on a settled desktop.
        auto* view = qobject_cast<CZunView*>(app->MainFrame()->ActiveChild()->ViewPane());
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(test::WaitFor([&] { return view->FramesPainted() > 0; }, 60000));
        ASSERT_TRUE(test::WaitFor([&] { return Settled(app->MainFrame()); }, 60000));
    }
    void TearDown() override {
        tomography.reset();
        AppFixture::TearDown();
    }
    QWidget* Main() { return app->MainFrame(); }
    CZunDoc& Doc() { return *app->ActiveDocument(); }

    // The Setup Computation dialog of a document with property and boundary channels and sixteen
    // of twenty plug-ins shown.
    std::unique_ptr<QWidget> FullSetup() {
        setup = std::make_unique<test::SetupDoc>(true, true);
        setup->doc->SetPlugins(true, {});
        PropertyMethodSettings rec;
        rec.kind = kScalarExtrapolation;
        setup->doc->GetModel().PropertyMethods() = {rec};
        setupState = std::make_unique<SetupComputationState>(*setup->doc);
        for (int i = 0; i < 20; ++i) {
            PluginRunEntry e;
            e.name = "filter" + std::to_string(i % 5);
            e.description = "Smoothing filter " + std::to_string(i % 5);
            e.duplicateIndex = i / 5;
            setupState->plugins.push_back(e);
        }
        setupState->SetJobs({true, true, true});
        auto plugins = [](std::vector<PluginRunEntry>& list, bool job, QWidget* parent) {
            auto* w = new PluginListWidget(list, job, parent);
            return PluginSection{w, [w] { return w->Model().Job(); }};
        };
        return std::make_unique<SetupComputationDialog>(*setupState, prompt, Main(), plugins);
    }

    std::unique_ptr<QWidget> EnergySheet() {
        energy.compositionNames = {"Void", "A", "B"};
        for (EnergyOpt::PageSetting& p : energy.pages) {
            p.targetMixtures.Resize(1, 3);
            p.targetMixtures(0, 1) = 1;
        }
        energy.beamDomains[0] = {2, 20, 100};
        energy.evaluationEnergies = {{30, 0}, {90, 0}};
        auto sheet = std::make_unique<EnergyOpt::EnergyOptDialog>(
            energy, std::vector<std::string>{"Void", "A", "B"}, [](const EnergyOpt::DialogVars&) {},
            EnergyOpt::EnergyOptSheetServices{[] { return std::vector<EnergyOpt::MaterialFunctions>{}; },
                                              &prompt},
            Main());
        sheet->setWindowTitle("phantom: Multiple Channel Energy Properties");
        return sheet;
    }

    std::unique_ptr<QWidget> MethodSheetOf(SheetKind kind) {
        if (!setup) setup = std::make_unique<test::SetupDoc>(true, true);
        methodSheet = MakeMethodSheet(kind, setup->P());
        return std::make_unique<MethodSheetDialog>(*methodSheet, "phantom", prompt, Main());
    }

    // A sheet for a document of twelve compositions and six CT channels: its grids scroll.
    std::unique_ptr<QWidget> LargeMethodSheet(SheetKind kind) {
        manyChannels = std::make_unique<test::SetupDoc>();
        for (int i = 0; i < 10; ++i) manyChannels->Add(kChanComposition, "Mineral " + std::to_string(i));
        for (int i = 0; i < 4; ++i) manyChannels->Add(kChanCt, "CT " + std::to_string(100 + 20 * i));
        methodSheet = MakeMethodSheet(kind, manyChannels->P());
        return std::make_unique<MethodSheetDialog>(*methodSheet, "rock", prompt, Main());
    }

    // A sheet for a document of `compositions` compositions and two CT channels.
    std::unique_ptr<MethodSheetDialog> SheetOf(SheetKind kind, int compositions) {
        methodSheet.reset();
        manyChannels = std::make_unique<test::SetupDoc>();
        for (int i = MakeMethodSheet(kind, manyChannels->P())->Compositions(); i < compositions; ++i)
            manyChannels->Add(kChanComposition, "Mineral " + std::to_string(i));
        methodSheet = MakeMethodSheet(kind, manyChannels->P());
        EXPECT_EQ(methodSheet->Compositions(), compositions);
        return std::make_unique<MethodSheetDialog>(*methodSheet, "rock", prompt, Main());
    }

    // The sheet's page keeps its rows together: no blank band between two rows of controls wider
    // than the style's spacing, whatever is hidden.
    static void CheckRows(MethodSheetDialog* sheet, const std::string& name) {
        SCOPED_TRACE(name);
        test::SettleLayout();
        const test::LayoutGap gap = test::LargestRowGap(sheet->Page()->widget());
        std::cout << "[ measured ] " << name << ": largest band between rows " << gap.height << " px ("
                  << gap.above << " / " << gap.below << ")\n";
        EXPECT_LE(gap.height, test::RowGapAllowed(sheet)) << gap.above << " / " << gap.below;
    }

    // Hides the sheet's section that can be hidden, as a user does: the interaction switch of the
    // linear sheet unticked, the range of the others set back to intra-voxel with the keys.
    void HideSection(MethodSheetDialog* sheet, SheetKind kind) {
        if (kind == SheetKind::Linear) {
            QCheckBox* box = sheet->Check("Interaction with Previous State");
            ASSERT_TRUE(box->isChecked());
            test::ClickBox(box);
            ASSERT_FALSE(box->isChecked());
            return;
        }
        QComboBox* range = sheet->RangeCombo();
        range->setFocus();
        while (range->currentIndex() > 0) QTest::keyClick(range, Qt::Key_Up);
        ASSERT_EQ(methodSheet->RangeSelection(), 0);
    }

    // Opens the sheet, then makes each change as a user does (a switch ticked, a range chosen, the
    // section that can be hidden hidden again), checking its frame, least size and rows at
    // opening, after every change and when it opens again with the changes stored. The pictures
    // are taken after the changes named in `shots`.
    void ChangeSheet(SheetKind kind, int compositions, const std::string& name,
                     const std::vector<const char*>& ticks, const std::map<std::string, std::string>& shots) {
        std::unique_ptr<MethodSheetDialog> sheet = SheetOf(kind, compositions);
        const std::string title = name + ", " + std::to_string(compositions) + " compositions";
        sheet->show();
        CheckFits(sheet.get(), title);
        CheckRows(sheet.get(), title);
        auto checked = [&](const std::string& change) {
            CheckFits(sheet.get(), title + ", " + change);
            CheckRows(sheet.get(), title + ", " + change);
            if (auto shot = shots.find(change); shot != shots.end())
                test::SaveDesktopShowing(sheet.get(), shot->second + "-" + std::to_string(compositions));
        };
        if (kind == SheetKind::Linear) {
            // The interaction section, shown at opening, hidden straight away and shown again.
            HideSection(sheet.get(), kind);
            checked("opened, section hidden");
            test::ClickBox(sheet->Check("Interaction with Previous State"));
        }
        for (const char* label : ticks) {
            QCheckBox* box = sheet->Check(label);
            ASSERT_NE(box, nullptr) << label;
            if (box->isChecked()) continue;
            test::ClickBox(box);
            ASSERT_TRUE(box->isChecked()) << label;
            checked(label);
        }
        QComboBox* range = sheet->RangeCombo();
        ASSERT_TRUE(range->isVisible());
        range->setFocus();
        while (range->currentIndex() > 0) QTest::keyClick(range, Qt::Key_Up);
        for (int i = 1; i < range->count(); ++i) {
            QTest::keyClick(range, Qt::Key_Down);
            ASSERT_EQ(methodSheet->RangeSelection(), i);
            checked("range " + std::to_string(i));
        }
        // Stored, the sheet opens again in its largest state.
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        ASSERT_FALSE(sheet->ApplyButton()->isEnabled()) << LastMessage();
        HideSection(sheet.get(), kind);
        checked("section hidden");
        sheet->hide();
        sheet.reset();
        methodSheet = MakeMethodSheet(kind, manyChannels->P());
        sheet = std::make_unique<MethodSheetDialog>(*methodSheet, "rock", prompt, Main());
        sheet->show();
        CheckFits(sheet.get(), title + ", reopened");
        CheckRows(sheet.get(), title + ", reopened");
        HideSection(sheet.get(), kind);
        checked("reopened, section hidden");
        sheet->hide();
        sheet.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::unique_ptr<QWidget> Histogram() {
        std::vector<HistogramSliceEntry> slices;
        for (int z = 0; z < 24; ++z) slices.push_back({"CT 40 keV", z});
        auto d = std::make_unique<HistogramDialog>(Doc(), "CT 40 keV Histogram", slices, Main());
        return d->Opened() ? std::move(d) : nullptr;
    }

    std::unique_ptr<QWidget> BoundaryWizardSheet() {
        wizard = std::make_unique<BoundaryWizard>(Doc(), std::vector<std::string>{"edge"});
        return std::make_unique<AddBoundSheet>(*wizard, Doc().GetSample().GetChanCount(), Main());
    }

    std::unique_ptr<QWidget> CtProperties() {
        ZunImage& sample = Doc().GetSample();
        int ct = -1;
        for (int i = 0; i < sample.GetChanCount() && ct < 0; ++i)
            if (sample.GetChan(i)->kind == ZunChan::kXrayCt) ct = i;
        if (ct < 0) return nullptr;
        tomography = std::make_unique<TomographyPropsModel>(Doc(), ct, &prompt);
        if (!tomography->Open()) return nullptr;
        return std::make_unique<TomographyPropsDialog>(*tomography, Main());
    }

    std::unique_ptr<QWidget> Preferences() {
        ini.SetPath(tmp.File("prefs.ini"));
        preferences.plugins.searchList = {"/usr/lib/zun/plugins", "/home/user/plugins"};
        return std::make_unique<ZunPrefs>(
            preferences, ini, prompt, [] {}, Main());
    }

    // Shows each window, checks its frame, and closes it before the next.
    void CheckEach(
        const std::vector<std::pair<std::string, std::function<std::unique_ptr<QWidget>()>>>& windows) {
        for (const auto& [name, make] : windows) {
            std::unique_ptr<QWidget> w = make();
            if (!w) {
                ADD_FAILURE() << name << " did not open";
                continue;
            }
            w->show();
            CheckFits(w.get(), name);
            if (auto shot = kDesktopShots.find(name); shot != kDesktopShots.end())
                test::SaveDesktopShowing(w.get(), shot->second);
            w->hide();
            w.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
};

}  // namespace

TEST_F(Desktop, TheMainAndDocumentWindowsFitTheScreen) {
    CheckFits(Main(), "main window");
    QMdiArea* area = app->MainFrame()->MdiArea();
    ASSERT_FALSE(area->subWindowList().isEmpty());
    const QRect room(QPoint(0, 0), area->viewport()->size());
    for (QMdiSubWindow* w : area->subWindowList())
        EXPECT_TRUE(room.contains(w->geometry())) << Text(w->geometry()) << " in " << Text(room);
    app->ShowLog(app->ActiveDocument());
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<CLogFrame*>(w) && w->isVisible()) CheckFits(w, "log window");
}

TEST_F(Desktop, TheDisplayControlPanelAndItsAdvancedSettingsFitTheScreen) {
    Trigger("viewControlPanel");
    ImageControlFloatingDialog* panel = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<ImageControlFloatingDialog*>(w); p && p->isVisible()) panel = p;
        return panel != nullptr;
    }));
    CheckFits(panel, "display control panel");
    test::SaveDesktopShowing(panel, "fit-control-panel-desktop");
    panel->OnMore();
    ASSERT_NE(panel->AdvancedSettings(), nullptr);
    CheckFits(panel->AdvancedSettings(), "advanced view settings");
}

TEST_F(Desktop, TheSheetsAndSetupDialogsFitTheScreen) {
    CheckEach({
        {"Energy Properties", [&] { return EnergySheet(); }},
        {"Setup Computation, sixteen plug-ins", [&] { return FullSetup(); }},
        {"Segmentation sheet", [&] { return MethodSheetOf(SheetKind::Segmentation); }},
        {"Linear sheet", [&] { return MethodSheetOf(SheetKind::Linear); }},
        {"Nonlinear sheet", [&] { return MethodSheetOf(SheetKind::Nonlinear); }},
        {"Scalar extrapolation",
         [&] {
             PropertyMethodSettings rec;
             rec.kind = kScalarExtrapolation;
             return std::make_unique<ScalarExtrapDialog>(rec, prompt, Main());
         }},
        {"Linked clusters",
         [&] {
             PropertyMethodSettings rec;
             return std::make_unique<LinkedClusterDialog>(rec, prompt, Main());
         }},
        {"Preferences", [&] { return Preferences(); }},
        {"Segmentation sheet, twelve compositions",
         [&] { return LargeMethodSheet(SheetKind::Segmentation); }},
        {"Linear sheet, twelve compositions", [&] { return LargeMethodSheet(SheetKind::Linear); }},
        {"Nonlinear sheet, twelve compositions", [&] { return LargeMethodSheet(SheetKind::Nonlinear); }},
    });
}

// The sheets grow as sections are shown and interaction pages added: each change keeps the whole
// frame on the screen and a least size that fits.
TEST_F(Desktop, TheMethodSheetsStayOnTheScreenAsTheyChange) {
    for (int compositions : {7, 12, 20})
        ChangeSheet(SheetKind::Segmentation, compositions, "Segmentation sheet", {},
                    {{"range 3", "fit-segmentation-sheet-range-3-desktop"},
                     {"section hidden", "fit-segmentation-sheet-range-back-desktop"}});
    for (int compositions : {12, 20}) {
        ChangeSheet(SheetKind::Linear, compositions, "Linear sheet",
                    {"Minimise CT Error", "Minimise Self Energy", "Interaction with Previous State"},
                    {{"Minimise Self Energy", "fit-linear-sheet-ticked-desktop"},
                     {"opened, section hidden", "fit-linear-sheet-opened-interaction-hidden-desktop"},
                     {"section hidden", "fit-linear-sheet-interaction-hidden-desktop"},
                     {"reopened, section hidden", "fit-linear-sheet-reopened-interaction-hidden-desktop"}});
        ChangeSheet(SheetKind::Nonlinear, compositions, "Nonlinear sheet",
                    {"Constrained Matrix Search", "Constrained Line Search"},
                    {{"range 3", "fit-nonlinear-sheet-every-option-desktop"},
                     {"section hidden", "fit-nonlinear-sheet-range-back-desktop"}});
    }
}

TEST_F(Desktop, TheDocumentsDialogsFitTheScreen) {
    CheckEach({
        {"X-ray CT Properties", [&] { return CtProperties(); }},
        {"Channel Information", [&] { return std::make_unique<ChannelInfoDialog>(Doc(), 0, Main()); }},
        {"User Notes", [&] { return std::make_unique<UserNotesDialog>(Doc(), Main()); }},
        {"User Notes, kept from a larger screen",
         [&] {
             Doc().notesRect = {0, 0, 1900, 1150};
             return std::make_unique<UserNotesDialog>(Doc(), Main());
         }},
        {"X-ray Attenuation Properties",
         [&] {
             return std::unique_ptr<QWidget>(
                 ShowXrayAttenuationProperties(Doc(), {"Water", "Aluminium"}, "", Main()));
         }},
        {"Histogram", [&] { return Histogram(); }},
        {"Add Boundary", [&] { return BoundaryWizardSheet(); }},
        {"Setup Sample Grid",
         [&] {
             sampleGrid = std::make_unique<SetupSampleGrid>(std::array<std::uint32_t, 3>{24, 24, 24},
                                                            std::array<double, 4>{1, 1e-3, 1e-3, 1e-3}, true);
             return std::make_unique<SampleGridDialog>(*sampleGrid, prompt, Main());
         }},
        {"Select Computation Devices",
         [&] {
             devices = std::make_unique<ComputeDeviceSet>(8);
             deviceSelection = std::make_unique<DeviceSelection>(*devices, std::vector<ComputeDeviceEntry>{});
             return std::make_unique<SelectGpuDialog>(*deviceSelection, prompt, Main());
         }},
        {"Record Animation", [&] { return std::make_unique<RecordOptionsDialog>(Main(), RecordOptions{}); }},
        {"Edit Data", [&] { return std::make_unique<script::EditDataDialog>(Doc(), Main()); }},
        {"Image export",
         [&] { return std::make_unique<ImageExportDialog>(Main(), tmp.Path().string(), &prompt); }},
        {"Computation recording",
         [&] {
             return std::make_unique<ComputationRecordingDialog>(
                 Main(), "Record Computation", QString::fromStdString(tmp.Path().string()), 25, false);
         }},
        {"Message with a report",
         [&] {
             std::string report;
             for (int i = 0; i < 200; ++i) report += "Line " + std::to_string(i) + " of the report\n";
             return std::make_unique<ZunMessage>("Zun", "The computation reported errors.", report, 0,
                                                 Main());
         }},
    });
}

TEST_F(Desktop, TheChannelToolsFitTheScreen) {
    const int ct = Doc().GetSample().FindChanIndex("CT 40 keV");
    ASSERT_GE(ct, 0);
    // The models outlive their windows.
    ChannelAlignModel align(Doc(), ct, Doc().GetSample().FindChanIndex("CT 80 keV"));
    MovingAverageModel average(Doc(), ct);
    NormaliseModel normalise(Doc(), ct);
    CThresholdSegmentation threshold;
    ASSERT_EQ(threshold.Prepare(Doc(), "CT 40 keV", ct), 0);
    SetDataRequest request;
    ASSERT_TRUE(Doc().PrepareSetData({"CT 40 keV"}, request));
    CChanSetData setData(Doc(), request);
    MapDataSpec map;
    map.inputChannel = ct;
    map.outputChannel = Doc().GetSample().FindChanIndex("Water");
    BoundaryTransform transform(Doc(), {"edge"});
    XrayPropertiesModel xray;
    ImageImportOptions import;
    GradientSettingsStore gradientSettings;
    std::vector<int> kinds;
    for (int i = 0; i < Doc().GetSample().GetChanCount(); ++i)
        kinds.push_back(Doc().GetSample().GetChan(i)->kind);
    GradientParsModel gradient(Doc().GetSample().GetChanNames(), kinds, ct,
                               gradientSettings.Get("CT 40 keV"));
    CompoundPropsModel composition(Doc(), Doc().GetSample().FindChanIndex("Water"), &prompt);
    PluginRunEntry plugin;
    plugin.name = "Porosity";
    plugin.description = "Pore size distribution of the composition channels";
    CheckEach({
        {"Channel alignment", [&] { return std::make_unique<ChannelAlignDialog>(align, prompt, Main()); }},
        {"Channel gradient",
         [&] { return std::make_unique<ChannelGradientDialog>(gradient, prompt, Main()); }},
        {"Composition Properties",
         [&] { return std::make_unique<CompoundPropsDialog>(composition, Main()); }},
        {"Moving average", [&] { return std::make_unique<MovingAverageDialog>(average, prompt, Main()); }},
        {"Normalise range",
         [&] { return std::make_unique<NormaliseRangeDialog>(normalise, prompt, Main()); }},
        {"Threshold segmentation",
         [&] { return std::make_unique<ThresholdSegmentationDialog>(threshold, Main()); }},
        {"Set data", [&] { return std::make_unique<ChanSetDataDialog>(setData, Main()); }},
        {"Map channel data", [&] { return std::make_unique<MapChannelDataDialog>(Main(), Doc(), map); }},
        {"Boundary transform", [&] { return std::make_unique<TransBoundDialog>(transform, Doc(), Main()); }},
        {"Rename channel",
         [&] { return std::make_unique<RenameChannelDialog>(RenameChannelForm(Doc(), 1), prompt, Main()); }},
        {"X-ray Properties", [&] { return std::make_unique<XrayPropertiesDialog>(xray, Main()); }},
        {"Image import", [&] { return std::make_unique<ImageImportDialog>(import, &prompt, Main()); }},
        {"Plug-in About", [&] { return std::make_unique<PluginAbout>(plugin, Main()); }},
        {"Plug-in parameters", [&] { return std::make_unique<PluginParams>(plugin, Main()); }},
        {"Scalar analytic map",
         [&] {
             PropertyMethodSettings rec;
             return std::make_unique<ScalarAnalyticDialog>(rec, prompt, Main());
         }},
    });
}

// The import dialog of a CT channel whose attenuation range is entered by hand, at the size it
// opens with: each coefficient typed reads back whole, as does the beam energy beside the rescale
// switch.
TEST_F(Desktop, TheImportDialogOfACtChannelShowsTheCoefficientsTypedWhole) {
    const int ct = Doc().GetSample().FindChanIndex("CT 40 keV");
    ASSERT_GE(ct, 0);
    ImageImportOptions options = ImageImportOptions::FromChannel(Doc(), ct, true);
    ASSERT_TRUE(options.ctChannel);
    options.autoGenerate = false;
    options.energy = 123.456f;
    options.Open();
    ImageImportDialog dialog(options, &prompt, Main());
    dialog.setDirectory(QString::fromStdString(tmp.Path().string()));
    dialog.show();
    CheckFits(&dialog, "Image import, CT channel");
    ASSERT_TRUE(dialog.lacZero->isEnabled());
    ASSERT_TRUE(dialog.lacOne->isEnabled());
    for (QLineEdit* e : {dialog.lacZero, dialog.lacOne}) {
        test::Retype(e, "3.27675");
        EXPECT_TRUE(test::detail::ShowsWhole(e, e->text()))
            << e->text().toStdString() << " in " << e->width();
        EXPECT_TRUE(test::detail::ShowsWhole(e, kRealFieldSample)) << e->width();
    }
    EXPECT_TRUE(test::detail::ShowsWhole(dialog.energy, kRealFieldSample)) << dialog.energy->width();
    std::cout << "[ measured ] Image import, CT channel: coefficient fields " << dialog.lacZero->width()
              << " and " << dialog.lacOne->width() << " px, energy " << dialog.energy->width()
              << " px, dialog " << Text(dialog.size()) << "\n";
    test::SaveDesktopShowing(&dialog, "fit-image-import-ct-desktop");
    dialog.hide();
}

TEST_F(Desktop, TheAttenuationWindowsAndSmallDialogsFitTheScreen) {
    std::unique_ptr<CompoundTextDialog> attenuation(
        ShowXrayAttenuationProperties(Doc(), {"Water", "Aluminium"}, "", Main()));
    ASSERT_NE(attenuation, nullptr);
    attenuation->ShowGraph();
    ASSERT_NE(attenuation->Graph(), nullptr);
    CheckFits(attenuation->Graph(), "Attenuation graph");
    attenuation->ShowMatrix();
    ASSERT_NE(attenuation->Matrix(), nullptr);
    CheckFits(attenuation->Matrix(), "Attenuation matrix");
    attenuation.reset();
    Web3DOptions web;
    StatsListingModel stats(
        [](std::int32_t, int) {
            std::string rows;
            for (int i = 0; i < 300; ++i) rows += "Water    0.25    1.00    0.50\n";
            return rows;
        },
        &prompt);
    CheckEach({
        {"Statistics listing", [&] { return std::make_unique<StatsListingDialog>(stats, Main()); }},
        {"Add filter",
         [&]() -> std::unique_ptr<QWidget> {
             if (!CtProperties()) return nullptr;
             return std::make_unique<AddFilterDialog>(*tomography, Main());
         }},
        {"Help",
         [&] {
             return std::make_unique<HelpWindow>(QString(ZUN_SOURCE_DIR) + "/doc/help/index.html", Main());
         }},
        {"Progress", [&] { return std::make_unique<CProgressBar>(Main()); }},
        {"Channel Properties",
         [&] {
             return std::make_unique<ChanPropertiesDialog>("Channel Properties", "CT 40 keV", prompt, Main());
         }},
        {"Web export",
         [&] {
             return std::make_unique<ExportWeb3DDialog>(Main(), web, [] { return Web3DDocumentFacts{}; });
         }},
    });
}

int main(int argc, char** argv) {
    // A laptop's screen, smaller than the desktop the other window tests use.
    return zun::test::DesktopTestMain(argc, argv, "1366x768x24");
}
