// Data-constrained linear optimisation: one small linear programme per voxel.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "compute/kernelrun.h"
#include "compute/kernels.h"
#include "compute/log.h"

namespace zun::zunlib {

void SmallLp::Reset(int nvars) {
    vars = nvars;
    cost.assign(nvars, 0.0);
    rows.clear();
    rhs.clear();
    sense.clear();
}

void SmallLp::AddRow(const double* a, Sense s, double b) {
    rows.insert(rows.end(), a, a + vars);
    rhs.push_back(b);
    sense.push_back(s);
}

namespace {

constexpr double kEps = 1e-9;
constexpr double kOptimalEps = 1e-13;

// Tableau of (m+1) rows: rows 0..m-1 constraints, row m the objective; last column the rhs.
struct Tableau {
    double* t;
    int m, cols;
    int* basis;
    double& at(int r, int c) { return t[std::size_t(r) * (cols + 1) + c]; }
    double& rhs(int r) { return t[std::size_t(r) * (cols + 1) + cols]; }

    void Pivot(int pr, int pc) {
        const double inv = 1.0 / at(pr, pc);
        for (int c = 0; c <= cols; ++c) at(pr, c) *= inv;
        for (int r = 0; r <= m; ++r) {
            if (r == pr) continue;
            const double f = at(r, pc);
            if (f == 0.0) continue;
            double* row = &at(r, 0);
            const double* prow = &at(pr, 0);
            for (int c = 0; c <= cols; ++c) row[c] -= f * prow[c];
        }
        basis[pr] = pc;
    }

    // Minimises the objective row over the columns < allowed, taking a column while its reduced
    // cost is below -`tolerance`. Returns false when unbounded or the iteration guard is hit.
    bool Optimise(int allowed, bool& unbounded, double tolerance = kEps) {
        unbounded = false;
        const int guard = 50 * (m + cols) + 100;
        const int blandAfter = 2 * (m + cols) + 10;
        for (int it = 0; it < guard; ++it) {
            // The largest reduction first; Bland's first improving column once it may cycle.
            int pc = -1;
            if (it < blandAfter) {
                double best = -tolerance;
                for (int c = 0; c < allowed; ++c)
                    if (at(m, c) < best) {
                        best = at(m, c);
                        pc = c;
                    }
            } else {
                for (int c = 0; c < allowed; ++c)
                    if (at(m, c) < -tolerance) {
                        pc = c;
                        break;
                    }
            }
            if (pc < 0) return true;
            int pr = -1;
            double best = 0.0;
            for (int r = 0; r < m; ++r) {
                const double a = at(r, pc);
                if (a <= kEps) continue;
                const double ratio = rhs(r) / a;
                if (pr < 0 || ratio < best - kEps || (ratio <= best + kEps && basis[r] < basis[pr])) {
                    pr = r;
                    best = ratio;
                }
            }
            if (pr < 0) {
                unbounded = true;
                return false;
            }
            Pivot(pr, pc);
        }
        return false;
    }
};

// Lays out the columns (structural, slack, artificial) and fills the tableau with a starting
// basis: each row's slack where it can start there, else a crash column, else an artificial.
void SetUpTableau(const SmallLp& lp, LpWorkspace& ws) {
    const int m = static_cast<int>(lp.rhs.size());
    const int n = lp.vars;
    // Each row gets an artificial unless its slack can start in the basis.
    ws.slackCol.assign(m, -1);
    ws.artCol.assign(m, -1);
    ws.sign.assign(m, 1.0);
    ws.basis.assign(m, 0);
    int col = n;
    for (int r = 0; r < m; ++r)
        if (lp.sense[r] != SmallLp::Eq) ws.slackCol[r] = col++;
    const int artStart = col;
    // A row whose slack cannot start in the basis takes, where it has one, a structural column
    // that appears in no other row (a crash basis); only the rest need artificials.
    ws.crash.assign(m, -1);
    ws.used.assign(n, 0);
    for (int r = 0; r < m; ++r) {
        const double slackCoef = lp.sense[r] == SmallLp::Le ? 1.0 : (lp.sense[r] == SmallLp::Ge ? -1.0 : 0.0);
        ws.sign[r] = lp.rhs[r] < 0 ? -1.0 : 1.0;
        if (slackCoef * ws.sign[r] > 0) continue;
        for (int c = 0; c < n && ws.crash[r] < 0; ++c) {
            if (ws.used[c] || lp.rows[std::size_t(r) * n + c] * ws.sign[r] <= 0) continue;
            bool alone = true;
            for (int q = 0; q < m && alone; ++q) alone = q == r || lp.rows[std::size_t(q) * n + c] == 0.0;
            if (alone) {
                ws.crash[r] = c;
                ws.used[c] = 1;
            }
        }
        if (ws.crash[r] < 0) ws.artCol[r] = col++;
    }
    const int cols = col;
    ws.rows = m;
    ws.vars = n;
    ws.cols = cols;
    ws.artStart = artStart;
    ws.tableau.assign(std::size_t(m + 1) * (cols + 1), 0.0);
    Tableau T{ws.tableau.data(), m, cols, ws.basis.data()};
    const auto& sign = ws.sign;
    const auto& slackCol = ws.slackCol;
    const auto& artCol = ws.artCol;
    for (int r = 0; r < m; ++r) {
        for (int c = 0; c < n; ++c) T.at(r, c) = sign[r] * lp.rows[std::size_t(r) * n + c];
        if (slackCol[r] >= 0) T.at(r, slackCol[r]) = sign[r] * (lp.sense[r] == SmallLp::Le ? 1.0 : -1.0);
        T.rhs(r) = sign[r] * lp.rhs[r];
        if (artCol[r] >= 0) {
            T.at(r, artCol[r]) = 1.0;
            T.basis[r] = artCol[r];
        } else if (ws.crash[r] >= 0) {
            const double inv = 1.0 / T.at(r, ws.crash[r]);
            for (int c = 0; c <= cols; ++c) T.at(r, c) *= inv;
            T.basis[r] = ws.crash[r];
        } else {
            T.basis[r] = slackCol[r];
        }
    }
}

// Phase I: minimises the sum of the artificials, then pivots out those left in the basis at
// zero (or clears their row when it is redundant).
int PhaseOne(Tableau& T, int artStart, const std::vector<int>& artCol) {
    const int m = T.m, cols = T.cols;
    bool unbounded = false;
    for (int r = 0; r < m; ++r)
        if (artCol[r] >= 0)
            for (int c = 0; c <= cols; ++c)
                if (c < artStart || c == cols) T.at(m, c) -= T.at(r, c);
    if (!T.Optimise(cols, unbounded)) return kLpFailed;
    if (-T.rhs(m) > 1e-7 * (1.0 + std::fabs(T.rhs(m)))) {
        double infeas = 0.0;
        for (int r = 0; r < m; ++r)
            if (T.basis[r] >= artStart) infeas += T.rhs(r);
        if (infeas > 1e-7) return kLpInfeasible;
    }
    // Artificials left in the basis at zero are pivoted out, or their row is redundant.
    for (int r = 0; r < m; ++r) {
        if (T.basis[r] < artStart) continue;
        int pc = -1;
        for (int c = 0; c < artStart; ++c)
            if (std::fabs(T.at(r, c)) > 1e-9) {
                pc = c;
                break;
            }
        if (pc >= 0) {
            T.Pivot(r, pc);
        } else {
            for (int c = 0; c <= cols; ++c) T.at(r, c) = 0.0;
        }
    }
    return kLpOptimal;
}

}  // namespace

int SolveSmallLp(const SmallLp& lp, std::vector<double>& x, double& objective, LpWorkspace& ws) {
    SetUpTableau(lp, ws);
    const int m = ws.rows, n = ws.vars, cols = ws.cols, artStart = ws.artStart;
    Tableau T{ws.tableau.data(), m, cols, ws.basis.data()};
    if (cols > artStart) {
        const int r = PhaseOne(T, artStart, ws.artCol);
        if (r != kLpOptimal) return r;
    }
    bool unbounded = false;
    // Phase II.
    for (int c = 0; c <= cols; ++c) T.at(m, c) = 0.0;
    for (int c = 0; c < n; ++c) T.at(m, c) = lp.cost[c];
    for (int r = 0; r < m; ++r) {
        const int b = T.basis[r];
        if (b < n && lp.cost[b] != 0.0) {
            const double f = lp.cost[b];
            for (int c = 0; c <= cols; ++c) T.at(m, c) -= f * T.at(r, c);
        }
    }
    // The voxel programmes' vertices can differ in objective by a part in 1e9 (the tie-break's
    // weight over CT rows scaled by their tolerances), below the pivoting tolerance: once no
    // column gains that much, the ones that gain at all are still taken, so the optimum found
    // is the optimum and not a neighbour of it.
    if (!T.Optimise(artStart, unbounded) || !T.Optimise(artStart, unbounded, kOptimalEps))
        return unbounded ? kLpUnbounded : kLpFailed;
    x.assign(n, 0.0);
    for (int r = 0; r < m; ++r)
        if (T.basis[r] < n) x[T.basis[r]] = T.rhs(r);
    objective = 0.0;
    for (int c = 0; c < n; ++c) {
        if (!std::isfinite(x[c])) return kLpFailed;
        objective += lp.cost[c] * x[c];
    }
    return kLpOptimal;
}

bool LpBasisStillOptimal(const LpWorkspace& ws, const std::vector<double>& cost) {
    const int stride = ws.cols + 1;
    for (int c = 0; c < ws.artStart; ++c) {
        double d = c < ws.vars ? cost[c] : 0.0;
        for (int r = 0; r < ws.rows; ++r) {
            const int b = ws.basis[r];
            if (b < ws.vars && cost[b] != 0.0) d -= cost[b] * ws.tableau[std::size_t(r) * stride + c];
        }
        if (d < -kEps) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

void WriteFreeFractions(std::uint16_t* const* comp, int n, const double* f) {
    int fixedSum = 0, count = 0;
    double free[kMaxCompositions];
    int w[kMaxCompositions];
    for (int i = 0; i < n; ++i) {
        if (*comp[i] & kWordFixed)
            fixedSum += *comp[i] & kWordValue;
        else
            free[count++] = f[i];
    }
    RoundFractionWords(free, count, std::max(0, kVoxelMax - fixedSum), w);
    for (int i = 0, k = 0; i < n; ++i)
        if (!(*comp[i] & kWordFixed))
            *comp[i] = static_cast<std::uint16_t>((*comp[i] & ~(kWordValue | kWordError)) | w[k++]);
}

bool VoxelProblem::Load(const ComputeLibParams& p, std::uint16_t* const* channels, std::int64_t v,
                        int& failure) {
    n = p.comp + 1;
    u = 0;
    m = 0;
    double fixedFrac = 0.0;
    for (int i = 0; i < n; ++i) {
        comp[i] = channels[i] + v;
        f[i] = (*comp[i] & kWordValue) / double(kVoxelMax);
        if (*comp[i] & kWordFixed)
            fixedFrac += f[i];
        else
            freeIdx[u++] = i;
    }
    if (u == 0) return false;
    r0 = 1.0 - fixedFrac;
    if (r0 < -1e-12) {
        *comp[freeIdx[0]] |= kWordError;
        failure = 2;
        return false;
    }
    for (int j = 1; j <= p.ct && m < kMaxCtChannels; ++j) {
        const std::uint16_t w = channels[p.comp + j][v];
        if (w & kWordError) continue;
        const auto& pair = p.channelAtten[p.comp + j];
        double mu = pair[0] + (pair[1] - pair[0]) * static_cast<float>((w & kWordValue) / double(kVoxelMax));
        for (int i = 0; i < n; ++i)
            if (*comp[i] & kWordFixed) mu -= p.Matrix(j, i) * f[i];
        const double t = p.ctAccuracy[j] > 0 ? p.ctAccuracy[j] : p.matrixRowMax[j] * 1e-3;
        ctIdx[m] = j;
        b[m] = mu;
        tol[m] = t > 0 ? t : 1e-6;
        ++m;
    }
    return true;
}

struct CLinearSM::Scratch {
    SmallLp lp;
    std::vector<double> x, row;
    LpWorkspace ws;
    LinearVertex::Recent recent;
    ThreadOutcome outcome;
};

CLinearSM::CLinearSM(CLibDatConLinearOpt& lib) : lib_(lib) {
    const int nt = KernelThreads(lib.params);
    for (int t = 0; t < nt; ++t) scratch_.push_back(std::make_unique<Scratch>());
    vertex_ = std::make_unique<LinearVertex>();
    if (!vertex_->Init(lib.params)) vertex_.reset();
}

CLinearSM::~CLinearSM() = default;

void CLinearSM::UseLanes(bool on, CpuLevel level) {
    if (vertex_) vertex_->UseLanes(on, level);
}

namespace {

// The linear cost of each free composition: its self energy and its interaction with the
// previous state of the voxel and of its neighbours.
void LinearCosts(const ComputeLibParams& p, NeighbourInteraction* nb, const VoxelProblem& vp, std::int64_t v,
                 double* cost, double& maxCost) {
    double prev[kMaxCompositions], h[kMaxCompositions] = {};
    if (nb) {
        nb->PreviousFractions(v, prev);
        nb->NeighbourField(v, p.linearInteractionEnergy, h);
    } else {
        for (int i = 0; i < vp.n; ++i) prev[i] = vp.f[i];
    }
    maxCost = 0.0;
    for (int q = 0; q < vp.u; ++q) {
        const int i = vp.freeIdx[q];
        double c = p.minimiseSelfEnergy ? p.linearObjectiveWeights[i] : 0.0;
        if (p.interactWithPreviousState) {
            double s = h[i];
            for (int k = 0; k < vp.n; ++k) s += p.linearInteractionEnergy[p.ShellIndex(0, i, k)] * prev[k];
            c += s;
        }
        cost[q] = c;
        maxCost = std::max(maxCost, std::fabs(c));
    }
}

// Solves one voxel. Returns 1 when it was out of boundary; sets `status` on failure.
int SolveLinearVoxel(const ComputeLibParams& p, NeighbourInteraction* nb, std::uint16_t* const* channels,
                     std::int64_t v, SmallLp& lp, std::vector<double>& x, LpWorkspace& tableau,
                     std::vector<double>& row, const LinearVertex* vertex, bool vertexTried,
                     LinearVertex::Recent& recent, int& status) {
    VoxelProblem vp;
    if (!vp.Load(p, channels, v, status)) return 0;
    const int n = vp.n, u = vp.u, m = vp.m;
    const double r0 = vp.r0;
    const int* freeIdx = vp.freeIdx;
    std::uint16_t* const* comp = vp.comp;
    const double* b = vp.b;
    const double* tolHat = vp.tol;
    double cost[kMaxCompositions], maxCost;
    LinearCosts(p, nb, vp, v, cost, maxCost);
    // The previous state the tie-break keeps close to.
    double prev[kMaxCompositions];
    if (nb)
        nb->PreviousFractions(v, prev);
    else
        for (int i = 0; i < n; ++i) prev[i] = vp.f[i];
    double f[kMaxCompositions] = {};
    int outside = 0;
    if (u == 1) {
        f[freeIdx[0]] = r0;
        for (int q = 0; q < m; ++q)
            if (std::fabs(VoxelProblem::A(p, vp, q, 0) * r0 - b[q]) > tolHat[q]) outside = 1;
        WriteFreeFractions(comp, n, f);
        return outside;
    }
    // The tie-break's weight of the band programme (the soft form's weights do not enter it).
    const double bandEps = 1e-6 * (1.0 + std::max(maxCost, 0.0));
    if (vertex && !vertexTried && vertex->Solve(vp, cost, bandEps, prev, f, recent)) {
        WriteFreeFractions(comp, n, f);
        return 0;
    }
    auto build = [&](bool soft, double weightScale) {
        // Variables: f (u), then e+/e- per CT value when soft, then d+/d- per free composition.
        const int ne = soft ? 2 * m : 0;
        const int nv = u + ne + 2 * u;
        lp.Reset(nv);
        double maxW = 0.0;
        for (int q = 0; q < u; ++q) lp.cost[q] = cost[q];
        if (soft)
            for (int q = 0; q < m; ++q) {
                const double w = weightScale < 0 ? p.ctDataSetWeights[vp.ctIdx[q]] : weightScale;
                lp.cost[u + 2 * q] = lp.cost[u + 2 * q + 1] = w;
                maxW = std::max(maxW, std::fabs(w));
            }
        const double eps = 1e-6 * (1.0 + std::max(maxCost, maxW));
        for (int q = 0; q < 2 * u; ++q) lp.cost[u + ne + q] = eps;
        row.assign(nv, 0.0);
        for (int q = 0; q < u; ++q) row[q] = 1.0;
        lp.AddRow(row.data(), SmallLp::Eq, r0);
        for (int q = 0; q < m; ++q) {
            std::fill(row.begin(), row.end(), 0.0);
            for (int k = 0; k < u; ++k) row[k] = VoxelProblem::A(p, vp, q, k) / tolHat[q];
            if (soft) {
                row[u + 2 * q] = 1.0;
                row[u + 2 * q + 1] = -1.0;
                lp.AddRow(row.data(), SmallLp::Eq, b[q] / tolHat[q]);
            } else {
                lp.AddRow(row.data(), SmallLp::Le, b[q] / tolHat[q] + 1.0);
                lp.AddRow(row.data(), SmallLp::Ge, b[q] / tolHat[q] - 1.0);
            }
        }
        for (int k = 0; k < u; ++k) {
            std::fill(row.begin(), row.end(), 0.0);
            row[k] = 1.0;
            row[u + ne + 2 * k] = -1.0;
            row[u + ne + 2 * k + 1] = 1.0;
            lp.AddRow(row.data(), SmallLp::Eq, prev[freeIdx[k]]);
        }
    };
    double obj = 0.0;
    int r;
    if (p.minimiseCtError) {
        build(true, -1.0);
        r = SolveSmallLp(lp, x, obj, tableau);
    } else {
        // Voxels whose bands provably cannot meet skip the band programme.
        r = kLpInfeasible;
        if (!vertex || !vertex->BandsCannotMeet(vp)) {
            build(false, 0.0);
            r = SolveSmallLp(lp, x, obj, tableau);
        }
        if (r == kLpInfeasible) {
            outside = 1;
            if (vertex &&
                vertex->SolveSoft(vp, cost, 1e-6 * (1.0 + std::max(maxCost, 1.0)), prev, f, recent)) {
                WriteFreeFractions(comp, n, f);
                status = -1;
                return outside;
            }
            build(true, 1.0);
            r = SolveSmallLp(lp, x, obj, tableau);
        }
    }
    if (r != kLpOptimal) {
        *comp[freeIdx[0]] |= kWordError;
        status = 1;
        return outside;
    }
    for (int q = 0; q < u; ++q) f[freeIdx[q]] = std::max(0.0, x[q]);
    if (vertex && !outside) vertex->Learn(vp, prev, f, recent);
    WriteFreeFractions(comp, n, f);
    if (outside) status = -1;
    return outside;
}

}  // namespace

namespace {

std::string LinearFailureText(const VoxelCode& f) {
    const char* what = f.code == 2   ? "fixed fractions exceed 1"
                       : f.code == 1 ? "no solution found"
                                     : "CT data outside the attainable range, solved with soft constraints";
    return Format("DatConLinearOpt: voxel %lld: %s\n", static_cast<long long>(f.voxel), what);
}

}  // namespace

std::int64_t CLinearSM::Run(std::uint16_t* const* channels, std::int64_t first, std::int64_t count) {
    const ComputeLibParams& p = lib_.params;
    const std::vector<const ThreadOutcome*> outcomes = ResetOutcomes(scratch_, lib_);
    const LinearVertex* vertex = useVertex_ ? vertex_.get() : nullptr;
    const bool words = vertex && !neighbours_;
    RunVisits(p, neighbours_, static_cast<int>(scratch_.size()), 256, first, count,
              [&](int t, std::int64_t v) {
                  Scratch& s = *scratch_[t];
                  if (words && vertex->SolveWords(channels, v, s.recent)) return;
                  int status = 0;
                  s.outcome.outOfBoundary += SolveLinearVoxel(p, neighbours_, channels, v, s.lp, s.x, s.ws,
                                                              s.row, vertex, words, s.recent, status);
                  if (status != 0) s.outcome.Fail(status, v);
              });
    return MergeOutcomes(lib_, outcomes, LinearFailureText);
}

std::int64_t CLinearSM::RunAll(std::uint16_t* const* channels, std::int64_t total, std::int64_t rangeSize,
                               const std::function<void(std::int64_t)>& progress) {
    const ComputeLibParams& p = lib_.params;
    const std::vector<const ThreadOutcome*> outcomes = ResetOutcomes(scratch_, lib_);
    const LinearVertex* vertex = useVertex_ ? vertex_.get() : nullptr;
    const bool words = vertex && !neighbours_;
    auto general = [&](int t, std::int64_t v, std::int64_t order) {
        Scratch& s = *scratch_[t];
        int status = 0;
        s.outcome.outOfBoundary += SolveLinearVoxel(p, neighbours_, channels, v, s.lp, s.x, s.ws, s.row,
                                                    vertex, words, s.recent, status);
        if (status != 0) s.outcome.Fail(status, v, order);
    };
    const int threads = static_cast<int>(scratch_.size());
    if (words && !p.maskWords) {
        // Whole chunks through the word path, the voxels it leaves through the general one.
        const std::int64_t range = std::max<std::int64_t>(1, rangeSize);
        RunAllChunks(nullptr, threads, 1024, total, range, progress,
                     [&](int t, std::int64_t s, std::int64_t e) {
                         auto other = [&](std::int64_t v) { general(t, v, v / range); };
                         // Answered in the soft form: counted and reported as the general path does.
                         auto outside = [&](std::int64_t v) {
                             ThreadOutcome& o = scratch_[t]->outcome;
                             ++o.outOfBoundary;
                             o.Fail(-1, v, v / range);
                         };
                         vertex->SolveWords(channels, s, e, scratch_[t]->recent, other, outside);
                     });
    } else {
        RunAllVisits(p, neighbours_, threads, 1024, total, rangeSize, progress,
                     [&](int t, std::int64_t v, std::int64_t order) {
                         if (words && vertex->SolveWords(channels, v, scratch_[t]->recent)) return;
                         general(t, v, order);
                     });
    }
    return MergeOutcomes(lib_, outcomes, LinearFailureText);
}

}  // namespace zun::zunlib
