#pragma once
// What the energy-optimisation sheet decides without a window: bringing a record in line with
// the document's compositions, what each page's tables show and accept, when "Compute
// Output..." may run, the computations themselves and the texts of a failed run. The sheet's
// widgets only draw the grids this fills and forward edits and clicks.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "energyopt/dialogvars.h"
#include "foundation/listgrid.h"

namespace EnergyOpt {

class NoiseModel;

inline constexpr const char* kMuSymbol = "\u03bc";
inline constexpr const char* kPhiSymbol = "\u03c6";
inline constexpr const char* kNoiseModelNames[2] = {"Common relative error",
                                                    "Common relative error, approximate composition"};
inline constexpr const char* kMixtureError = "Target mixture values must be non-negative real numbers";
inline constexpr const char* kIterationsError = "Maximum iterations must be a positive integer";
inline constexpr const char* kCountError = "Num Energies must be non-negative integers";
inline constexpr const char* kLimitError = "Energy limit entries must be non-negative real numbers";
inline constexpr const char* kEnergyError = "Energy values must be non-negative real numbers";

// Removes the columns of compositions no longer present, drops all-zero mixture rows, and gives
// every newly present composition one pure mixture (row min(j, rows), column j) on both pages.
// Names compare exactly; a renamed composition counts as removed and added. Metrics untouched.
void ReconcileCompositions(DialogVars& vars, const std::vector<std::string>& names);

// Deletes the rows whose cells are all exactly zero.
void DropZeroRows(zun::Matrix<float>& m);

// "Failure: " and the status text, "unknown error" beyond the table.
std::string FailureText(int32_t status);

// A beam-domain type's name: mu, phi, "mu and phi"; empty for anything else.
std::string TypeName(int32_t type);

// One computation, built on the sheet's thread from the inputs last applied and run on any
// thread. Every evaluation of a material function counts towards progress and looks at the
// cancel flag; a cancelled run ends with `cancelled` set and is not a result.
class EnergyOptJob {
public:
    EnergyOptJob(const DialogVars& vars, int page, std::vector<MaterialFunctions> compositions);
    ~EnergyOptJob();
    EnergyOptJob(const EnergyOptJob&) = delete;
    EnergyOptJob& operator=(const EnergyOptJob&) = delete;

    int page() const { return page_; }
    int32_t Run();
    void Cancel() { cancel_ = true; }
    bool cancelled() const { return cancel_; }
    long evaluations() const { return evaluations_; }
    const std::vector<TypedEnergy>& energies() const { return energies_; }
    const std::vector<Metric>& metrics() const { return metrics_; }

private:
    struct Wrapped;
    static int32_t Attenuation(void* context, double energy, double* result);
    static int32_t PhaseShift(void* context, double energy, double* result);

    int page_;
    std::vector<std::unique_ptr<Wrapped>> wrapped_;
    std::vector<MaterialFunctions> compositions_;
    std::shared_ptr<const NoiseModel> noiseModel_;
    TargetMixtures targets_;
    BeamDomainMap domains_;
    int32_t maxIterations_ = 1;
    std::vector<TypedEnergy> evaluationEnergies_;
    std::vector<TypedEnergy> energies_;
    std::vector<Metric> metrics_;
    std::atomic<bool> cancel_{false};
    std::atomic<long> evaluations_{0};
};

// The sheet's state: the working copy every page edits, the copy last written to the document,
// and which pages may compute. Grids are data columns as in foundation/listgrid.h.
class EnergyOptSheetModel {
public:
    // Copies the document's record and brings the copy in line with the compositions.
    // `commit` writes a record to the document (and marks the document modified).
    EnergyOptSheetModel(const DialogVars& documentRecord, std::vector<std::string> compositionNames,
                        std::function<void(const DialogVars&)> commit);

    const DialogVars& Working() const { return working_; }
    const DialogVars& Committed() const { return committed_; }

    bool ComputeEnabled(int page) const { return computeEnabled_[page]; }
    bool Modified() const { return modified_; }
    // Any edit of a page's inputs: Apply becomes possible and the page may not compute until then.
    void MarkModified(int page);

    // Common page part: noise model and target mixtures.
    void SetNoiseModel(int page, int index);
    void FillMixtureGrid(int page, zun::GridList& grid) const;
    // A finished cell edit; an empty optional when accepted, else the message (cell unchanged).
    std::optional<std::string> EditMixtureCell(int page, zun::GridList& grid, int row, int column,
                                               const std::string& text);

    // "Optimise Energies".
    std::string MaxIterationsText() const;
    // Leaving the field: the message when the text is not a positive whole number.
    std::optional<std::string> CheckMaxIterations(const std::string& text) const;
    void FillBeamDomainGrid(zun::GridList& grid) const;
    // A count must be a whole number from 0 to kMaxDomainEnergies.
    std::optional<std::string> EditBeamDomainCell(zun::GridList& grid, int row, int column,
                                                  const std::string& text);
    // Before "Compute Output..." starts anything: the message when the applied inputs of the page
    // are beyond the cell checks (a count past the bound, iterations below 1).
    std::optional<std::string> CheckCompute(int page) const;
    void FillOptimisedGrid(zun::GridList& grid) const;

    // "Evaluate Metrics".
    void FillEvaluationGrid(zun::GridList& grid) const;
    std::optional<std::string> EditEvaluationCell(zun::GridList& grid, int row, int column,
                                                  const std::string& text);
    void FillMetricGrid(zun::GridList& grid) const;

    // What the page's widgets hold when the sheet applies.
    struct PageControls {
        zun::GridList* mixtures = nullptr;
        zun::GridList* beamDomains = nullptr;  // page 0
        std::string maxIterations;             // page 0
        zun::GridList* evaluation = nullptr;   // page 1
    };
    // Saves both pages into the working copy (dropping all-zero mixture rows from the grids),
    // commits it to the document, and lets both pages compute.
    void Apply(const PageControls& page0, const PageControls& page1);

    // Takes a finished job's result: on success the page's output goes into the working copy, the
    // page may not compute again until the next apply, and the sheet is modified. Returns the
    // message to show, empty on success or after a cancel (which changes nothing).
    std::string Finish(const EnergyOptJob& job, int32_t status);

private:
    void SavePage(int page, const PageControls& controls);

    std::function<void(const DialogVars&)> commit_;
    DialogVars working_;
    DialogVars committed_;
    bool computeEnabled_[2] = {true, true};
    bool modified_ = false;
};

}  // namespace EnergyOpt
