#pragma once
// The coarse-to-fine multi-start search for beam energies: every domain's range is cut into
// ever finer cells, every placement of the domain's energies into cells starts one local
// constrained minimisation of the noise-scaled error objective, and the best valid result wins.

#include <Eigen/Dense>
#include <array>
#include <cstdint>
#include <vector>

#include "energyopt/metrics.h"
#include "energyopt/noisemodel.h"
#include "energyopt/problem.h"

namespace EnergyOpt {

struct MinimiserOptions {
    double rhobeg = 0.0;
    double rhoend = 1e-6;
    int32_t messageLevel = 0;
    int32_t maxfun = 200;
    double fmin = -1e15;
};

struct Cell {
    double lower = 0.0;
    double upper = 0.0;
};

using CellsByType = std::array<std::vector<Cell>, 3>;

// The cells of one domain's range at a resolution: resolution - 1 equal cells.
std::vector<Cell> DomainCells(const BeamDomain& domain, int resolution);

// The non-decreasing placements of one domain's k energies into its cells, the last index
// running fastest.
class CellChoice {
public:
    CellChoice() = default;  // no cells and one empty choice
    CellChoice(std::vector<Cell> cells, int count);

    const std::vector<Cell>& selected() const { return selected_; }
    const std::vector<int>& indices() const { return indices_; }
    bool done() const { return done_; }
    void advance();
    void reset();

private:
    void select();

    std::vector<Cell> cells_;
    int count_ = 0;
    std::vector<int> indices_;
    std::vector<Cell> selected_;
    bool done_ = false;
};

// Every combination of the three domains' choices, type 2 varying fastest.
class ConfigurationGenerator {
public:
    ConfigurationGenerator(const BeamDomainMap& domains, int resolution);

    bool done() const { return done_; }
    CellsByType current() const;
    void advance();

private:
    std::array<CellChoice, 3> choices_;
    bool done_ = false;
};

// Number of configurations at a resolution, saturating at INT64_MAX instead of enumerating.
int64_t ConfigurationCount(const BeamDomainMap& domains, int resolution);

// The objective of one local minimisation: variables are the energies (type 0, then 1, then
// 2), each kept inside its cell by two constraints.
class EnergyObjective {
public:
    EnergyObjective(const MeasurementSetup& setup, NoiseModelScaleFunction scale, CellsByType bounds)
        : setup_(setup), scale_(std::move(scale)), bounds_(std::move(bounds)) {}

    int variableCount() const { return static_cast<int>(setup_.energyCount()); }
    const MeasurementSetup& setup() const { return setup_; }
    const CellsByType& bounds() const { return bounds_; }
    int value(const double* x, double* f) const;
    int constraints(const double* x, double* con) const;

private:
    const MeasurementSetup& setup_;
    NoiseModelScaleFunction scale_;
    CellsByType bounds_;
};

// Objective value from the largest sensitivity and the rank deficiency of a decomposition;
// any discarded direction outweighs any sensitivity while the value stays finite.
double ErrorObjective(const TruncatedSvd& svd, const Eigen::VectorXd& sensitivities);

// The minimiser's evaluation routine; state is an EnergyObjective.
int evaluateTrialPoint(int n, int m, const double* x, double* f, double* con, void* state);

MinimisationResult minimise(const EnergyObjective& objective, const Eigen::VectorXd& start,
                            const MinimiserOptions& options);

struct SearchOutcome {
    bool found = false;
    double best = 0.0;
    std::array<Eigen::VectorXd, 3> energies;  // per type
    int64_t used = 0;                         // objective evaluations counted against the budget
    int runs = 0;                             // local minimisations made
    std::vector<int> resolutions;             // the resolutions whose minimisations ran
};

// setup holds the reduced compositions and targets; its domain counts are set from domains.
SearchOutcome SearchEnergies(MeasurementSetup setup, const BeamDomainMap& domains,
                             const NoiseModelScaleFunction& scale, int32_t maxIterations);

}  // namespace EnergyOpt
