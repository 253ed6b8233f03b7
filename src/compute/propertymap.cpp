#include "compute/propertymap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

namespace {

constexpr double kFull = 16383.0;

// The formula is a template parameter so that the voxel loop carries no branch on it.
template <ScalarFormula F>
bool ScalarKernel(const std::uint16_t* const* comp, int count, const double* p, std::int64_t begin,
                  std::int64_t end, float* out, int threads) {
    bool fellBack = false;
#pragma omp parallel for num_threads(threads) schedule(static) reduction(|| : fellBack)
    for (std::int64_t v = begin; v < end; ++v) {
        double sum = 0;
        for (int i = 0; i < count; ++i) sum += comp[i][v] & kVoxelValueMask;
        if (sum <= 0) {
            out[v] = 0.0f;
            continue;
        }
        double arithmetic = 0, acc = 0;
        bool zero = false, nonPositive = false;
        for (int i = 0; i < count; ++i) {
            const double f = (comp[i][v] & kVoxelValueMask) / sum;
            if (f <= 0) continue;
            arithmetic += f * p[i];
            if constexpr (F == ScalarFormula::Harmonic) {
                if (p[i] == 0)
                    zero = true;
                else
                    acc += f / p[i];
            } else if constexpr (F == ScalarFormula::Geometric) {
                if (p[i] <= 0)
                    nonPositive = true;
                else
                    acc += f * std::log(p[i]);
            }
        }
        double result = arithmetic;
        if constexpr (F == ScalarFormula::Harmonic) result = zero || acc == 0 ? 0.0 : 1.0 / acc;
        if constexpr (F == ScalarFormula::Geometric) {
            if (nonPositive)
                fellBack = true;
            else
                result = std::exp(acc);
        }
        out[v] = std::isfinite(result) ? static_cast<float>(result) : 0.0f;
    }
    return fellBack;
}

}  // namespace

bool ComputeScalarProperty(const std::uint16_t* const* compositions, int count, const double* coefficients,
                           ScalarFormula formula, std::uint64_t begin, std::uint64_t end, float* out,
                           int threads) {
    threads = std::max(1, threads);
    const auto b = static_cast<std::int64_t>(begin), e = static_cast<std::int64_t>(end);
    switch (formula) {
        case ScalarFormula::Harmonic:
            return ScalarKernel<ScalarFormula::Harmonic>(compositions, count, coefficients, b, e, out,
                                                         threads);
        case ScalarFormula::Geometric:
            return ScalarKernel<ScalarFormula::Geometric>(compositions, count, coefficients, b, e, out,
                                                          threads);
        default:
            return ScalarKernel<ScalarFormula::Arithmetic>(compositions, count, coefficients, b, e, out,
                                                           threads);
    }
}

PropertyRange WritePropertyChannel(std::uint16_t* words, std::uint64_t n, const float* values,
                                   const std::uint16_t* boundary, PropertyRange old, int threads) {
    threads = std::max(1, threads);
    const std::int64_t count = static_cast<std::int64_t>(n);
    const double oldMin = old.min, oldStep = (static_cast<double>(old.max) - old.min) / kFull;
    auto computed = [&](std::int64_t v) {
        return !(words[v] & kVoxelReadOnlyBit) && (!boundary || InsideBoundary(boundary[v]));
    };
    auto physical = [&](std::int64_t v) {
        return computed(v) ? static_cast<double>(values[v]) : oldMin + oldStep * (words[v] & kVoxelValueMask);
    };
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
#pragma omp parallel for num_threads(threads) schedule(static) reduction(min : lo) reduction(max : hi)
    for (std::int64_t v = 0; v < count; ++v) {
        const double x = physical(v);
        if (!std::isfinite(x)) continue;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    if (count == 0) return old;
    // Non-finite values (a NaN property, a damaged stored range) take no part in the range and are
    // written as its low end.
    if (!std::isfinite(lo) || !std::isfinite(hi)) lo = hi = 0.0;
    if (!(hi > lo)) hi = lo + 1.0;
    const double scale = kFull / (hi - lo);
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t v = 0; v < count; ++v) {
        const double x = (physical(v) - lo) * scale;
        const double q = std::isfinite(x) ? std::clamp(std::round(x), 0.0, kFull) : 0.0;
        words[v] = static_cast<std::uint16_t>((words[v] & kVoxelReadOnlyBit) | static_cast<std::uint16_t>(q));
    }
    return PropertyRange{static_cast<float>(lo), static_cast<float>(hi)};
}

}  // namespace zun
