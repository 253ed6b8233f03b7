// The energy-optimisation sheet's widgets: the pages show the model's grids, "Compute Output..."
// follows Apply, a run goes through the progress window and can be cancelled there, and Cancel
// of the sheet writes nothing. Screenshots of both pages.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QHeaderView>

#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "energyopt/analytic.h"
#include "energyopt/energyproperties.h"
#include "energyopt/ui/energyoptdialog.h"
#include "foundation/ui/listcontrols.h"
#include "platform/prompt.h"
#include "uitest.h"

using namespace EnergyOpt;
using namespace EnergyOptTest;

namespace {

QApplication& App() {
    return zun::test::UiApp();
}

std::string Screen(QWidget* w, const std::string& name) {
    const char* env = std::getenv("ZUN_SCREENS_DIR");
    const std::filesystem::path dir = env && *env ? env : "screens";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".png")).string();
    QCoreApplication::processEvents();
    return w->grab().save(QString::fromStdString(path)) ? path : std::string();
}

std::string Text(const zun::ListGridWidget& g, int row, int column) {
    std::string t;
    zun::GridGetCellText(g, row, column, t);
    return t;
}

struct Fixture {
    DialogVars document;
    int commits = 0;
    zun::HeadlessPrompt prompt;
    // (void, A, B) with mu_A = 1 and mu_B = E / 50: for pure A the best energies are the ends.
    std::vector<AnalyticMaterial> materials{{0, 0}, {1, 0, 1, 0}, {0, 1.0 / 50, 0, 100}};
    std::unique_ptr<EnergyOptDialog> sheet;

    Fixture() {
        App();
        // A record set up earlier: pure A on both pages, two energies between 20 and 100 keV.
        document.compositionNames = {"Void", "A", "B"};
        for (PageSetting& p : document.pages) {
            p.targetMixtures.Resize(1, 3);
            p.targetMixtures(0, 0) = 0;
            p.targetMixtures(0, 1) = 1;
            p.targetMixtures(0, 2) = 0;
        }
        document.beamDomains[0] = {2, 20, 100};
        document.maxIterations = 1000;
        document.evaluationEnergies = {{30, 0}, {90, 0}};
        EnergyOptSheetServices services{[this] {
                                            auto f = FunctionsOf(materials);
                                            f[0].isVoid = true;
                                            return f;
                                        },
                                        &prompt};
        sheet = std::make_unique<EnergyOptDialog>(
            document, std::vector<std::string>{"Void", "A", "B"},
            [this](const DialogVars& v) {
                document = v;
                ++commits;
            },
            services);
        sheet->setWindowTitle("phantom: Multiple Channel Energy Properties");
        sheet->show();
    }
};

}  // namespace

TEST(EnergyOptDialog, OptimiseFindsKnownOptimumAndApplyStoresIt) {
    Fixture f;
    EnergyOptPage_0& page = f.sheet->page0();
    EXPECT_EQ(page.maxIterations().text(), "1000");
    EXPECT_TRUE(page.computeButton().isEnabled());
    EXPECT_FALSE(f.sheet->applyButton().isEnabled());

    f.sheet->Compute(0);
    ASSERT_EQ(f.prompt.Requests().size(), 1u);  // the question only: no failure
    EXPECT_EQ(f.prompt.Requests()[0].text, "Compute optimal energies?");
    ASSERT_EQ(page.outputTable().rowCount(), 2);
    std::vector<double> found{std::stod(Text(page.outputTable(), 0, 0)),
                              std::stod(Text(page.outputTable(), 1, 0))};
    std::sort(found.begin(), found.end());
    EXPECT_NEAR(found[0], 20, 1e-3);
    EXPECT_NEAR(found[1], 100, 1e-3);
    EXPECT_FALSE(page.computeButton().isEnabled());
    EXPECT_TRUE(f.sheet->applyButton().isEnabled());
    EXPECT_EQ(f.commits, 0);
    EXPECT_FALSE(Screen(f.sheet.get(), "energyopt_optimise").empty());

    f.sheet->Apply();
    EXPECT_EQ(f.commits, 1);
    EXPECT_EQ(f.document.optimisedEnergies.size(), 2u);
    EXPECT_TRUE(page.computeButton().isEnabled());
}

TEST(EnergyOptDialog, EvaluateShowsMetricsAndCancelWritesNothing) {
    Fixture f;
    f.sheet->tabs().setCurrentIndex(1);
    EnergyOptPage_1& page = f.sheet->page1();
    ASSERT_EQ(page.evaluationTable().rowCount(), 3);  // two energies and the blank row
    f.sheet->Compute(1);
    ASSERT_EQ(page.outputTable().rowCount(), 1);
    EXPECT_EQ(Text(page.outputTable(), 0, 1), "1");
    EXPECT_FALSE(Text(page.outputTable(), 0, 3).empty());  // sensitivity
    EXPECT_EQ(f.sheet->model().Working().metrics.size(), 1u);
    // A selected row leaves every column title whole (no bold title wider than its column).
    zun::ListGridWidget& out = page.outputTable();
    out.selectRow(0);
    QCoreApplication::processEvents();
    QHeaderView* header = out.horizontalHeader();
    QFont shown = header->font();
    if (header->highlightSections()) shown.setBold(true);
    for (int c = 0; c < out.columnCount(); ++c) {
        if (out.isColumnHidden(c)) continue;
        const QString title = out.model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_LE(QFontMetrics(shown).horizontalAdvance(title), header->sectionSize(c) - 6) << c;
    }
    EXPECT_FALSE(Screen(f.sheet.get(), "energyopt_evaluate").empty());

    f.sheet->reject();
    EXPECT_EQ(f.commits, 0);
    EXPECT_TRUE(f.document.metrics.empty());
}

TEST(EnergyOptDialog, ProgressCancelLeavesSheetAsItWas) {
    Fixture f;
    f.sheet->onProgressShown = [](QProgressDialog& progress, EnergyOptJob&) { progress.cancel(); };
    f.sheet->Compute(0);
    EXPECT_EQ(f.prompt.Requests().size(), 1u);  // no failure message for a cancel
    EXPECT_EQ(f.sheet->page0().outputTable().rowCount(), 0);
    EXPECT_TRUE(f.sheet->page0().computeButton().isEnabled());
    EXPECT_FALSE(f.sheet->applyButton().isEnabled());

    // Answering Cancel to the question runs nothing.
    f.prompt.QueueAnswer(zun::kPromptCancel);
    f.sheet->onProgressShown = nullptr;
    f.sheet->Compute(0);
    EXPECT_EQ(f.sheet->page0().outputTable().rowCount(), 0);
}

TEST(EnergyOptDialog, FailureIsReportedAndChangesNothing) {
    Fixture g;
    g.sheet.reset();
    g.document.beamDomains[0] = {0, 20, 100};
    EnergyOptSheetServices services{[&] { return FunctionsOf(g.materials); }, &g.prompt};
    EnergyOptDialog sheet(
        g.document, {"Void", "A", "B"}, [](const DialogVars&) {}, services);
    sheet.Compute(0);
    ASSERT_EQ(g.prompt.Requests().size(), 2u);
    EXPECT_EQ(g.prompt.Requests()[1].text, "Failure: no energies supplied in beam domains");
    EXPECT_EQ(g.prompt.Requests()[1].icon, zun::PromptIcon::Information);
    EXPECT_TRUE(sheet.page0().computeButton().isEnabled());
}

// The document's operation, which both tree entries call: a formula holding elements the
// attenuation method has no data for is refused with the message and no sheet opens; otherwise
// the sheet opens under the document's caption.
TEST(EnergyOptDialog, TheDocumentOperationChecksTheFormulasFirst) {
    App();
    zun::RegisterDocumentClasses();
    RegisterEnergyOptClasses();
    zun::HeadlessPrompt prompt;
    zun::CZunDoc doc{zun::DocServices{&prompt}};
    doc.OnNewDocument();
    for (const auto& [name, formula] : {std::pair{"Water", "H2O"}, std::pair{"Source", "PoO2"}}) {
        ASSERT_EQ(doc.InsertChannel(0, doc.GetSample().CountChansOfKind(zun::ZunChan::kComposition), name),
                  0);
        zun::Compound& c = doc.GetSample().FindChan(name)->compound;
        ASSERT_EQ(c.SetFormula(formula, true), 0);
        c.density = 1.0;
    }
    std::vector<std::string> opened;
    auto closeTheSheet = [&] {
        QTimer::singleShot(0, [&] {
            if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                opened.push_back(sheet->windowTitle().toStdString());
                sheet->reject();
            }
        });
    };
    doc.Settings().attenuationMethod = 0;
    closeTheSheet();
    RunEnergyOptSheet(doc, nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, std::string(kMissingElementData) + "Po");
    EXPECT_EQ(prompt.Requests()[0].icon, zun::PromptIcon::Information);

    doc.Settings().attenuationMethod = 1;
    closeTheSheet();
    RunEnergyOptSheet(doc, nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{doc.GetNameText() + ": Multiple Channel Energy Properties"});
    EXPECT_EQ(prompt.Requests().size(), 1u);
}
