// The linear programme of a voxel at its optimal vertex without the simplex: a vertex of the band
// polytope is fixed by as many active rows as the voxel has degrees of freedom, and neighbouring
// voxels tend to share theirs. The corner of the band box its multipliers point to is tried
// first, then the few last optimal sets of the thread; a vertex is kept only when it is feasible
// and its multipliers prove it the unique optimum, which is then the point the simplex would find.
#include <algorithm>
#include <bit>
#include <cmath>

#include "compute/kernelrun.h"

namespace zun::zunlib {

bool LinearVertex::Init(const ComputeLibParams& p) {
    if (p.minimiseCtError) return false;
    return rows_.Init(p);
}

bool LinearVertex::TryKey(const Key& key, const double* b, const double* cost, double eps, const double* prev,
                          double* f) const {
    const int n = rows_.Size(), ct = n - 1;
    const ActiveRows::Face& face = rows_.At(key.units, key.ctRows);
    if (!face.usable) return false;
    double rhs[ActiveRows::kMaxSize];
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
        if (!(x >= -1e-13)) return false;
        f[i] = std::max(0.0, x);
    }
    for (int j = 0; j < ct; ++j) {
        if (key.ctRows >> j & 1u) continue;
        double x = -b[j];
        for (int i = 0; i < n; ++i) x += rows_.K(j, i) * f[i];
        if (!(std::fabs(x) <= 1.0 + 1e-11)) return false;
    }
    // The objective's slope at the vertex, the tie-break's kinks taken at their side.
    double g[ActiveRows::kMaxSize];
    for (int i = 0; i < n; ++i) {
        const double d = f[i] - prev[i];
        g[i] = cost[i] + ((key.kink >> i & 1u) || d == 0.0 ? 0.0 : (d > 0 ? eps : -eps));
    }
    // Multipliers of the active rows: an upper band must push back (negative), a lower band, a
    // zero fraction forward (positive); a kink may absorb less than the tie-break's weight.
    const double margin = 1e-3 * eps;
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

bool LinearVertex::Solve(const VoxelProblem& vp, const double* cost, double eps, const double* prev, double* f,
                         Recent& recent) const {
    const int n = rows_.Size(), ct = n - 1;
    if (vp.u != n || vp.m != ct || vp.r0 != 1.0) return false;
    double b[ActiveRows::kMaxSize];
    for (int j = 0; j < ct; ++j) b[j] = vp.b[j] * (1.0 / vp.tol[j]);
    // With every fraction away from zero and from its previous value the vertex is a corner of
    // the band box, each band at the side its multiplier pushes against: the common case, tried
    // first. Otherwise the thread's last optimal sets.
    const ActiveRows::Face& inner = rows_.At(0, (1u << ct) - 1);
    if (inner.usable) {
        Key key{};
        key.ctRows = (1u << ct) - 1;
        for (int j = 0; j < ct; ++j) {
            double y = 0.0;
            for (int i = 0; i < n; ++i) y += inner.inv[i * n + 1 + j] * cost[i];
            if (y < 0) key.upper |= 1u << j;
        }
        if (TryKey(key, b, cost, eps, prev, f)) return true;
    }
    for (int k = 0; k < recent.count; ++k) {
        if (!TryKey(recent.keys[k], b, cost, eps, prev, f)) continue;
        std::rotate(recent.keys, recent.keys + k, recent.keys + k + 1);
        return true;
    }
    return false;
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
    if (active != n - 1) return;
    const int keep = std::min(recent.count + 1, Recent::kSize);
    std::copy_backward(recent.keys, recent.keys + keep - 1, recent.keys + keep);
    recent.keys[0] = key;
    recent.count = keep;
}

}  // namespace zun::zunlib
