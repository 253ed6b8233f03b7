// The linear programme of a voxel at its optimal vertex without the simplex: a vertex of the band
// polytope is fixed by as many active rows as the voxel has degrees of freedom, and neighbouring
// voxels tend to share theirs. The corner of the band box its multipliers point to is tried
// first, then the few last optimal sets of the thread; a vertex is kept only when it is feasible
// and its multipliers prove it the unique optimum, which is then the point the simplex would find.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "compute/kernelrun.h"

namespace zun::zunlib {

bool LinearVertex::Init(const ComputeLibParams& p) {
    if (p.minimiseCtError || !soft_.InitLinear(p)) return false;
    const int n = rows_.Size();
    fraction_.resize(kVoxelMax + 1);
    for (int w = 0; w <= kVoxelMax; ++w) fraction_[w] = w / double(kVoxelMax);
    interact_ = p.interactWithPreviousState != 0;
    for (int i = 0; i < n; ++i) {
        self_[i] = p.minimiseSelfEnergy ? p.linearObjectiveWeights[i] : 0.0;
        for (int k = 0; k < n; ++k) pair_[i][k] = p.linearInteractionEnergy[p.ShellIndex(0, i, k)];
    }
    UseLanes(true, MachineCpuLevel());
    return true;
}

void LinearVertex::UseLanes(bool on, CpuLevel level) {
    const int n = rows_.Size();
    lanes_.Fill(rows_, on, level);
    lanes_.interact = interact_;
    for (int i = 0; i < n; ++i) {
        lanes_.self[i] = self_[i];
        for (int k = 0; k < n; ++k) lanes_.pair[i][k] = pair_[i][k];
    }
}

template <int N>
[[gnu::always_inline]] inline bool LinearVertex::Vertex(const Key& key, const double* b, const double* prev,
                                                        double* f) const {
    const int n = N > 0 ? N : rows_.Size(), ct = n - 1;
    const ActiveRows::Face& face = rows_.At(key.units, key.ctRows);
    if (!face.usable) return false;
    double rhs[kMaxSize];
    int r = 0;
    rhs[r++] = 1.0;
    for (int j = 0; j < ct; ++j)
        if (key.ctRows >> j & 1u) rhs[r++] = b[j] + (key.upper >> j & 1u ? 1.0 : -1.0);
    for (int i = 0; i < n; ++i)
        if (key.units >> i & 1u) rhs[r++] = key.kink >> i & 1u ? prev[i] : 0.0;
    for (int i = 0; i < n; ++i) {
        if (key.units >> i & 1u) {
            f[i] = key.kink >> i & 1u ? prev[i] : 0.0;
            continue;
        }
        double x = 0.0;
        for (int c = 0; c < n; ++c) x += face.inv[i * n + c] * rhs[c];
        f[i] = x;
    }
    return true;
}

template <int N>
[[gnu::always_inline]] inline int LinearVertex::Violation(const Key& key, const double* b, double* f,
                                                          bool& unit, bool& upper) const {
    const int n = N > 0 ? N : rows_.Size(), ct = n - 1;
    int worst = -1;
    unit = true;
    for (int i = 0; i < n; ++i) {
        if (f[i] >= -1e-13) continue;
        if (std::isnan(f[i])) return -2;
        if (worst < 0 || f[i] < f[worst]) worst = i;
    }
    if (worst >= 0) return worst;
    for (int i = 0; i < n; ++i) f[i] = std::max(0.0, f[i]);
    unit = false;
    double over = 1e-11;
    for (int j = 0; j < ct; ++j) {
        if (key.ctRows >> j & 1u) continue;
        double x = -b[j];
        for (int i = 0; i < n; ++i) x += rows_.K(j, i) * f[i];
        if (std::isnan(x)) return -2;
        if (std::fabs(x) - 1.0 > over) {
            over = std::fabs(x) - 1.0;
            worst = j;
            upper = x > 0;
        }
    }
    return worst;
}

template <int N>
[[gnu::always_inline]] inline bool LinearVertex::Optimal(const Key& key, const double* cost, double eps,
                                                         const double* prev, const double* f) const {
    const int n = N > 0 ? N : rows_.Size(), ct = n - 1;
    const ActiveRows::Face& face = rows_.At(key.units, key.ctRows);
    // The objective's slope at the vertex, the tie-break's kinks taken at their side.
    double g[kMaxSize];
    for (int i = 0; i < n; ++i) {
        const double d = f[i] - prev[i];
        g[i] = cost[i] + ((key.kink >> i & 1u) || d == 0.0 ? 0.0 : (d > 0 ? eps : -eps));
    }
    // Multipliers of the active rows: an upper band must push back (negative), a lower band, a
    // zero fraction forward (positive); a kink may absorb less than the tie-break's weight. The
    // margin (near 1e-11) is a hundred times the gain below which the simplex stops pivoting
    // (kOptimalEps), so the vertex proven here is the one it ends at even where neighbouring
    // vertices differ by a part in 1e9 (a wider margin left those near-ties to the simplex).
    const double margin = 1e-5 * eps;
    int c = 1;
    for (int j = 0; j < ct; ++j) {
        if (!(key.ctRows >> j & 1u)) continue;
        double y = 0.0;
        for (int i = 0; i < n; ++i) y += face.inv[i * n + c] * g[i];
        ++c;
        if (key.upper >> j & 1u ? !(y < -margin) : !(y > margin)) return false;
    }
    for (int i = 0; i < n; ++i) {
        if (!(key.units >> i & 1u)) continue;
        double y = 0.0;
        for (int q = 0; q < n; ++q) y += face.inv[q * n + c] * g[q];
        ++c;
        if (key.kink >> i & 1u ? !(std::fabs(y) < eps - margin) : !(y > margin)) return false;
    }
    return true;
}

template <int N>
bool LinearVertex::TryKey(const Key& key, const double* b, const double* cost, double eps, const double* prev,
                          double* f) const {
    bool unit = false, upper = false;
    return Vertex<N>(key, b, prev, f) && Violation<N>(key, b, f, unit, upper) == -1 &&
           Optimal<N>(key, cost, eps, prev, f);
}

// Dual simplex steps over the table of faces from a vertex whose multipliers have the right signs
// (the band-box corner) but which violates row `enter` (a fraction if `unit`, else a band, at its
// upper side if `upper`); `f` holds that vertex. Each step holds the violated row and releases
// the active row the ratio test names, so the multipliers keep their signs, until the vertex is
// feasible; it is then proven or refused by the optimality check. Only the cost's slope steers
// the steps: the tie-break's kinks are left to the check (and the simplex).
template <int N>
bool LinearVertex::Walk(Key key, int enter, bool unit, bool upper, const double* b, const double* cost,
                        double eps, const double* prev, double* f, bool* bandsCannotMeet) const {
    const int n = N > 0 ? N : rows_.Size(), ct = n - 1;
    for (int step = 0; step < 2 * n; ++step) {
        // Releasing active row c moves the vertex along s * column c of the inverse (s = -1 off an
        // upper band, +1 off a lower band or a zero); it must carry the entering row toward its
        // bound, and the cheapest release per unit of that keeps the other multipliers' signs.
        const ActiveRows::Face& face = rows_.At(key.units, key.ctRows);
        int leave = -1;
        bool leaveUnit = false;
        double best = std::numeric_limits<double>::infinity(), rates = 0.0;
        int c = 1;
        auto consider = [&](int row, bool isUnit, double s) {
            double rate = 0.0;
            if (unit) {
                rate = s * face.inv[enter * n + c];
            } else {
                for (int i = 0; i < n; ++i) rate += rows_.K(enter, i) * face.inv[i * n + c];
                rate *= upper ? -s : s;
            }
            rates += std::fabs(rate);
            if (rate > 1e-12) {
                double y = 0.0;
                for (int i = 0; i < n; ++i) y += face.inv[i * n + c] * cost[i];
                const double ratio = std::fabs(y) / rate;
                if (ratio < best) {
                    best = ratio;
                    leave = row;
                    leaveUnit = isUnit;
                }
            }
            ++c;
        };
        for (int j = 0; j < ct; ++j)
            if (key.ctRows >> j & 1u) consider(j, false, key.upper >> j & 1u ? -1.0 : 1.0);
        for (int i = 0; i < n; ++i)
            if (key.units >> i & 1u) consider(i, true, 1.0);
        if (leave < 0) {
            // No active row can carry the entering one toward its bound: every point that keeps
            // the active rows (slacks of at most 2 in tolerance units, fractions of at most 1)
            // violates it by nearly as much as the vertex does. A point within d of every band
            // still misses it by the violation less d (1 + the rates), so wherever that margin
            // clears the simplex's feasibility tolerance many times over, the simplex too finds
            // the bands infeasible.
            if (bandsCannotMeet) {
                double violation = -f[enter];
                if (!unit) {
                    double x = -b[enter];
                    for (int i = 0; i < n; ++i) x += rows_.K(enter, i) * f[i];
                    violation = std::fabs(x) - 1.0;
                }
                *bandsCannotMeet = violation > 1e-5 * (1.0 + rates);
            }
            return false;
        }
        if (leaveUnit) {
            key.units &= ~(1u << leave);
            key.kink &= ~(1u << leave);
        } else {
            key.ctRows &= ~(1u << leave);
            key.upper &= ~(1u << leave);
        }
        if (unit) {
            key.units |= 1u << enter;
        } else {
            key.ctRows |= 1u << enter;
            if (upper) key.upper |= 1u << enter;
        }
        if (!Vertex<N>(key, b, prev, f)) return false;
        enter = Violation<N>(key, b, f, unit, upper);
        if (enter == -1) return Optimal<N>(key, cost, eps, prev, f);
        if (enter < 0) return false;
    }
    return false;
}

// Over the box of bands the fractions are f0 + sum_j t_j c_j with |t_j| <= 1 (f0 the point of
// zero residual, c_j the inverse's CT columns): a fraction whose largest value there is below
// zero cannot be met. The margin keeps every voxel the simplex might still call feasible.
template <int N>
bool LinearVertex::CannotMeet(const double* inv, const double* b) const {
    const int n = N > 0 ? N : rows_.Size(), ct = n - 1;
    for (int i = 0; i < n; ++i) {
        double top = inv[i * n];
        for (int j = 0; j < ct; ++j) top += inv[i * n + 1 + j] * b[j] + std::fabs(inv[i * n + 1 + j]);
        if (top < -1e-6) return true;
    }
    return false;
}

// The band-box corner as Vertex, Violation and Optimal take it, with the loops of the common
// case laid out for a known size (the same arithmetic in the same order): 1 when it is the proven
// optimum, -1 when fraction `enter` comes out negative (`key` then holds the corner), 0 otherwise.
template <int N>
[[gnu::always_inline]] inline int LinearVertex::InnerCorner(const double* inv, const double* b,
                                                            const double* cost, double eps,
                                                            const double* prev, double* f, Key& key,
                                                            int& enter) const {
    constexpr int n = N, ct = N - 1;
    double rhs[n];
    rhs[0] = 1.0;
    for (int j = 0; j < ct; ++j) {
        double y = 0.0;
        for (int i = 0; i < n; ++i) y += inv[i * n + 1 + j] * cost[i];
        const bool up = y < 0;
        key.upper |= unsigned(up) << j;
        rhs[1 + j] = b[j] + (up ? 1.0 : -1.0);
    }
    enter = -1;
    for (int i = 0; i < n; ++i) {
        double x = 0.0;
        for (int c = 0; c < n; ++c) x += inv[i * n + c] * rhs[c];
        f[i] = x;
        if (x >= -1e-13) continue;
        if (std::isnan(x)) return 0;
        if (enter < 0 || x < f[enter]) enter = i;
    }
    if (enter >= 0) return -1;
    double g[n];
    for (int i = 0; i < n; ++i) {
        f[i] = std::max(0.0, f[i]);
        const double d = f[i] - prev[i];
        g[i] = cost[i] + (d == 0.0 ? 0.0 : (d > 0 ? eps : -eps));
    }
    const double margin = 1e-5 * eps;
    for (int j = 0; j < ct; ++j) {
        double y = 0.0;
        for (int i = 0; i < n; ++i) y += inv[i * n + 1 + j] * g[i];
        if (key.upper >> j & 1u ? !(y < -margin) : !(y > margin)) return 0;
    }
    return 1;
}

template <int N>
[[gnu::always_inline]] inline bool LinearVertex::SolveScaled(const double* b, const double* cost, double eps,
                                                             const double* prev, double* f, Recent& recent,
                                                             bool* bandsCannotMeet) const {
    const int n = N > 0 ? N : rows_.Size(), ct = n - 1;
    // With every fraction away from zero and from its previous value the vertex is a corner of
    // the band box, each band at the side its multiplier pushes against: the common case, tried
    // first, and where it is not feasible the start of the dual steps. Then the thread's last
    // optimal sets.
    const ActiveRows::Face& inner = rows_.At(0, (1u << ct) - 1);
    if (inner.usable) {
        Key key{};
        key.ctRows = (1u << ct) - 1;
        int enter;
        if constexpr (N > 0) {
            const int corner = InnerCorner<N>(inner.inv, b, cost, eps, prev, f, key, enter);
            if (corner > 0) return true;
            return AfterCorner<N>(corner, key, enter, b, cost, eps, prev, f, recent, bandsCannotMeet);
        } else {
            for (int j = 0; j < ct; ++j) {
                double y = 0.0;
                for (int i = 0; i < n; ++i) y += inner.inv[i * n + 1 + j] * cost[i];
                if (y < 0) key.upper |= 1u << j;
            }
            Vertex<N>(key, b, prev, f);
            bool unit = false, upper = false;
            enter = Violation<N>(key, b, f, unit, upper);
            if (enter == -1 && Optimal<N>(key, cost, eps, prev, f)) return true;
            if (enter >= 0 && Walk<N>(key, enter, unit, upper, b, cost, eps, prev, f)) return true;
        }
    }
    return TryRecent<N>(b, cost, eps, prev, f, recent);
}

template <int N>
[[gnu::always_inline]] inline bool LinearVertex::TryRecent(const double* b, const double* cost, double eps,
                                                           const double* prev, double* f,
                                                           Recent& recent) const {
    for (int k = 0; k < recent.count; ++k) {
        if (!TryKey<N>(recent.keys[k], b, cost, eps, prev, f)) continue;
        std::rotate(recent.keys, recent.keys + k, recent.keys + k + 1);
        return true;
    }
    return false;
}

template <int N>
[[gnu::always_inline]] inline bool LinearVertex::AfterCorner(int corner, const Key& key, int enter,
                                                             const double* b, const double* cost, double eps,
                                                             const double* prev, double* f, Recent& recent,
                                                             bool* bandsCannotMeet, bool mayMeet) const {
    const ActiveRows::Face& inner = rows_.At(0, (1u << (N - 1)) - 1);
    // Noisy data: no vertex of bands that cannot meet is feasible, so neither the steps nor the
    // last optimal sets can answer the voxel.
    if (!mayMeet && CannotMeet<N>(inner.inv, b)) return false;
    if (corner < 0 && Walk<N>(key, enter, true, false, b, cost, eps, prev, f, bandsCannotMeet)) return true;
    if (bandsCannotMeet && *bandsCannotMeet) return false;
    if (TryRecent<N>(b, cost, eps, prev, f, recent)) return true;
    if (corner != 0) return false;
    // A feasible corner whose multipliers do not prove it: the optimum is often a vertex next to
    // it (one band let go for its other side, for a zero fraction or for a fraction held at its
    // previous value), each taken only with its own proof, where the simplex costs many times
    // as much.
    constexpr int n = N, ct = N - 1;
    auto found = [&](const Key& k) {
        if (!TryKey<N>(k, b, cost, eps, prev, f)) return false;
        recent.Remember(k);
        return true;
    };
    for (int j = 0; j < ct; ++j) {
        Key k = key;
        k.upper ^= 1u << j;
        if (found(k)) return true;
        for (int i = 0; i < n; ++i)
            for (int kink = 0; kink < 2; ++kink) {
                k = key;
                k.ctRows &= ~(1u << j);
                k.upper &= ~(1u << j);
                k.units |= 1u << i;
                k.kink |= unsigned(kink) << i;
                if (found(k)) return true;
            }
    }
    return false;
}

bool LinearVertex::Solve(const VoxelProblem& vp, const double* cost, double eps, const double* prev,
                         double* f, Recent& recent) const {
    const int n = rows_.Size(), ct = n - 1;
    if (vp.u != n || vp.m != ct || vp.r0 != 1.0) return false;
    double b[kMaxSize];
    for (int j = 0; j < ct; ++j) b[j] = vp.b[j] * (1.0 / vp.tol[j]);
    return SolveScaled<0>(b, cost, eps, prev, f, recent);
}

bool LinearVertex::SolveWords(std::uint16_t* const* channels, std::int64_t v, Recent& recent) const {
    return WithCompositionCount(rows_.Size(), [&](auto n) {
        return SolveWordsOf<decltype(n)::value>(channels, v, recent, false) == kWordsSolved;
    });
}

void LinearVertex::SolveWordRange(std::uint16_t* const* channels, std::int64_t first, std::int64_t end,
                                  Recent& recent, VoxelLeftover other, VoxelLeftover outside) const {
    const bool laidOut = WithCompositionCount(rows_.Size(), [&](auto n) {
        constexpr int N = decltype(n)::value;
        auto one = [&](std::int64_t v, const LaneLeftover* r) {
            const WordAnswer a =
                r ? ResumeWordsOf<N>(channels, v, *r, recent) : SolveWordsOf<N>(channels, v, recent, true);
            if (a == kWordsLeft)
                other.call(other.context, v);
            else if (a == kWordsSoft)
                outside.call(outside.context, v);
        };
        LaneLeftover left[kLaneBlock];
        auto lanes = [&recent](const InnerLaneData& d, std::uint16_t* const* ch, std::int64_t a,
                               std::int64_t count, std::uint64_t* done, LaneLeftover* l) {
            return LinearInnerLanes(d, ch, a, count, done, l, &recent.softLanes, &recent.soft);
        };
        ForLaneBlocks(lanes_, lanes, channels, first, end, one, left);
        return true;
    });
    if (!laidOut)
        for (std::int64_t v = first; v < end; ++v) other.call(other.context, v);
}

template <int N>
[[gnu::always_inline]] inline LinearVertex::WordAnswer LinearVertex::SolveWordsOf(std::uint16_t* const* channels,
                                                                                  std::int64_t v, Recent& recent,
                                                                                  bool soft) const {
    constexpr int n = N, ct = n - 1;
    double prev[kMaxSize], b[kMaxSize], cost[kMaxSize], f[kMaxSize];
    unsigned flags = 0;
    for (int i = 0; i < n; ++i) {
        const std::uint16_t w = channels[i][v];
        flags |= w;
        prev[i] = fraction_[w & kWordValue];
    }
    flags |= rows_.ScaledValues<ct>(channels + n, v, b);
    if (flags & (kWordFixed | kWordError)) return kWordsLeft;
    // The costs as LinearCosts forms them with no neighbour field.
    double maxCost = 0.0;
    for (int i = 0; i < n; ++i) {
        double c = self_[i];
        if (interact_) {
            double s = 0.0;
            for (int k = 0; k < n; ++k) s += pair_[i][k] * prev[k];
            c += s;
        }
        cost[i] = c;
        maxCost = std::max(maxCost, std::fabs(c));
    }
    const double eps = 1e-6 * (1.0 + std::max(maxCost, 0.0));
    bool walkedOut = false;
    if (!SolveScaled<N>(b, cost, eps, prev, f, recent, &walkedOut)) {
        const ActiveRows::Face& inner = rows_.At(0, (1u << ct) - 1);
        if (soft && inner.usable && (walkedOut || CannotMeet<N>(inner.inv, b)) &&
            SoftWordsOf<N>(channels, v, b, cost, prev, recent))
            return kWordsSoft;
        return kWordsLeft;
    }
    WriteFreeWords<N>(channels, v, f);
    return kWordsSolved;
}

// The general path's answer to a voxel whose bands cannot meet: the soft form with its own
// tie-break weight, the words rounded as WriteFreeFractions rounds every free composition.
template <int N>
[[gnu::always_inline]] inline bool LinearVertex::SoftWordsOf(std::uint16_t* const* channels, std::int64_t v,
                                                             const double* b, const double* cost,
                                                             const double* prev, Recent& recent) const {
    constexpr int n = N;
    double maxCost = 0.0;
    for (int i = 0; i < n; ++i) maxCost = std::max(maxCost, std::fabs(cost[i]));
    double f[kMaxSize];
    if (!SoftScaled(b, cost, 1e-6 * (1.0 + std::max(maxCost, 1.0)), prev, f, recent)) return false;
    WriteFreeWords<N>(channels, v, f);
    return true;
}

template <int N>
[[gnu::always_inline]] inline LinearVertex::WordAnswer LinearVertex::ResumeWordsOf(std::uint16_t* const* channels,
                                                                                   std::int64_t v,
                                                                                   const LaneLeftover& r,
                                                                                   Recent& recent) const {
    constexpr int n = N, ct = n - 1;
    if (r.flagged) return kWordsLeft;
    // Bands that cannot meet leave no vertex to find: the soft form answers at once (the lanes
    // may have done so already).
    auto soft = [&] {
        return SoftWordsOf<N>(channels, v, r.b, r.cost, r.prev, recent) ? kWordsSoft : kWordsLeft;
    };
    if (r.answered) return kWordsSoft;
    if (r.soft) return soft();
    // InnerCorner's outcome for the corner the lanes found: a fraction below zero to enter, or
    // (every fraction at or above zero, or one not a number) not proven.
    double f[kMaxSize];
    std::copy(r.f, r.f + n, f);
    int enter = -1, corner = -1;
    for (int i = 0; i < n; ++i) {
        const double x = f[i];
        if (x >= -1e-13) continue;
        if (std::isnan(x)) {
            corner = 0;
            break;
        }
        if (enter < 0 || x < f[enter]) enter = i;
    }
    if (enter < 0) corner = 0;
    Key key{};
    key.ctRows = (1u << ct) - 1;
    key.upper = r.upper;
    bool cannotMeet = false;
    if (!AfterCorner<N>(corner, key, enter, r.b, r.cost, r.eps, r.prev, f, recent, &cannotMeet, true))
        return cannotMeet ? soft() : kWordsLeft;
    WriteFreeWords<N>(channels, v, f);
    return kWordsSolved;
}

// The soft form is the non-linear closed form's problem without its smooth terms: the data
// term in tolerance units plus the linear costs, and the tie-break's kinks. Its certificate is
// taken with the costs alone, then again with the tie-break's slopes at the vertex found; the
// vertex is kept only when it holds with slopes that agree with it.
bool LinearVertex::SolveSoft(const VoxelProblem& vp, const double* cost, double eps, const double* prev,
                             double* f, Recent& recent) const {
    const int n = rows_.Size(), ct = n - 1;
    if (vp.u != n || vp.m != ct || vp.r0 != 1.0) return false;
    double b[kMaxSize];
    for (int j = 0; j < ct; ++j) b[j] = vp.b[j] * (1.0 / vp.tol[j]);
    return SoftScaled(b, cost, eps, prev, f, recent);
}

bool LinearVertex::SoftScaled(const double* b, const double* cost, double eps, const double* prev, double* f,
                              Recent& recent) const {
    const int n = rows_.Size();
    double h[kMaxSize] = {};
    for (int i = 0; i < n; ++i) h[i] = cost[i];
    // Neighbouring voxels tend to share their face, and the tie-break's slopes seldom move it.
    if (!soft_.SolveValues(b, h, f, &recent.soft)) return false;
    bool above[kMaxSize];
    for (int i = 0; i < n; ++i) {
        const double d = f[i] - prev[i];
        if (d == 0.0) return false;
        above[i] = d > 0;
        h[i] = cost[i] + (above[i] ? eps : -eps);
    }
    if (!soft_.SolveValues(b, h, f, &recent.soft)) return false;
    for (int i = 0; i < n; ++i) {
        const double d = f[i] - prev[i];
        if (d == 0.0 || (d > 0) != above[i]) return false;
    }
    return true;
}

bool LinearVertex::BandsCannotMeet(const VoxelProblem& vp) const {
    const int n = rows_.Size(), ct = n - 1;
    if (vp.u != n || vp.m != ct || vp.r0 != 1.0) return false;
    const ActiveRows::Face& inner = rows_.At(0, (1u << ct) - 1);
    if (!inner.usable) return false;
    double b[kMaxSize];
    for (int j = 0; j < ct; ++j) b[j] = vp.b[j] * (1.0 / vp.tol[j]);
    return CannotMeet<0>(inner.inv, b);
}

void LinearVertex::Learn(const VoxelProblem& vp, const double* prev, const double* f, Recent& recent) const {
    const int n = rows_.Size(), ct = n - 1;
    if (vp.u != n || vp.m != ct || vp.r0 != 1.0) return;
    Key key{};
    int active = 0;
    for (int j = 0; j < ct; ++j) {
        double x = -vp.b[j] * (1.0 / vp.tol[j]);
        for (int i = 0; i < n; ++i) x += rows_.K(j, i) * f[i];
        if (std::fabs(x - 1.0) < 1e-9 || std::fabs(x + 1.0) < 1e-9) {
            key.ctRows |= 1u << j;
            if (x > 0) key.upper |= 1u << j;
            ++active;
        }
    }
    for (int i = 0; i < n; ++i) {
        const bool kink = std::fabs(f[i] - prev[i]) < 1e-12, zero = f[i] < 1e-12;
        if (!kink && !zero) continue;
        key.units |= 1u << i;
        if (kink) key.kink |= 1u << i;
        ++active;
    }
    if (active == n - 1) recent.Remember(key);
}

}  // namespace zun::zunlib
