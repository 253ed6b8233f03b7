// Data-constrained linear optimisation: one small linear programme per voxel.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

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

    // Minimises the objective row over the columns < allowed. Returns false when unbounded or
    // the iteration guard is hit.
    bool Optimise(int allowed, bool& unbounded) {
        unbounded = false;
        const int guard = 50 * (m + cols) + 100;
        const int blandAfter = 2 * (m + cols) + 10;
        for (int it = 0; it < guard; ++it) {
            // The largest reduction first; Bland's first improving column once it may cycle.
            int pc = -1;
            if (it < blandAfter) {
                double best = -kEps;
                for (int c = 0; c < allowed; ++c)
                    if (at(m, c) < best) {
                        best = at(m, c);
                        pc = c;
                    }
            } else {
                for (int c = 0; c < allowed; ++c)
                    if (at(m, c) < -kEps) {
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

}  // namespace

int SolveSmallLp(const SmallLp& lp, std::vector<double>& x, double& objective, LpWorkspace& ws) {
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
    bool unbounded = false;
    if (cols > artStart) {
        // Phase I: minimise the sum of the artificials.
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
    }
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
    if (!T.Optimise(artStart, unbounded)) return unbounded ? kLpUnbounded : kLpFailed;
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

// ---------------------------------------------------------------------------------------------

void WriteFreeFractions(std::uint16_t* const* comp, int n, const double* f) {
    int fixedSum = 0;
    int w[kMaxCompositions];
    int freeSum = 0;
    for (int i = 0; i < n; ++i) {
        if (*comp[i] & kWordFixed) {
            fixedSum += *comp[i] & kWordValue;
            continue;
        }
        w[i] = static_cast<int>(std::lround(std::clamp(f[i], 0.0, 1.0) * kVoxelMax));
        freeSum += w[i];
    }
    int residue = std::max(0, kVoxelMax - fixedSum) - freeSum;
    // The residue goes one by one to the free words that can take it, in index order.
    for (int pass = 0; residue != 0 && pass < kVoxelMax; ++pass) {
        bool moved = false;
        for (int i = 0; i < n && residue != 0; ++i) {
            if (*comp[i] & kWordFixed) continue;
            if (residue > 0 && w[i] < kVoxelMax) {
                ++w[i];
                --residue;
                moved = true;
            } else if (residue < 0 && w[i] > 0) {
                --w[i];
                ++residue;
                moved = true;
            }
        }
        if (!moved) break;
    }
    for (int i = 0; i < n; ++i)
        if (!(*comp[i] & kWordFixed))
            *comp[i] = static_cast<std::uint16_t>((*comp[i] & ~(kWordValue | kWordError)) | w[i]);
}

struct CLinearSM::Scratch {
    SmallLp lp;
    std::vector<double> x, row;
    LpWorkspace ws;
    std::int64_t outOfBoundary = 0;
    int status = 0;
    std::vector<VoxelCode> failures;
};

CLinearSM::CLinearSM(CLibDatConLinearOpt& lib) : lib_(lib) {
    const int nt = KernelThreads(lib.params);
    for (int t = 0; t < nt; ++t) scratch_.push_back(std::make_unique<Scratch>());
}

CLinearSM::~CLinearSM() = default;

namespace {

// Solves one voxel. Returns 1 when it was out of boundary; sets `status` on failure.
int SolveLinearVoxel(const ComputeLibParams& p, NeighbourInteraction* nb, std::uint16_t* const* channels,
                     std::int64_t v, CLinearSM* /*unused*/, SmallLp& lp, std::vector<double>& x,
                     LpWorkspace& tableau, std::vector<double>& row, int& status) {
    const int n = p.comp + 1;
    std::uint16_t* comp[kMaxCompositions];
    int freeIdx[kMaxCompositions];
    int u = 0;
    double fixedFrac = 0.0;
    for (int i = 0; i < n; ++i) {
        comp[i] = channels[i] + v;
        if (*comp[i] & kWordFixed)
            fixedFrac += (*comp[i] & kWordValue) / double(kVoxelMax);
        else
            freeIdx[u++] = i;
    }
    if (u == 0) return 0;
    const double r0 = 1.0 - fixedFrac;
    if (r0 < -1e-12) {
        *comp[freeIdx[0]] |= kWordError;
        status = 2;
        return 0;
    }
    // Previous state and the linear cost of each free composition.
    double prev[kMaxCompositions], h[kMaxCompositions] = {};
    if (nb) {
        nb->PreviousFractions(v, prev);
        nb->NeighbourField(v, p.linearInteractionEnergy, h);
    } else {
        for (int i = 0; i < n; ++i) prev[i] = (*comp[i] & kWordValue) / double(kVoxelMax);
    }
    double cost[kMaxCompositions];
    double maxCost = 0.0;
    for (int q = 0; q < u; ++q) {
        const int i = freeIdx[q];
        double c = p.minimiseSelfEnergy ? p.linearObjectiveWeights[i] : 0.0;
        if (p.interactWithPreviousState) {
            double s = h[i];
            for (int k = 0; k < n; ++k) s += p.linearInteractionEnergy[p.ShellIndex(0, i, k)] * prev[k];
            c += s;
        }
        cost[q] = c;
        maxCost = std::max(maxCost, std::fabs(c));
    }
    // Usable CT values, in tolerance units.
    int ctIdx[kMaxCtChannels + 1];
    double b[kMaxCtChannels + 1], tolHat[kMaxCtChannels + 1];
    int m = 0;
    for (int j = 1; j <= p.ct; ++j) {
        const std::uint16_t w = channels[p.comp + j][v];
        if (w & kWordError) continue;
        const auto& pair = p.channelAtten[p.comp + j];
        double mu = pair[0] + (pair[1] - pair[0]) * static_cast<float>((w & kWordValue) / double(kVoxelMax));
        for (int i = 0; i < n; ++i)
            if (*comp[i] & kWordFixed) mu -= p.Matrix(j, i) * (*comp[i] & kWordValue) / double(kVoxelMax);
        const double t = p.ctAccuracy[j] > 0 ? p.ctAccuracy[j] : p.matrixRowMax[j] * 1e-3;
        ctIdx[m] = j;
        b[m] = mu;
        tolHat[m] = t > 0 ? t : 1e-6;
        ++m;
    }
    double f[kMaxCompositions] = {};
    int outside = 0;
    if (u == 1) {
        f[freeIdx[0]] = r0;
        for (int q = 0; q < m; ++q)
            if (std::fabs(p.Matrix(ctIdx[q], freeIdx[0]) * r0 - b[q]) > tolHat[q]) outside = 1;
        WriteFreeFractions(comp, n, f);
        return outside;
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
                const double w = weightScale < 0 ? p.ctDataSetWeights[ctIdx[q]] : weightScale;
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
            for (int k = 0; k < u; ++k) row[k] = p.Matrix(ctIdx[q], freeIdx[k]) / tolHat[q];
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
        build(false, 0.0);
        r = SolveSmallLp(lp, x, obj, tableau);
        if (r == kLpInfeasible) {
            outside = 1;
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
    WriteFreeFractions(comp, n, f);
    if (outside) status = -1;
    return outside;
}

}  // namespace

std::int64_t CLinearSM::Run(std::uint16_t* const* channels, std::int64_t first, std::int64_t count) {
    const ComputeLibParams& p = lib_.params;
    const int nt = static_cast<int>(scratch_.size());
    for (auto& s : scratch_) {
        s->outOfBoundary = 0;
        s->status = 0;
        s->failures.clear();
    }
    auto runSegment = [&](std::int64_t a, std::int64_t b) {
        omp_set_dynamic(0);
#pragma omp parallel for num_threads(nt) schedule(dynamic, 256)
        for (std::int64_t pos = a; pos < b; ++pos) {
            Scratch& s = *scratch_[omp_get_thread_num()];
            const std::int64_t v = neighbours_ ? neighbours_->VisitVoxel(pos) : pos;
            if (!neighbours_ && p.maskWords && (p.maskWords[v] & kWordValue) != p.maskWord) continue;
            int status = 0;
            s.outOfBoundary +=
                SolveLinearVoxel(p, neighbours_, channels, v, this, s.lp, s.x, s.ws, s.row, status);
            if (status != 0) {
                s.status = MergeCode(s.status, status);
                s.failures.push_back({status, v});
            }
        }
    };
    const std::int64_t end = first + count;
    for (std::int64_t a = first; a < end;) {
        std::int64_t b = end;
        if (neighbours_) {
            neighbours_->BeginRange(a);
            b = std::min(end, neighbours_->SweepEnd(a));
        }
        runSegment(a, b);
        a = b;
    }
    std::int64_t total = 0;
    std::vector<VoxelCode> failures;
    for (auto& s : scratch_) {
        total += s->outOfBoundary;
        lib_.MergeStatus(s->status);
        failures.insert(failures.end(), s->failures.begin(), s->failures.end());
    }
    std::sort(failures.begin(), failures.end(),
              [](const VoxelCode& a, const VoxelCode& b) { return a.voxel < b.voxel; });
    for (const VoxelCode& f : failures) {
        const char* what = f.code == 2 ? "fixed fractions exceed 1"
                           : f.code == 1
                               ? "no solution found"
                               : "CT data outside the attainable range, solved with soft constraints";
        lib_.Report(f.code, f.voxel,
                    Format("DatConLinearOpt: voxel %lld: %s\n", static_cast<long long>(f.voxel), what));
    }
    return total;
}

}  // namespace zun::zunlib
