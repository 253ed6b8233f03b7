#pragma once
// The voxel loop the optimisers share: parallel over a range of the linear voxel order or of the
// neighbour visit sequence (cut at sweep boundaries), with per-thread outcomes merged afterwards.

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "compute/kernels.h"

namespace zun::zunlib {

// One voxel as both optimisers see it: its composition words split into fixed and free, the
// share left to the free ones, and the usable CT values less the fixed compositions' share.
struct VoxelProblem {
    int n = 0;                              // compositions
    int u = 0;                              // free compositions
    int m = 0;                              // usable CT values
    std::uint16_t* comp[kMaxCompositions];  // the voxel's composition words
    int freeIdx[kMaxCompositions];
    double f[kMaxCompositions];  // current fractions of all compositions
    double r0 = 1.0;             // 1 - the fixed fractions
    int ctIdx[kMaxCtChannels];   // CT channel (1-based) of each usable value
    double b[kMaxCtChannels];
    double tol[kMaxCtChannels];  // absolute tolerance of each usable value

    // Loads voxel v. False when there is nothing to solve: no free composition, or fixed
    // fractions above 1 (then `failure` is set to 2 and the first free word marked).
    bool Load(const ComputeLibParams& p, std::uint16_t* const* channels, std::int64_t v, int& failure);
    // Matrix entry of usable value q and free composition k.
    static double A(const ComputeLibParams& p, const VoxelProblem& vp, int q, int k) {
        return p.Matrix(vp.ctIdx[q], vp.freeIdx[k]);
    }
};

// The exact minimiser of the nonlinear energy for the common case: every composition free, as
// many CT values as compositions less one (a square system with the sum row), unit exponents.
// The data term is then the L1 norm of the residuals, so the minimum sits where a set of
// residuals and fractions is zero: a candidate comes from one small precomputed inverse, and is
// taken only when a certificate proves it the unique global minimum on the simplex (otherwise
// the caller searches as before). The candidates tried are the point of zero residual and, where
// that has negative fractions, the points on the face where those fractions are zero.
class ExactMinimiser {
public:
    // False when the block's settings leave the energy outside this case.
    bool Init(const ComputeLibParams& p);
    // Solves a loaded voxel with neighbour field `h` (or null); writes every fraction of `f`.
    bool Solve(const VoxelProblem& vp, const double* h, double* f) const;

    static constexpr int kMaxSize = 6;

private:
    struct Face {
        bool usable = false;
        double inv[kMaxSize * kMaxSize];  // inverse of the active rows: sum, zero residuals, zero fractions
        double dataNorm = 0.0;            // 2 rho^2 |columns of the residual rows|^2
        double zeroNorm = 0.0;            // 2 rho^2 |columns of the zero-fraction rows|^2
    };
    bool TryFace(unsigned zeros, unsigned dataRows, const double* b, const double* h, double* f) const;
    int n_ = 0;
    double k_[kMaxSize][kMaxSize] = {};  // CT rows over their tolerances
    double self_[kMaxSize] = {};
    double pair_[kMaxSize][kMaxSize] = {};  // J + J^T with a zero diagonal
    std::vector<Face> faces_;               // by zero-fraction mask * 2^(n-1) + data-row mask
};

// What one thread's voxels produced: out-of-boundary count, merged status and the first failures
// that can still be reported.
struct ThreadOutcome {
    std::int64_t outOfBoundary = 0;
    int status = 0;
    std::vector<VoxelCode> failures;
    std::size_t keep = 0;

    void Reset(std::size_t reportable) {
        outOfBoundary = 0;
        status = 0;
        failures.clear();
        keep = reportable;
    }
    void Fail(int code, std::int64_t voxel) {
        status = MergeCode(status, code);
        if (failures.size() < keep) failures.push_back({code, voxel});
    }
};

// Calls body(threadIndex, voxel) for every visit position in [first, first+count). An exception
// of a voxel (memory running out) must not leave the parallel region: the remaining visits are
// skipped and the first exception is rethrown after it.
template <class Body>
void RunVisits(const ComputeLibParams& p, NeighbourInteraction* nb, int threads, int chunk,
               std::int64_t first, std::int64_t count, Body&& body) {
    const std::int64_t end = first + count;
    std::exception_ptr error;
    std::atomic<bool> failed{false};
    for (std::int64_t a = first; a < end;) {
        std::int64_t b = end;
        if (nb) {
            nb->BeginRange(a);
            b = std::min(end, nb->SweepEnd(a));
        }
        omp_set_dynamic(0);
#pragma omp parallel for num_threads(threads) schedule(dynamic, chunk)
        for (std::int64_t pos = a; pos < b; ++pos) {
            if (failed.load(std::memory_order_relaxed)) continue;
            const std::int64_t v = nb ? nb->VisitVoxel(pos) : pos;
            if (!nb && p.maskWords && (p.maskWords[v] & kWordValue) != p.maskWord) continue;
            try {
                body(omp_get_thread_num(), v);
            } catch (...) {
#pragma omp critical(zun_kernel_error)
                if (!error) error = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
        if (error) std::rethrow_exception(error);
        a = b;
    }
}

// Merges the outcomes into the library object (status; reports in voxel order up to the cap,
// worded by text(failure)); returns the out-of-boundary total.
template <class Outcomes, class Text>
std::int64_t MergeOutcomes(CLibBase& lib, const Outcomes& outcomes, Text&& text) {
    std::int64_t total = 0;
    std::vector<VoxelCode> failures;
    for (const ThreadOutcome* o : outcomes) {
        total += o->outOfBoundary;
        lib.MergeStatus(o->status);
        failures.insert(failures.end(), o->failures.begin(), o->failures.end());
    }
    std::sort(failures.begin(), failures.end(),
              [](const VoxelCode& a, const VoxelCode& b) { return a.voxel < b.voxel; });
    for (const VoxelCode& f : failures) {
        if (lib.ReportsExhausted()) break;
        lib.Report(f.code, f.voxel, text(f));
    }
    return total;
}

inline std::size_t ReportableCount(const CLibBase& lib) {
    return static_cast<std::size_t>(std::max(0, lib.params.maxErrorReports - lib.params.errorReportCount));
}

// Clears the outcome of every thread's scratch before a range; returns them for MergeOutcomes.
template <class Scratches>
std::vector<const ThreadOutcome*> ResetOutcomes(Scratches& scratch, const CLibBase& lib) {
    std::vector<const ThreadOutcome*> outcomes;
    for (auto& s : scratch) {
        s->outcome.Reset(ReportableCount(lib));
        outcomes.push_back(&s->outcome);
    }
    return outcomes;
}

}  // namespace zun::zunlib
