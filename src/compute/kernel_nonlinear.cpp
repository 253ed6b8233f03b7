// Data-constrained nonlinear optimisation: an energy over the simplex of the free compositions,
// searched on the grid of 1/gridSize steps (never stored whole: the points are enumerated) and
// optionally refined by pairwise line searches.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "compute/kernelrun.h"
#include "compute/kernels.h"
#include "compute/log.h"

namespace zun::zunlib {

double CNonlinearGCM::GridPointCount(int gridSize, int freeCount) {
    if (freeCount <= 0 || gridSize <= 0) return freeCount > 0 ? 1.0 : 0.0;
    // C(G + u - 1, u - 1)
    double c = 1.0;
    for (int k = 1; k < freeCount; ++k) c = c * (gridSize + k) / k;
    return std::floor(c + 0.5);
}

namespace {

// The energy of one voxel as a function of its free fractions.
struct VoxelEnergy {
    int n = 0;        // compositions
    int u = 0;        // free ones
    int m = 0;        // usable CT values
    double r0 = 1.0;  // share of the free compositions
    int freeIdx[kMaxCompositions];
    double f[kMaxCompositions];  // full composition vector (fixed entries set)
    double b[kMaxCtChannels];    // CT value minus the fixed compositions' share
    double invTol[kMaxCtChannels];
    double a[kMaxCtChannels][kMaxCompositions];  // matrix rows of the usable CT values, free columns
    double selfE[kMaxCompositions];
    double h[kMaxCompositions];  // neighbour field (exponent 1)
    const float* j0 = nullptr;   // intra-voxel interaction, n x n
    double alpha = 1.0, beta = 1.0;
    // Neighbours for a non-unit interaction exponent.
    int nbCount = 0;
    double nbPrev[26][kMaxCompositions];
    int nbShell[26];
    const float* shells = nullptr;

    static double Pow(double base, double e) {
        if (e == 1.0) return base;
        if (base <= 0.0) return 0.0;
        if (e == 2.0) return base * base;
        return std::pow(base, e);
    }

    double Residual(int q) const {
        double r = b[q];
        for (int k = 0; k < u; ++k) r -= a[q][k] * f[freeIdx[k]];
        return r;
    }

    // Gradient with respect to the free fractions of every term but the CT residuals (those too
    // when `withData`).
    void Gradient(double* g, bool withData) const {
        const std::size_t nn = std::size_t(n) * n;
        for (int q = 0; q < u; ++q) {
            const int i = freeIdx[q];
            double d = selfE[i];
            for (int k = 0; k < n; ++k) {
                if (k == i) continue;
                const double jj = j0[i * n + k] + j0[k * n + i];
                d += beta == 1.0 ? jj * f[k] : jj * DPow(f[i] * f[k], beta) * f[k];
            }
            if (beta == 1.0) {
                d += h[i];
            } else {
                for (int p = 0; p < nbCount; ++p)
                    for (int k = 0; k < n; ++k)
                        d += shells[nbShell[p] * nn + i * n + k] * DPow(f[i] * nbPrev[p][k], beta) *
                             nbPrev[p][k];
            }
            if (withData)
                for (int p = 0; p < m; ++p) {
                    const double r = Residual(p) * invTol[p];
                    if (r == 0.0) continue;
                    d -= alpha * Pow(std::fabs(r), alpha - 1.0) * (r > 0 ? 1.0 : -1.0) * a[p][q] * invTol[p];
                }
            g[q] = d;
        }
    }

    // Derivative of x^e.
    static double DPow(double x, double e) {
        if (x <= 0.0) return 0.0;
        return e * std::pow(x, e - 1.0);
    }

    double Energy() const {
        double e = 0.0;
        for (int q = 0; q < m; ++q) {
            const double r = std::fabs(Residual(q)) * invTol[q];
            e += alpha == 1.0 ? r : (alpha == 2.0 ? r * r : Pow(r, alpha));
        }
        for (int i = 0; i < n; ++i) e += selfE[i] * f[i];
        for (int i = 0; i < n; ++i) {
            if (f[i] == 0.0) continue;
            for (int k = 0; k < n; ++k)
                if (k != i) e += j0[i * n + k] * Pow(f[i] * f[k], beta);
        }
        if (beta == 1.0) {
            for (int i = 0; i < n; ++i) e += f[i] * h[i];
        } else {
            const std::size_t nn = std::size_t(n) * n;
            for (int q = 0; q < nbCount; ++q)
                for (int i = 0; i < n; ++i)
                    for (int k = 0; k < n; ++k)
                        e += shells[nbShell[q] * nn + i * n + k] * Pow(f[i] * nbPrev[q][k], beta);
        }
        return e;
    }
};

// Visits every grid point of the reduced simplex: counts k_0..k_{u-1} >= 0 summing to G.
template <class F>
void ForEachGridPoint(int u, int G, int* k, F&& visit) {
    for (int i = 0; i < u; ++i) k[i] = 0;
    k[u - 1] = G;
    while (true) {
        visit();
        // Next composition in reverse lexicographic order of k[0..u-2].
        int i = u - 2;
        while (i >= 0) {
            if (k[u - 1] > 0) {
                ++k[i];
                --k[u - 1];
                break;
            }
            // Carry: move everything of k[i] back into the last part.
            k[u - 1] += k[i];
            k[i] = 0;
            --i;
            if (i >= 0 && k[u - 1] > 0) {
                ++k[i];
                --k[u - 1];
                break;
            }
        }
        if (i < 0) return;
    }
}

}  // namespace

struct CNonlinearGCM::Scratch {
    SmallLp lp;
    std::vector<double> x, row;
    LpWorkspace ws;
    std::vector<double> energies;
    std::vector<int> points;
    ThreadOutcome outcome;
};

CNonlinearGCM::CNonlinearGCM(CLibDatConNonlinearOpt& lib) : lib_(lib) {
    const ComputeLibParams& p = lib.params;
    const int nt = KernelThreads(p);
    for (int t = 0; t < nt; ++t) scratch_.push_back(std::make_unique<Scratch>());
    int methods = p.nonlinearSearchMethods == 0 ? 1 : p.nonlinearSearchMethods;
    // The Lagrange-multiplier search is not offered; it runs as the line search.
    if (methods == 4) {
        lib.Report(-2, -1, "DatConNonlinearOpt: the Lagrange multiplier search runs as the line search\n");
        lib.MergeStatus(-2);
    }
    if (methods & 4) methods |= 2;
    matrixSearch_ = (methods & 1) && p.gridSize > 0;
    lineSearch_ = (methods & 2) != 0 || !matrixSearch_;
    const int n = p.comp + 1;
    exact_ = std::make_unique<ExactMinimiser>();
    if (!matrixSearch_ || !exact_->Init(p)) exact_.reset();
    const double count = GridPointCount(p.gridSize, n);
    if (p.gridSize > 0 && n > 1 && count <= 1e6 && p.interactionExponent == 1.0) {
        points_ = static_cast<int>(count);
        gridK_.resize(std::size_t(n) * points_);
        gridPair_.resize(points_);
        gridSum_.assign(n, 0.0);
        int k[kMaxCompositions];
        int g = 0;
        ForEachGridPoint(n, p.gridSize, k, [&] {
            double pair = 0.0;
            for (int i = 0; i < n; ++i) {
                gridK_[std::size_t(i) * points_ + g] = double(k[i]) / p.gridSize;
                gridSum_[i] += double(k[i]) / p.gridSize;
                for (int j = 0; j < n; ++j)
                    if (j != i) pair += p.nonlinearInteractionEnergy[i * n + j] * k[i] * k[j];
            }
            gridPair_[g] = pair / (double(p.gridSize) * p.gridSize);
            ++g;
        });
    }
}

CNonlinearGCM::~CNonlinearGCM() = default;

void CNonlinearGCM::UseClosedForm(bool on) {
    useExact_ = on;
}

void CNonlinearGCM::UseLanes(bool on, CpuLevel level) {
    if (exact_) exact_->UseLanes(on, level);
}

namespace {

// Refines the grid result between the grid points: sequential linear programmes over the reduced
// simplex with a trust region, the CT residual term taken exactly (exponent 1) or linearised, the
// other terms linearised; a step is kept only when the energy falls.
void Refine(VoxelEnergy& E, double r0, SmallLp& lp, std::vector<double>& x, LpWorkspace& tableau,
            std::vector<double>& row) {
    const int u = E.u, m = E.m;
    const bool exactData = E.alpha == 1.0;
    const int nv = u + (exactData ? 2 * m : 0);
    double cur[kMaxCompositions], g[kMaxCompositions];
    for (int q = 0; q < u; ++q) cur[q] = E.f[E.freeIdx[q]];
    double ecur = E.Energy();
    double delta = r0;
    for (int it = 0; it < 12 && delta > 1e-7; ++it) {
        E.Gradient(g, !exactData);
        lp.Reset(nv);
        for (int q = 0; q < u; ++q) lp.cost[q] = g[q];
        if (exactData)
            for (int p = 0; p < 2 * m; ++p) lp.cost[u + p] = 1.0;
        row.assign(nv, 0.0);
        for (int q = 0; q < u; ++q) row[q] = 1.0;
        lp.AddRow(row.data(), SmallLp::Eq, r0);
        if (exactData)
            for (int p = 0; p < m; ++p) {
                std::fill(row.begin(), row.end(), 0.0);
                for (int q = 0; q < u; ++q) row[q] = E.a[p][q] * E.invTol[p];
                row[u + 2 * p] = 1.0;
                row[u + 2 * p + 1] = -1.0;
                lp.AddRow(row.data(), SmallLp::Eq, E.b[p] * E.invTol[p]);
            }
        if (delta < r0)
            for (int q = 0; q < u; ++q) {
                std::fill(row.begin(), row.end(), 0.0);
                row[q] = 1.0;
                lp.AddRow(row.data(), SmallLp::Le, cur[q] + delta);
                if (cur[q] - delta > 0) lp.AddRow(row.data(), SmallLp::Ge, cur[q] - delta);
            }
        double obj;
        if (SolveSmallLp(lp, x, obj, tableau) != kLpOptimal) break;
        double move = 0.0;
        for (int q = 0; q < u; ++q) move = std::max(move, std::fabs(x[q] - cur[q]));
        if (move < 1e-9) break;
        for (int q = 0; q < u; ++q) E.f[E.freeIdx[q]] = std::max(0.0, x[q]);
        const double e = E.Energy();
        if (e < ecur - 1e-12 * (1.0 + std::fabs(ecur))) {
            ecur = e;
            for (int q = 0; q < u; ++q) cur[q] = E.f[E.freeIdx[q]];
            if (delta >= r0) {
                // Same constraints next time: when the new gradient leaves the basis optimal the
                // next programme would return this very point.
                E.Gradient(g, !exactData);
                for (int q = 0; q < u; ++q) lp.cost[q] = g[q];
                if (LpBasisStillOptimal(tableau, lp.cost)) break;
            }
        } else {
            for (int q = 0; q < u; ++q) E.f[E.freeIdx[q]] = cur[q];
            delta = move / 4;
        }
    }
}

// Pairwise transfer moves with a golden-section search on each pair.
void LineSearch(VoxelEnergy& E, double r0, double tolerance) {
    double current = E.Energy();
    for (int round = 0; round < 100; ++round) {
        const double before = current;
        for (int pa = 0; pa < E.u; ++pa)
            for (int pb = 0; pb < E.u; ++pb) {
                if (pa == pb) continue;
                const int ia = E.freeIdx[pa], ib = E.freeIdx[pb];
                // delta in [0, min(f_b, r0 - f_a)]: move from b to a.
                const double hi = std::min(E.f[ib], r0 - E.f[ia]);
                if (hi <= 0.0) continue;
                const double fa = E.f[ia], fb = E.f[ib];
                auto at = [&](double d) {
                    E.f[ia] = fa + d;
                    E.f[ib] = fb - d;
                    return E.Energy();
                };
                const double g = 0.6180339887498949;
                double lo = 0.0, up = hi;
                double x1 = up - g * (up - lo), x2 = lo + g * (up - lo);
                double e1 = at(x1), e2 = at(x2);
                for (int it = 0; it < 40 && up - lo > 1e-9; ++it) {
                    if (e1 < e2) {
                        up = x2;
                        x2 = x1;
                        e2 = e1;
                        x1 = up - g * (up - lo);
                        e1 = at(x1);
                    } else {
                        lo = x1;
                        x1 = x2;
                        e1 = e2;
                        x2 = lo + g * (up - lo);
                        e2 = at(x2);
                    }
                }
                const double d = 0.5 * (lo + up);
                const double ed = at(d);
                if (ed < current) {
                    current = ed;
                } else {
                    E.f[ia] = fa;
                    E.f[ib] = fb;
                }
            }
        if (before - current < tolerance * (1.0 + std::fabs(current))) break;
    }
}

// The Boltzmann-weighted mean of grid points with energies e[0..P): weight of point g is
// exp(-min(Q (e_g - e_min), maxExp)); point(g, acc, w) adds w times the point to acc. Exponents
// far from 1 can take energies beyond the arithmetic: a point whose distance from the least is
// not a number gets the clamped weight too, so the mean stays a point of the simplex.
template <class Point>
void WeightedMean(const double* e, std::size_t P, double Q, double maxExp, int u, Point&& point,
                  double* mean) {
    double emin = std::numeric_limits<double>::infinity();
    for (std::size_t g = 0; g < P; ++g)
        if (e[g] < emin) emin = e[g];
    const double clampWeight = std::exp(-maxExp);
    double sumW = 0.0, acc[kMaxCompositions] = {};
    for (std::size_t g = 0; g < P; ++g) {
        const double x = Q * (e[g] - emin);
        const double w = x < maxExp ? std::exp(-x) : clampWeight;
        sumW += w;
        point(g, acc, w);
    }
    if (!(sumW > 0.0)) {
        // No point within reach and the clamped weight below the arithmetic: all weigh alike.
        std::fill(acc, acc + u, 0.0);
        for (std::size_t g = 0; g < P; ++g) point(g, acc, 1.0);
        sumW = static_cast<double>(P);
    }
    for (int q = 0; q < u; ++q) mean[q] = acc[q] / sumW;
}

}  // namespace

// All compositions free: the energy of every grid point from the precomputed grid, one
// vectorisable loop per term.
void CNonlinearGCM::SearchPrecomputedGrid(VoxelEnergyRef ref, Scratch& s) const {
    VoxelEnergy& E = *static_cast<VoxelEnergy*>(ref);
    const ComputeLibParams& p = lib_.params;
    const int n = E.n;
    const double r0 = E.r0;
    const std::size_t P = points_;
    s.energies.assign(P, 0.0);
    double* e = s.energies.data();
    const bool square = E.alpha == 2.0;
    for (int q = 0; q < E.m; ++q) {
        const double bq = E.b[q] * E.invTol[q];
        double c[kMaxCompositions];
        for (int i = 0; i < n; ++i) c[i] = r0 * E.a[q][i] * E.invTol[q];
#pragma omp simd
        for (std::size_t g = 0; g < P; ++g) {
            double r = bq;
            for (int i = 0; i < n; ++i) r -= c[i] * gridK_[i * P + g];
            e[g] += square ? r * r : std::fabs(r);
        }
    }
    for (int i = 0; i < n; ++i) {
        const double w = r0 * (E.selfE[i] + E.h[i]);
        if (w == 0.0) continue;
#pragma omp simd
        for (std::size_t g = 0; g < P; ++g) e[g] += w * gridK_[i * P + g];
    }
    double emin = e[0];
    for (std::size_t g = 0; g < P; ++g) {
        e[g] += r0 * r0 * gridPair_[g];
        emin = std::min(emin, e[g]);
    }
    // Every point starts with the clamped weight (its share comes from the precomputed sums);
    // only the few points within the exponent range add their excess weight.
    const double Q = p.nonlinearQ, maxExp = p.nonlinearMaxExpValue;
    const double clampWeight = std::exp(-maxExp);
    const double within = emin + maxExp / Q;
    double sumW = clampWeight * double(P), acc[kMaxCompositions];
    for (int i = 0; i < n; ++i) acc[i] = clampWeight * gridSum_[i];
    for (std::size_t g = 0; g < P; ++g) {
        if (!(e[g] < within)) continue;
        const double x = Q * (e[g] - emin);
        if (x >= maxExp) continue;
        const double extra = std::exp(-x) - clampWeight;
        sumW += extra;
        for (int i = 0; i < n; ++i) acc[i] += extra * gridK_[i * P + g];
    }
    for (int i = 0; i < n; ++i) E.f[i] = r0 * acc[i] / sumW;
}

// Any other voxel: the grid points are enumerated and their energies evaluated one by one.
void CNonlinearGCM::SearchEnumeratedGrid(VoxelEnergyRef ref, Scratch& s) const {
    VoxelEnergy& E = *static_cast<VoxelEnergy*>(ref);
    const ComputeLibParams& p = lib_.params;
    const int G = p.gridSize;
    const double step = E.r0 / G;
    int k[kMaxCompositions];
    s.energies.clear();
    s.points.clear();
    ForEachGridPoint(E.u, G, k, [&] {
        for (int q = 0; q < E.u; ++q) E.f[E.freeIdx[q]] = step * k[q];
        s.energies.push_back(E.Energy());
        s.points.insert(s.points.end(), k, k + E.u);
    });
    double mean[kMaxCompositions];
    WeightedMean(
        s.energies.data(), s.energies.size(), p.nonlinearQ, p.nonlinearMaxExpValue, E.u,
        [&](std::size_t g, double* acc, double w) {
            for (int q = 0; q < E.u; ++q) acc[q] += w * s.points[g * E.u + q];
        },
        mean);
    for (int q = 0; q < E.u; ++q) E.f[E.freeIdx[q]] = step * mean[q];
}

void CNonlinearGCM::SolveVoxel(std::uint16_t* const* channels, std::int64_t v, Scratch& s, std::int64_t order,
                               bool wordsTried) const {
    const ComputeLibParams& p = lib_.params;
    const bool exact = matrixSearch_ && !lineSearch_ && exact_ && useExact_;
    if (exact && !neighbours_ && !wordsTried) {
        bool outside = false;
        if (exact_->SolveWords(channels, v, outside)) {
            s.outcome.outOfBoundary += outside;
            return;
        }
    }
    VoxelProblem vp;
    int failure = 0;
    if (!vp.Load(p, channels, v, failure)) {
        if (failure) s.outcome.Fail(failure, v, order);
        return;
    }
    if (exact && neighbours_ && vp.u == vp.n) {
        // The closed form needs none of the search's set-up.
        double h[kMaxCompositions] = {}, f[kMaxCompositions], worst = 0.0;
        if (neighbours_) neighbours_->NeighbourField(v, p.nonlinearInteractionEnergy, h);
        if (exact_->Solve(vp, neighbours_ ? h : nullptr, f, &worst)) {
            if (worst > 1.0) s.outcome.outOfBoundary += 1;
            WriteFreeFractions(vp.comp, vp.n, f);
            return;
        }
    }
    VoxelEnergy E;
    E.n = vp.n;
    E.u = vp.u;
    E.m = vp.m;
    E.r0 = vp.r0;
    E.alpha = p.attenuationErrorExponent;
    E.beta = p.interactionExponent;
    E.j0 = p.nonlinearInteractionEnergy.data();
    E.shells = p.nonlinearInteractionEnergy.data();
    for (int i = 0; i < E.n; ++i) {
        E.f[i] = vp.f[i];
        E.selfE[i] = p.nonlinearSelfEnergy[i];
        E.h[i] = 0.0;
        E.freeIdx[i] = vp.freeIdx[i];
    }
    for (int q = 0; q < E.m; ++q) {
        E.b[q] = vp.b[q];
        E.invTol[q] = 1.0 / vp.tol[q];
        for (int k = 0; k < E.u; ++k) E.a[q][k] = VoxelProblem::A(p, vp, q, k);
    }
    if (neighbours_) {
        if (E.beta == 1.0) {
            neighbours_->NeighbourField(v, p.nonlinearInteractionEnergy, E.h);
        } else {
            std::int64_t nb[26];
            E.nbCount = neighbours_->Neighbours(v, nb, E.nbShell);
            for (int q = 0; q < E.nbCount; ++q) neighbours_->PreviousFractions(nb[q], E.nbPrev[q]);
        }
    }
    if (E.u == 1) {
        E.f[E.freeIdx[0]] = std::max(0.0, E.r0);
    } else {
        if (matrixSearch_ && exact_ && useExact_ && E.nbCount == 0 && exact_->Solve(vp, E.h, E.f)) {
            // The search and its refinement would end at this very point.
        } else if (matrixSearch_) {
            if (E.u == E.n && points_ > 0 && (E.alpha == 1.0 || E.alpha == 2.0) && E.nbCount == 0)
                SearchPrecomputedGrid(&E, s);
            else
                SearchEnumeratedGrid(&E, s);
            Refine(E, E.r0, s.lp, s.x, s.ws, s.row);
        } else {
            // Start from the current state projected onto the reduced simplex.
            double sum = 0.0;
            for (int q = 0; q < E.u; ++q) sum += E.f[E.freeIdx[q]];
            for (int q = 0; q < E.u; ++q)
                E.f[E.freeIdx[q]] = sum > 0 ? E.f[E.freeIdx[q]] * E.r0 / sum : E.r0 / E.u;
        }
        if (lineSearch_) LineSearch(E, E.r0, p.libraryFloat4);
    }
    double worst = 0.0;
    for (int q = 0; q < E.m; ++q) worst = std::max(worst, std::fabs(E.Residual(q)) * E.invTol[q]);
    if (worst > 1.0) s.outcome.outOfBoundary += 1;
    WriteFreeFractions(vp.comp, E.n, E.f);
}

namespace {

std::string NonlinearFailureText(const VoxelCode& f) {
    return Format("DatConNonlinearOpt: voxel %lld: fixed fractions exceed 1\n",
                  static_cast<long long>(f.voxel));
}

}  // namespace

std::int64_t CNonlinearGCM::Run(std::uint16_t* const* channels, std::int64_t first, std::int64_t count) {
    const ComputeLibParams& p = lib_.params;
    const std::vector<const ThreadOutcome*> outcomes = ResetOutcomes(scratch_, lib_);
    RunVisits(p, neighbours_, static_cast<int>(scratch_.size()), 64, first, count,
              [&](int t, std::int64_t v) { SolveVoxel(channels, v, *scratch_[t], 0); });
    return MergeOutcomes(lib_, outcomes, NonlinearFailureText);
}

std::int64_t CNonlinearGCM::RunAll(std::uint16_t* const* channels, std::int64_t total, std::int64_t rangeSize,
                                   const std::function<void(std::int64_t)>& progress) {
    const ComputeLibParams& p = lib_.params;
    const std::vector<const ThreadOutcome*> outcomes = ResetOutcomes(scratch_, lib_);
    const int threads = static_cast<int>(scratch_.size());
    if (matrixSearch_ && !lineSearch_ && exact_ && useExact_ && !neighbours_ && !p.maskWords) {
        // Whole chunks through the closed form's word path, the voxels it leaves through the
        // general one.
        const std::int64_t range = std::max<std::int64_t>(1, rangeSize);
        RunAllChunks(
            nullptr, threads, 1024, total, range, progress, [&](int t, std::int64_t s, std::int64_t e) {
                Scratch& scratch = *scratch_[t];
                auto other = [&](std::int64_t v) { SolveVoxel(channels, v, scratch, v / range, true); };
                scratch.outcome.outOfBoundary += exact_->SolveWords(channels, s, e, other);
            });
    } else {
        RunAllVisits(
            p, neighbours_, threads, 1024, total, rangeSize, progress,
            [&](int t, std::int64_t v, std::int64_t order) { SolveVoxel(channels, v, *scratch_[t], order); });
    }
    return MergeOutcomes(lib_, outcomes, NonlinearFailureText);
}

}  // namespace zun::zunlib
