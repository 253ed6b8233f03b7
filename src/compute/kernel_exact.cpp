// The closed forms of the optimisers: small square systems of active rows, inverted once per run.
// The nonlinear energy's minimiser where the data term is the L1 norm of a square system lives
// here; the linear programme's vertex in kernel_vertex.cpp.
#include <algorithm>
#include <bit>
#include <cmath>

#include "compute/kernelrun.h"

namespace zun::zunlib {

namespace {

// Gauss-Jordan inversion with partial pivoting of an n x n row-major matrix; false when a pivot
// is too small for the inverse to be trusted.
bool Invert(const double* a, int n, double* inv) {
    double m[ActiveRows::kMaxSize][2 * ActiveRows::kMaxSize];
    double scale = 0.0;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            m[r][c] = a[r * n + c];
            m[r][n + c] = r == c ? 1.0 : 0.0;
            scale = std::max(scale, std::fabs(a[r * n + c]));
        }
    for (int c = 0; c < n; ++c) {
        int pr = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pr][c])) pr = r;
        if (!(std::fabs(m[pr][c]) > 1e-10 * scale)) return false;
        if (pr != c)
            for (int k = 0; k < 2 * n; ++k) std::swap(m[pr][k], m[c][k]);
        const double d = 1.0 / m[c][c];
        for (int k = 0; k < 2 * n; ++k) m[c][k] *= d;
        for (int r = 0; r < n; ++r) {
            if (r == c || m[r][c] == 0.0) continue;
            const double f = m[r][c];
            for (int k = 0; k < 2 * n; ++k) m[r][k] -= f * m[c][k];
        }
    }
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            inv[r * n + c] = m[r][n + c];
            if (!std::isfinite(inv[r * n + c])) return false;
        }
    return true;
}

}  // namespace

bool ActiveRows::Init(const ComputeLibParams& p) {
    const int n = p.comp + 1;
    if (n < 2 || n > kMaxSize || p.ct != p.comp) return false;
    n_ = n;
    const int ct = n - 1;
    for (int j = 1; j <= ct; ++j) {
        // The tolerance as the voxel loader takes it.
        const double t = p.ctAccuracy[j] > 0 ? p.ctAccuracy[j] : p.matrixRowMax[j] * 1e-3;
        const double inv = 1.0 / (t > 0 ? t : 1e-6);
        for (int i = 0; i < n; ++i) {
            k_[j - 1][i] = p.Matrix(j, i) * inv;
            if (!std::isfinite(k_[j - 1][i])) return false;
        }
    }
    // The values as VoxelProblem::Load forms them (in single precision, as stored), over the
    // tolerance as the closed forms scale them.
    scaled_.resize(std::size_t(ct) * (kVoxelMax + 1));
    for (int j = 1; j <= ct; ++j) {
        const auto& pair = p.channelAtten[p.comp + j];
        const double t = p.ctAccuracy[j] > 0 ? p.ctAccuracy[j] : p.matrixRowMax[j] * 1e-3;
        const double tol = t > 0 ? t : 1e-6;
        scale_[j - 1] = {pair[0], pair[1] - pair[0], 1.0 / tol};
        for (int w = 0; w <= kVoxelMax; ++w) {
            const double mu = pair[0] + (pair[1] - pair[0]) * static_cast<float>(w / double(kVoxelMax));
            scaled_[std::size_t(j - 1) * (kVoxelMax + 1) + w] = mu * (1.0 / tol);
        }
    }
    for (unsigned zeros = 0; zeros < (1u << n); ++zeros) {
        rowChoiceCount_[zeros] = 0;
        for (unsigned rows = 0; rows < (1u << ct); ++rows)
            if (BitCount(rows) + BitCount(zeros) == n - 1)
                rowChoices_[zeros][rowChoiceCount_[zeros]++] = static_cast<std::uint8_t>(rows);
    }
    faces_.assign(std::size_t(1) << (2 * n - 1), Face{});
    for (unsigned units = 0; units < (1u << n); ++units) {
        const int nu = BitCount(units);
        if (nu >= n) continue;
        for (unsigned rows = 0; rows < (1u << ct); ++rows) {
            if (BitCount(rows) + nu != n - 1) continue;
            double a[kMaxSize * kMaxSize];
            int r = 0;
            for (int i = 0; i < n; ++i) a[i] = 1.0;
            for (int j = 0; j < ct; ++j)
                if (rows >> j & 1u) {
                    ++r;
                    for (int i = 0; i < n; ++i) a[r * n + i] = k_[j][i];
                }
            for (int z = 0; z < n; ++z)
                if (units >> z & 1u) {
                    ++r;
                    for (int i = 0; i < n; ++i) a[r * n + i] = i == z ? 1.0 : 0.0;
                }
            Face& f = faces_[(std::size_t(units) << ct) | rows];
            if (!Invert(a, n, f.inv)) continue;
            // The sum row's column never meets a move: moves keep the sum.
            const int ctCount = f.ctCount = BitCount(rows);
            for (int q = 0; q < n; ++q)
                for (int c = 1; c < n; ++c)
                    (c <= ctCount ? f.ctNorm : f.unitNorm) += f.inv[q * n + c] * f.inv[q * n + c];
            f.usable = std::isfinite(f.ctNorm) && std::isfinite(f.unitNorm);
        }
    }
    return true;
}

void InnerLaneData::Fill(const ActiveRows& rows, bool use, CpuLevel lanes) {
    n = rows.Size();
    const ActiveRows::Face& inner = rows.At(0, (1u << (n - 1)) - 1);
    usable = use && inner.usable;
    // Never an instruction set the machine lacks.
    level = std::min(lanes, MachineCpuLevel());
    std::copy(inner.inv, inner.inv + n * n, inv);
    for (int j = 0; j + 1 < n; ++j) {
        scale[j] = rows.Scale(j);
        for (int i = 0; i < n; ++i) k[j][i] = rows.K(j, i);
    }
    this->rows = &rows;
    ctNorm = inner.ctNorm;
    unitNorm = inner.unitNorm;
}

bool ExactMinimiser::InitLinear(const ComputeLibParams& p) {
    if (!rows_.Init(p)) return false;
    n_ = rows_.Size();
    rho2_ = 0.0;
    return true;
}

bool ExactMinimiser::Init(const ComputeLibParams& p) {
    if (p.attenuationErrorExponent != 1.0 || p.interactionExponent != 1.0) return false;
    if (!rows_.Init(p)) return false;
    const int n = n_ = rows_.Size();
    double rho = 0.0;
    for (int i = 0; i < n; ++i) {
        self_[i] = p.nonlinearSelfEnergy[i];
        if (!std::isfinite(self_[i])) return false;
        for (int k = 0; k < n; ++k) {
            pair_[i][k] = i == k ? 0.0
                                 : double(p.nonlinearInteractionEnergy[p.ShellIndex(0, i, k)]) +
                                       double(p.nonlinearInteractionEnergy[p.ShellIndex(0, k, i)]);
            if (!std::isfinite(pair_[i][k])) return false;
            rho += 0.25 * pair_[i][k] * pair_[i][k];
        }
    }
    // rho bounds the curvature of the pair energy (the Frobenius norm of its symmetric matrix).
    rho2_ = 2.0 * rho;
    UseLanes(true, MachineCpuLevel());
    return true;
}

void ExactMinimiser::UseLanes(bool on, CpuLevel level) {
    lanes_.Fill(rows_, on, level);
    lanes_.rho2 = rho2_;
    for (int i = 0; i < n_; ++i) {
        lanes_.self[i] = self_[i];
        for (int k = 0; k < n_; ++k) lanes_.pair[i][k] = pair_[i][k];
    }
}

// The point where the fractions in `zeros` and the residuals in `dataRows` vanish, if it lies in
// the simplex and is provably the unique minimum there. With g the gradient of the smooth terms
// at the point and s_j the signs of the residuals left, write g - sum s_j k_j as a combination of
// the active rows (nu for the sum, lambda_j for the zero residuals, mu_z for the zero fractions).
// For any feasible move d (sum kept, zero fractions not falling) the energy then rises by at
// least sum (1 - |lambda_j|) |k_j.d| + sum mu_z d_z - rho |d|^2, rho the curvature bound of the
// pair energy and |d| <= sqrt(2) r0. With m = min(1 - |lambda_j|), mu = min(mu_z), weighing the
// zero-fraction rows by mu / m and bounding |d| by the inverse's column norms (A for the residual
// rows, B for the fraction rows) that is positive for every d != 0 when
// 2 rho^2 r0^2 (A / m^2 + B / mu^2) < 1.
// Pairing the scalar loops into vectors would load the fractions and the gradient in pairs right
// after their single stores, each load then waiting for the stores to reach the cache.
template <int N>
[[gnu::optimize("no-tree-slp-vectorize")]] bool ExactMinimiser::TryFace(unsigned zeros, unsigned dataRows,
                                                                        const double* b, const double* h,
                                                                        double* f, double* worst) const {
    const int n = N > 0 ? N : n_, ct = n - 1;
    const ActiveRows::Face& face = rows_.At(zeros, dataRows);
    if (!face.usable) return false;
    double rhs[kMaxSize];
    int r = 0;
    rhs[r++] = 1.0;
    for (int j = 0; j < ct; ++j)
        if (dataRows >> j & 1u) rhs[r++] = b[j];
    for (; r < n; ++r) rhs[r] = 0.0;
    double x[kMaxSize];
    for (int i = 0; i < n; ++i) {
        if (zeros >> i & 1u) {
            f[i] = x[i] = 0.0;
            continue;
        }
        double xi = 0.0;
        for (int c = 0; c < n; ++c) xi += face.inv[i * n + c] * rhs[c];
        if (!(xi >= 0.0)) return false;
        f[i] = x[i] = xi;
    }
    const bool smooth = rho2_ != 0.0;  // else every pair energy is zero
    double g[kMaxSize];
    for (int i = 0; i < n; ++i) {
        double d = self_[i] + (h ? h[i] : 0.0);
        if (smooth)
            for (int k = 0; k < n; ++k) d += pair_[i][k] * x[k];
        g[i] = d;
    }
    for (int j = 0; j < ct; ++j) {
        if (dataRows >> j & 1u) continue;
        double res = b[j];
        for (int i = 0; i < n; ++i) res -= rows_.K(j, i) * x[i];
        const double s = res > 0 ? 1.0 : (res < 0 ? -1.0 : 0.0);
        if (worst) *worst = std::max(*worst, std::fabs(res));
        for (int i = 0; i < n; ++i) g[i] -= s * rows_.K(j, i);
    }
    const int dataCount = face.ctCount;
    double m = 1.0, mu = 1e300;
    for (int c = 1; c < n; ++c) {
        double y = 0.0;
        for (int i = 0; i < n; ++i) y += face.inv[i * n + c] * g[i];
        if (c <= dataCount)
            m = std::min(m, 1.0 - std::fabs(y));
        else
            mu = std::min(mu, y);
    }
    if (!(m > 1e-9 && mu > 1e-9)) return false;
    return !smooth || rho2_ * (face.ctNorm / (m * m) + face.unitNorm / (mu * mu)) * (1.0 + 1e-6) < 1.0;
}

void FaceMemory::Remember(FaceKey key, int at) {
    const int last = at < count ? at : std::min(count, kSize - 1);
    for (int k = last; k > 0; --k) keys[k] = keys[k - 1];
    keys[0] = key;
    count = std::max(count, last + 1);
}

template <int N>
[[gnu::always_inline]] inline bool ExactMinimiser::SolveScaled(const double* b, const double* h, double* f,
                                                               double* worst, FaceMemory* faces) const {
    const int n = N > 0 ? N : n_, ct = n - 1;
    const unsigned all = (1u << ct) - 1;
    int remembered = FaceMemory::kSize;  // the slot of the face that answered, if remembered
    auto tryFace = [&](unsigned zeros, unsigned rows) {
        if (worst) *worst = 0.0;
        if (!TryFace<N>(zeros, rows, b, h, f, worst)) return false;
        if (faces) faces->Remember({zeros, rows}, remembered);
        return true;
    };
    const ActiveRows::Face& inner = rows_.At(0, all);
    if (!inner.usable) {
        if (faces)
            for (remembered = 0; remembered < faces->count; ++remembered)
                if (tryFace(faces->keys[remembered].zeros, faces->keys[remembered].rows)) return true;
        return false;
    }
    // The fractions the point of zero residual has below zero: nine minima in ten lie on a face
    // where just those are zero (on the point itself when there are none), so the remembered
    // faces with those zeros come first, then every other choice of residuals that can vanish
    // there, then the other remembered faces.
    unsigned zeros = 0;
    for (int i = 0; i < n; ++i) {
        double x = inner.inv[i * n];
        for (int j = 0; j < ct; ++j) x += inner.inv[i * n + 1 + j] * b[j];
        if (x < 0.0) zeros |= 1u << i;
    }
    const int nz = BitCount(zeros);
    std::uint32_t tried = 0;  // the residual choices tried with those zeros
    if (faces)
        for (remembered = 0; remembered < faces->count; ++remembered) {
            const FaceKey k = faces->keys[remembered];
            if (k.zeros != zeros) continue;
            tried |= std::uint32_t(1) << k.rows;
            if (tryFace(k.zeros, k.rows)) return true;
        }
    remembered = FaceMemory::kSize;
    if (nz < n)
        for (unsigned rows = 0; rows <= all; ++rows)
            if (BitCount(rows) + nz == n - 1 && !(tried >> rows & 1u) && tryFace(zeros, rows)) return true;
    if (faces)
        for (remembered = 0; remembered < faces->count; ++remembered) {
            const FaceKey k = faces->keys[remembered];
            if (k.zeros != zeros && tryFace(k.zeros, k.rows)) return true;
        }
    remembered = FaceMemory::kSize;
    // Noisy data often move the minimum to a face with other zero fractions than those (or,
    // with the zero-residual point inside, to one where the smooth terms outweigh the data):
    // every other face, each still taken only with its certificate, the nearest first (those
    // that zero or free the fewest fractions more). Any order gives the same answer: a face is
    // taken only where its certificate proves its point the unique minimum.
    for (int distance = 1; distance <= n; ++distance)
        for (unsigned units = 1; units < (1u << n) - 1; ++units) {
            const int nu = BitCount(units);
            if (nu > ct || BitCount(units ^ zeros) != distance) continue;
            for (unsigned rows = 0; rows <= all; ++rows)
                if (BitCount(rows) + nu == n - 1 && tryFace(units, rows)) return true;
        }
    return false;
}

bool ExactMinimiser::Solve(const VoxelProblem& vp, const double* h, double* f, double* worst,
                           FaceMemory* faces) const {
    const int n = n_, ct = n - 1;
    if (vp.u != n || vp.m != ct || vp.r0 != 1.0) return false;
    double b[kMaxSize];
    for (int j = 0; j < ct; ++j) b[j] = vp.b[j] * (1.0 / vp.tol[j]);
    return WithCompositionCount(
        n, [&](auto size) { return SolveScaled<decltype(size)::value>(b, h, f, worst, faces); });
}

bool ExactMinimiser::SolveValues(const double* b, const double* h, double* f, FaceMemory* faces) const {
    return WithCompositionCount(
        n_, [&](auto size) { return SolveScaled<decltype(size)::value>(b, h, f, nullptr, faces); });
}

bool ExactMinimiser::SolveWords(std::uint16_t* const* channels, std::int64_t v, bool& outside) const {
    return WithCompositionCount(
        n_, [&](auto n) { return SolveWordsOf<decltype(n)::value>(channels, v, outside); });
}

std::int64_t ExactMinimiser::SolveWordRange(std::uint16_t* const* channels, std::int64_t first,
                                            std::int64_t end, VoxelLeftover other) const {
    std::int64_t outside = 0;
    const bool laidOut = WithCompositionCount(n_, [&](auto n) {
        auto one = [&](std::int64_t v, const LaneLeftover*) {
            bool out = false;
            if (SolveWordsOf<decltype(n)::value>(channels, v, out))
                outside += out;
            else
                other.call(other.context, v);
        };
        ForLaneBlocks(lanes_, ExactInnerLanes, channels, first, end, one);
        return true;
    });
    if (!laidOut)
        for (std::int64_t v = first; v < end; ++v) other.call(other.context, v);
    return outside;
}

template <int N>
[[gnu::always_inline]] inline bool ExactMinimiser::SolveWordsOf(std::uint16_t* const* channels,
                                                                std::int64_t v, bool& outside) const {
    constexpr int n = N, ct = n - 1;
    double b[n], f[n];
    unsigned flags = 0;
    for (int i = 0; i < n; ++i) flags |= channels[i][v];
    flags |= rows_.ScaledValues<ct>(channels + n, v, b);
    if (flags & (kWordFixed | kWordError)) return false;
    double worst = 0.0;
    if (!SolveScaled<N>(b, nullptr, f, &worst, nullptr)) return false;
    WriteFreeWords<N>(channels, v, f);
    outside = worst > 1.0;
    return true;
}

}  // namespace zun::zunlib
