#pragma once
// The computation-library kernels. They work on plain blocks of voxel words: one pointer per
// image channel (compositions 0..comp, then CT channels 1..ct), and read their settings from the
// library object's parameter block. They report progress only through their callers.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "compute/libparams.h"
#include "foundation/cpuclones.h"

namespace zun::zunlib {

// Largest numbers of compositions (with "Void") and CT channels the kernels take.
constexpr int kMaxCompositions = 32;
constexpr int kMaxCtChannels = 32;

// ---- Data checking and correction -----------------------------------------------------------

// Everything the per-voxel check reads, flattened for the voxel loop.
struct DataCheckConstants {
    int comp = 0;
    int ct = 0;
    std::vector<float> ctLow, ctHigh;          // per CT channel 1..ct (entry 0 unused)
    std::vector<float> ctTolerance;            // per CT channel
    std::vector<float> matrix;                 // (ct+1) x (comp+1)
    std::vector<std::uint16_t> compTolerance;  // per composition
    const std::uint16_t* maskWords = nullptr;
    std::uint16_t maskWord = 0;

    explicit DataCheckConstants(const ComputeLibParams& p);
};

// Checks and corrects one voxel: `comp` points at the composition words, `ctw` at the CT words
// (index 1..ct). Returns the voxel code: positive the remaining fixed excess (data error),
// -2 inconsistent fixed fractions, -3 a fixed CT value above every pure composition, else 0.
int CheckVoxel(const DataCheckConstants& k, std::uint16_t* const* comp, std::uint16_t* const* ctw);

// Checks the voxels [first, first+count) of the channels.
struct VoxelCode {
    int code;
    std::int64_t voxel;
};
// Returns the merged code; the first `keep` non-zero codes go to `nonZero` (when given).
int CheckVoxelRange(const DataCheckConstants& k, std::uint16_t* const* channels, std::int64_t first,
                    std::int64_t count, std::vector<VoxelCode>* nonZero, std::size_t keep = SIZE_MAX);

// progress(slices done) after each slice's worth of voxels; it may throw to stop the run (the
// reports of the voxels done are kept).
using SliceProgress = std::function<void(int)>;

// Slices [firstSlice, firstSlice + slices) in one parallel region: channel pointers advanced to
// firstSlice.
void DataCheckSlices(CLibDataCheckCorrect& lib, std::uint16_t* const* channels, int firstSlice, int slices,
                     const SliceProgress& progress);
// One slice: channel pointers advanced to slice z.
void DataCheckSlice(CLibDataCheckCorrect& lib, std::uint16_t* const* channels, int z);

// ---- Inter-sectional extrapolation ------------------------------------------------------------

// Fills the unmeasured voxels of composition channel `index` from its measured sections; returns
// the library status.
int ExtrapolateChannel(CLibInterSectionExtrapolate& lib, std::uint16_t* words, int index);

// ---- Discrete least-square segmentation -------------------------------------------------------

// As DataCheckSlices and DataCheckSlice.
void SegmentSlices(CLibDiscreteLeastSquareSegmentation& lib, std::uint16_t* const* channels, int firstSlice,
                   int slices, const SliceProgress& progress);
void SegmentSlice(CLibDiscreteLeastSquareSegmentation& lib, std::uint16_t* const* channels, int z);

// ---- Neighbour interaction (shared by both optimisers) ------------------------------------------

class NeighbourInteraction {
public:
    // `sweeps` may be fractional: the last sweep is cut to its share of the visits.
    NeighbourInteraction(CLibBase& lib, std::uint16_t* const* channels, int range, double sweeps);
    std::int64_t VoxelCount() const { return total_; }
    int Range() const { return range_; }

    // The visit at a position of the whole sequence; refreshes the snapshot at sweep boundaries
    // (call BeginRange before a range and visit positions in order of ranges).
    void BeginRange(std::int64_t first);
    std::int64_t VisitVoxel(std::int64_t position) const { return order_[position % perSweep_]; }
    std::int64_t SweepEnd(std::int64_t position) const { return (position / perSweep_ + 1) * perSweep_; }
    void RefreshSnapshot();

    // Field h_i = sum over shells 1..range, neighbours u and k of J[s][i][k] * prev_k(u), and the
    // voxel's own previous fractions.
    void NeighbourField(std::int64_t voxel, const std::vector<float>& shells, double* h) const;
    void PreviousFractions(std::int64_t voxel, double* f) const;
    // For a non-unit exponent: the neighbours' previous fractions, grouped by shell.
    int Neighbours(std::int64_t voxel, std::int64_t* out, int* shellOf) const;
    const std::uint16_t* Snapshot(int comp) const { return snapshot_.data() + std::size_t(comp) * voxels_; }

private:
    CLibBase& lib_;
    std::uint16_t* const* channels_;
    int range_;
    int n_;
    std::int64_t nx_, ny_, nz_, voxels_;
    bool planar_;
    std::vector<std::int64_t> order_;
    std::int64_t perSweep_ = 1;
    std::int64_t total_ = 0;
    std::int64_t sweep_ = 0;
    std::vector<std::uint16_t> snapshot_;
};

class ExactMinimiser;
class LinearVertex;

// ---- Linear optimisation ------------------------------------------------------------------------

class CLinearSM {
public:
    explicit CLinearSM(CLibDatConLinearOpt& lib);
    ~CLinearSM();
    void SetNeighbours(NeighbourInteraction* n) { neighbours_ = n; }
    // Solves the voxels [first, first+count) of the linear voxel order (or of the neighbour
    // visit sequence); returns the number of voxels whose data could not be matched within their
    // tolerance.
    std::int64_t Run(std::uint16_t* const* channels, std::int64_t first, std::int64_t count);
    // The same over all `total` visits in one parallel region; progress(done) is called on the
    // calling thread after every `rangeSize` visits and may throw to stop the run (rethrown).
    std::int64_t RunAll(std::uint16_t* const* channels, std::int64_t total, std::int64_t rangeSize,
                        const std::function<void(std::int64_t)>& progress);
    // Whether voxels whose optimal vertex is known skip the simplex (on by default; off lets the
    // tests and benchmarks compare with the simplex alone).
    void UseClosedForm(bool on) { useVertex_ = on; }
    // Whether the closed form's common case runs in vector lanes of `level` (on by default, at the
    // best level the machine has; never above it) or voxel by voxel, for the tests.
    void UseLanes(bool on, CpuLevel level);

private:
    struct Scratch;
    CLibDatConLinearOpt& lib_;
    NeighbourInteraction* neighbours_ = nullptr;
    std::vector<std::unique_ptr<Scratch>> scratch_;
    std::unique_ptr<LinearVertex> vertex_;  // null where the programme has no closed form
    bool useVertex_ = true;
};

// Small dense linear programme: minimise c.x subject to rows (a.x = b, a.x <= b or a.x >= b)
// and x >= 0. Used per voxel by the linear optimisation.
struct SmallLp {
    enum Sense : int { Eq = 0, Le = 1, Ge = 2 };
    int vars = 0;
    std::vector<double> cost;
    std::vector<double> rows;  // row-major, `vars` per row
    std::vector<double> rhs;
    std::vector<int> sense;

    void Reset(int nvars);
    void AddRow(const double* a, Sense s, double b);
};
enum LpResult : int { kLpOptimal = 0, kLpInfeasible = 1, kLpUnbounded = 2, kLpFailed = 3 };
// Scratch of the solver, reused from voxel to voxel.
struct LpWorkspace {
    std::vector<double> tableau, sign;
    std::vector<int> basis, slackCol, artCol, crash, used;
    int rows = 0, vars = 0, cols = 0, artStart = 0;  // of the last solve
};
// Two-phase tableau simplex (largest-reduction pricing, Bland's rule once progress stalls).
int SolveSmallLp(const SmallLp& lp, std::vector<double>& x, double& objective, LpWorkspace& ws);
// True when the optimal basis of the last solve stays optimal for the same constraints with
// other costs (one per variable): re-solving would return the same point.
bool LpBasisStillOptimal(const LpWorkspace& ws, const std::vector<double>& cost);

// ---- Nonlinear optimisation -----------------------------------------------------------------------

class CNonlinearGCM {
public:
    explicit CNonlinearGCM(CLibDatConNonlinearOpt& lib);
    ~CNonlinearGCM();
    void SetNeighbours(NeighbourInteraction* n) { neighbours_ = n; }
    std::int64_t Run(std::uint16_t* const* channels, std::int64_t first, std::int64_t count);
    std::int64_t RunAll(std::uint16_t* const* channels, std::int64_t total, std::int64_t rangeSize,
                        const std::function<void(std::int64_t)>& progress);
    // Whether voxels with a closed-form minimum skip the search (on by default; off lets the
    // tests and benchmarks compare with the search alone).
    void UseClosedForm(bool on);
    // As CLinearSM::UseLanes.
    void UseLanes(bool on, CpuLevel level);

    // Grid points of the reduced simplex of `freeCount` compositions at `gridSize` sub-divisions.
    static double GridPointCount(int gridSize, int freeCount);

private:
    struct Scratch;
    using VoxelEnergyRef = void*;
    void SolveVoxel(std::uint16_t* const* channels, std::int64_t v, Scratch& s, std::int64_t order,
                    bool wordsTried = false) const;
    void SearchPrecomputedGrid(VoxelEnergyRef energy, Scratch& s) const;
    void SearchEnumeratedGrid(VoxelEnergyRef energy, Scratch& s) const;

    CLibDatConNonlinearOpt& lib_;
    NeighbourInteraction* neighbours_ = nullptr;
    std::vector<std::unique_ptr<Scratch>> scratch_;
    bool matrixSearch_ = true;
    bool lineSearch_ = false;
    std::unique_ptr<ExactMinimiser> exact_;  // null where the energy has no closed-form minimum
    bool useExact_ = true;
    // The grid of a voxel whose compositions are all free, built once per run: the points'
    // fractions by composition (k/G, one row per composition) and their intra-voxel pair energy.
    int points_ = 0;
    std::vector<double> gridK_;
    std::vector<double> gridPair_;
    std::vector<double> gridSum_;  // per composition, over all points
};

// Writes fractions of the free compositions as words so that the voxel sums to exactly 16383:
// rounded, then the residue spread one by one over the free words that can take it.
void WriteFreeFractions(std::uint16_t* const* comp, int n, const double* f);

// max(1, block thread count).
int KernelThreads(const ComputeLibParams& p);

}  // namespace zun::zunlib
