// The energy-optimisation sheet without a window: what the tables accept, when "Compute
// Output..." may run, what Apply writes to the document, and the computations run from the
// sheet on a synthetic problem with a known optimum, including cancelling one.

#include <gtest/gtest.h>

#include <algorithm>

#include "analytic.h"
#include "energyopt/noisemodel.h"
#include "energyopt/optimise.h"
#include "energyopt/sheetmodel.h"
#include "foundation/numformat.h"

using namespace EnergyOpt;
using namespace EnergyOptTest;
using zun::MemoryGridList;

namespace {

std::string Cell(const MemoryGridList& g, int row, int column) {
    std::string t;
    zun::GridGetCellText(g, row, column, t);
    return t;
}

// A sheet over a document record, with the grids its pages show.
struct Sheet {
    DialogVars document;
    int commits = 0;
    std::unique_ptr<EnergyOptSheetModel> model;
    MemoryGridList mixtures[2], domains, optimised, evaluation, metrics;
    std::string iterations;

    explicit Sheet(std::vector<std::string> names) { Open(std::move(names)); }
    void Open(std::vector<std::string> names) {
        model =
            std::make_unique<EnergyOptSheetModel>(document, std::move(names), [this](const DialogVars& v) {
                document = v;
                ++commits;
            });
        for (int p = 0; p < 2; ++p) model->FillMixtureGrid(p, mixtures[p]);
        model->FillBeamDomainGrid(domains);
        model->FillOptimisedGrid(optimised);
        model->FillEvaluationGrid(evaluation);
        model->FillMetricGrid(metrics);
        iterations = model->MaxIterationsText();
    }
    void Apply() {
        model->Apply({&mixtures[0], &domains, iterations, nullptr}, {&mixtures[1], nullptr, "", &evaluation});
        model->FillEvaluationGrid(evaluation);
    }
    // Runs the page's computation the way the sheet does, on the analytic materials.
    std::string Compute(int page, std::vector<AnalyticMaterial>& materials, bool cancel = false) {
        std::vector<MaterialFunctions> f = FunctionsOf(materials);
        f[0].isVoid = true;
        EnergyOptJob job(model->Working(), page, f);
        if (cancel) job.Cancel();
        const int32_t status = job.Run();
        const std::string message = model->Finish(job, status);
        model->FillOptimisedGrid(optimised);
        model->FillMetricGrid(metrics);
        return message;
    }
};

// (void, A, B) with mu_A = 1 and mu_B = E / 50: for pure A the best two energies are the ends.
std::vector<AnalyticMaterial> Materials() {
    return {{0, 0}, {1, 0, 1, 0}, {0, 1.0 / 50, 0, 100}};
}

}  // namespace

TEST(EnergyOptSheet, MixtureTableEditsAndSave) {
    Sheet s({"Fe", "Cu"});
    MemoryGridList& g = s.mixtures[0];
    ASSERT_EQ(zun::GridGetRowCount(g), 3);  // pure Fe, pure Cu, blank
    EXPECT_EQ(Cell(g, 0, 0), "1");
    EXPECT_EQ(Cell(g, 1, 0), "0");
    EXPECT_TRUE(s.model->ComputeEnabled(0));

    EXPECT_FALSE(s.model->EditMixtureCell(0, g, 2, 1, "0.5"));
    EXPECT_EQ(Cell(g, 2, 0), "0");
    EXPECT_EQ(Cell(g, 2, 1), "0.5");
    EXPECT_EQ(zun::GridGetRowCount(g), 4);
    EXPECT_FALSE(s.model->ComputeEnabled(0));
    EXPECT_TRUE(s.model->ComputeEnabled(1));

    for (const char* bad : {"-1", "abc"}) {
        EXPECT_EQ(s.model->EditMixtureCell(0, g, 0, 0, bad), std::string(kMixtureError));
        EXPECT_EQ(Cell(g, 0, 0), "1");
    }
    EXPECT_FALSE(s.model->EditMixtureCell(0, g, 0, 0, ""));  // a cancelled edit changes nothing

    // A row set entirely to zero disappears on Apply, which also lets the page compute again.
    EXPECT_FALSE(s.model->EditMixtureCell(0, g, 1, 1, "0"));
    s.Apply();
    EXPECT_EQ(s.commits, 1);
    EXPECT_TRUE(s.model->ComputeEnabled(0));
    const zun::Matrix<float>& m = s.document.pages[0].targetMixtures;
    ASSERT_EQ(m.Rows(), 2);
    EXPECT_EQ(m(1, 1), 0.5f);
    EXPECT_EQ(zun::GridGetRowCount(g), 3);
    EXPECT_EQ(s.document.compositionNames, (std::vector<std::string>{"Fe", "Cu"}));
}

TEST(EnergyOptSheet, OptimiseInputsAreChecked) {
    Sheet s({"Fe", "Cu"});
    for (const char* bad : {"2.5", "0", "x", "-3"})
        EXPECT_EQ(s.model->CheckMaxIterations(bad), std::string(kIterationsError)) << bad;
    EXPECT_FALSE(s.model->CheckMaxIterations("3"));

    ASSERT_EQ(zun::GridGetRowCount(s.domains), 3);
    EXPECT_EQ(Cell(s.domains, 2, -1), TypeName(2));
    EXPECT_EQ(TypeName(2), "\u03bc and \u03c6");
    EXPECT_EQ(s.model->EditBeamDomainCell(s.domains, 0, 0, "1.5"), std::string(kCountError));
    EXPECT_EQ(s.model->EditBeamDomainCell(s.domains, 0, 1, "-10"), std::string(kLimitError));
    EXPECT_EQ(Cell(s.domains, 0, 1), "0");
    EXPECT_FALSE(s.model->EditBeamDomainCell(s.domains, 0, 0, "2"));
    EXPECT_FALSE(s.model->ComputeEnabled(0));
    // A count past the bound would take the search minutes and gigabytes: refused as no count.
    for (const char* tooMany : {"65", "5000", "1e6", "4294967296"})
        EXPECT_EQ(s.model->EditBeamDomainCell(s.domains, 1, 0, tooMany), std::string(kCountError)) << tooMany;
    EXPECT_FALSE(s.model->EditBeamDomainCell(s.domains, 1, 0, "64"));
    EXPECT_EQ(Cell(s.domains, 1, 0), "64");
    EXPECT_FALSE(s.model->CheckCompute(0));
}

// A record from a file may hold what the cells refuse: "Compute Output..." says so before it
// starts, and the search itself refuses such a count before it allocates anything.
TEST(EnergyOptSheet, CountsPastTheBoundNeverReachTheSearch) {
    Sheet s({"Void", "A", "B"});
    s.document.beamDomains[0] = {5000, 20, 100};
    s.document.maxIterations = 1000;
    s.Open({"Void", "A", "B"});
    EXPECT_EQ(s.model->CheckCompute(0), std::string(kCountError));
    EXPECT_FALSE(s.model->CheckCompute(1));
    std::vector<AnalyticMaterial> materials = Materials();
    for (int32_t count : {kMaxDomainEnergies + 1, -1}) {
        s.document.beamDomains[0].energyCount = count;
        s.Open({"Void", "A", "B"});
        EXPECT_EQ(s.Compute(0, materials), FailureText(kArgumentOutOfRange)) << count;
    }
    s.document.beamDomains[0].energyCount = 2;
    s.document.maxIterations = 0;
    s.Open({"Void", "A", "B"});
    EXPECT_EQ(s.model->CheckCompute(0), std::string(kIterationsError));
}

TEST(EnergyOptSheet, EvaluationEnergyRows) {
    Sheet s({"Fe", "Cu"});
    MemoryGridList& g = s.evaluation;
    ASSERT_EQ(zun::GridGetRowCount(g), 1);
    EXPECT_FALSE(s.model->EditEvaluationCell(g, 0, 0, "40"));
    EXPECT_EQ(Cell(g, 0, 1), kMuSymbol);
    EXPECT_EQ(zun::GridGetRowCount(g), 2);
    EXPECT_FALSE(s.model->EditEvaluationCell(g, 1, 0, "60"));
    EXPECT_FALSE(s.model->EditEvaluationCell(g, 1, 1, kPhiSymbol));
    EXPECT_EQ(s.model->EditEvaluationCell(g, 0, 0, "-1"), std::string(kEnergyError));
    EXPECT_EQ(Cell(g, 0, 0), "40");

    // Clearing the last filled energy empties its type and leaves one blank row.
    EXPECT_FALSE(s.model->EditEvaluationCell(g, 1, 0, ""));
    EXPECT_EQ(Cell(g, 1, 1), "");
    EXPECT_EQ(zun::GridGetRowCount(g), 2);
    s.Apply();
    ASSERT_EQ(s.document.evaluationEnergies.size(), 1u);
    EXPECT_EQ(s.document.evaluationEnergies[0].energy, 40);
    EXPECT_EQ(s.document.evaluationEnergies[0].type, 0);
}

TEST(EnergyOptSheet, FindsKnownOptimumAndShowsMetrics) {
    Sheet s({"Void", "A", "B"});
    std::vector<AnalyticMaterial> materials = Materials();
    // One mixture, pure A, on both pages.
    for (int p = 0; p < 2; ++p) {
        s.model->EditMixtureCell(p, s.mixtures[p], 0, 0, "0");
        s.model->EditMixtureCell(p, s.mixtures[p], 2, 2, "0");
    }
    s.model->EditBeamDomainCell(s.domains, 0, 0, "2");
    s.model->EditBeamDomainCell(s.domains, 0, 1, "20");
    s.model->EditBeamDomainCell(s.domains, 0, 2, "100");
    s.iterations = "1000";
    s.Apply();
    ASSERT_EQ(s.document.pages[0].targetMixtures.Rows(), 1);

    EXPECT_EQ(s.Compute(0, materials), "");
    ASSERT_EQ(zun::GridGetRowCount(s.optimised), 2);
    std::vector<double> found;
    for (const TypedEnergy& e : s.model->Working().optimisedEnergies) found.push_back(e.energy);
    std::sort(found.begin(), found.end());
    EXPECT_NEAR(found[0], 20, 1e-4);
    EXPECT_NEAR(found[1], 100, 1e-4);
    EXPECT_EQ(Cell(s.optimised, 0, 1), kMuSymbol);
    EXPECT_FALSE(s.model->ComputeEnabled(0));  // until the next apply
    EXPECT_TRUE(s.document.optimisedEnergies.empty());

    // Evaluating the energies found shows the metrics the numerics compute for them.
    s.model->EditEvaluationCell(s.evaluation, 0, 0, "20");
    s.model->EditEvaluationCell(s.evaluation, 1, 0, "100");
    s.Apply();
    EXPECT_EQ(s.document.optimisedEnergies.size(), 2u);
    EXPECT_EQ(s.Compute(1, materials), "");
    std::vector<AnalyticMaterial> direct = Materials();
    std::vector<MaterialFunctions> f = FunctionsOf(direct);
    f[0].isVoid = true;
    TargetMixtures targets{{0, 1, 0}};
    std::vector<TypedEnergy> energies{{20, 0}, {100, 0}};
    std::vector<Metric> expected;
    EvaluationProblem problem{f, std::make_shared<CommonRelError>(), targets, energies, expected};
    ASSERT_EQ(evaluateMetrics(problem), kSuccess);
    ASSERT_EQ(zun::GridGetRowCount(s.metrics), 1);
    EXPECT_EQ(Cell(s.metrics, 0, 3), zun::FormatReal(6, expected[0].sensitivity, "%g"));
    EXPECT_EQ(Cell(s.metrics, 0, 4), zun::FormatReal(6, expected[0].bias, "%g"));
    EXPECT_EQ(s.model->Working().metricCompositionNames, (std::vector<std::string>{"Void", "A", "B"}));
}

TEST(EnergyOptSheet, FailuresCancelAndCancelledRunsChangeNothing) {
    Sheet s({"Void", "A", "B"});
    std::vector<AnalyticMaterial> materials = Materials();
    s.document.optimisedEnergies = {{50, 0}};
    s.Open({"Void", "A", "B"});
    // Every energy count 0.
    EXPECT_EQ(s.Compute(0, materials), "Failure: no energies supplied in beam domains");
    EXPECT_TRUE(s.model->ComputeEnabled(0));
    ASSERT_EQ(s.model->Working().optimisedEnergies.size(), 1u);

    s.model->EditBeamDomainCell(s.domains, 0, 0, "2");
    s.model->EditBeamDomainCell(s.domains, 0, 1, "20");
    s.model->EditBeamDomainCell(s.domains, 0, 2, "100");
    s.Apply();
    const int commits = s.commits;
    // A run cancelled from the progress window leaves the sheet as it was.
    EXPECT_EQ(s.Compute(0, materials, true), "");
    EXPECT_TRUE(s.model->ComputeEnabled(0));
    EXPECT_FALSE(s.model->Modified());
    EXPECT_EQ(s.model->Working().optimisedEnergies[0].energy, 50);

    // A finished run that the user then cancels with the sheet never reaches the document.
    EXPECT_EQ(s.Compute(0, materials), "");
    EXPECT_TRUE(s.model->Modified());
    s.model.reset();
    EXPECT_EQ(s.commits, commits);
    ASSERT_EQ(s.document.optimisedEnergies.size(), 1u);
    EXPECT_EQ(s.document.optimisedEnergies[0].energy, 50);
}
