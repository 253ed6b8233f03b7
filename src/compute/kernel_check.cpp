// Data checking and correction, inter-sectional extrapolation and the discrete least-square
// segmentation.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "compute/kernelrun.h"
#include "compute/kernels.h"
#include "compute/log.h"
#include "model/rulelist.h"

namespace zun::zunlib {

int KernelThreads(const ComputeLibParams& p) {
    return p.threadCount > 0 ? p.threadCount : 1;
}

namespace {

inline int Value(std::uint16_t w) {
    return w & kWordValue;
}
inline void SetValue(std::uint16_t* w, int v) {
    *w = static_cast<std::uint16_t>((*w & 0xC000) | std::clamp(v, 0, int(kVoxelMax)));
}

// Fewer voxels than this are checked on one thread: forking would cost more than it saves.
constexpr std::int64_t kParallelVoxels = 32768;
// The voxels a thread takes at a time: large enough that taking one costs nothing, small enough
// that a thread the system holds up leaves only a little work for the others to wait for.
constexpr std::int64_t kVoxelChunk = 8192;

inline bool Masked(const std::uint16_t* mask, std::uint16_t word, std::int64_t v) {
    return mask && (mask[v] & kWordValue) != word;
}

// Lowers (or raises) fixed fractions within their tolerance to bring the fixed sum towards
// 16383; returns the part of the excess that could not be taken.
int ShiftFixedFractions(std::uint16_t* const* comp, int n, const std::uint16_t* tol, int e) {
    bool picked[kMaxCompositions] = {};
    const bool lower = e > 0;
    int remaining = lower ? e : -e;
    for (int pass = 0; pass < n && remaining > 0; ++pass) {
        int best = -1;
        for (int i = 0; i < n; ++i) {
            if (picked[i] || !(*comp[i] & kWordFixed)) continue;
            const int v = Value(*comp[i]);
            if (lower ? v == 0 : v >= kVoxelMax) continue;
            // Ties go to the later composition.
            if (best < 0 || (lower ? v <= Value(*comp[best]) : v >= Value(*comp[best]))) best = i;
        }
        if (best < 0) break;
        picked[best] = true;
        const int v = Value(*comp[best]);
        const int room = lower ? v : kVoxelMax - v;
        const int step = std::min({room, int(tol[best]), remaining});
        SetValue(comp[best], lower ? v - step : v + step);
        remaining -= step;
    }
    return lower ? remaining : -remaining;
}

inline float Physical(float low, float high, int value) {
    return low + (high - low) * static_cast<float>(static_cast<double>(value) / kVoxelMax);
}

inline int WordFromPhysical(float low, float high, double p) {
    if (high == low) return 0;
    double v = (p - low) / (high - low) * kVoxelMax;
    return static_cast<int>(std::lround(std::clamp(v, 0.0, double(kVoxelMax))));
}

// Runs chunk(outcome, first, end) over the voxels of slices [firstSlice, firstSlice + slices) in one
// parallel region, threads taking chunks as they become free (a slice at a time would make every
// thread wait at each slice's end for the slowest); voxel numbers are relative to firstSlice.
// Then merges the status and the reports (in voxel order, whatever thread found them, worded by
// text(code, slice, voxel in slice)), also when a progress report or a chunk threw.
template <class Chunk, class Text>
void RunSliceChunks(CLibBase& lib, int firstSlice, int slices, const SliceProgress& progress, Chunk&& chunk,
                    Text&& text) {
    const ComputeLibParams& p = lib.params;
    const std::int64_t plane = std::int64_t(p.nx) * p.ny;
    const std::int64_t total = plane * slices;
    if (total <= 0) return;
    const int threads = total >= kParallelVoxels ? KernelThreads(p) : 1;
    // A team the system cannot give fails the step as a shortage of memory, not the program.
    if (!StartThreadTeam(threads)) throw std::bad_alloc();
    std::vector<ThreadOutcome> outcomes(static_cast<std::size_t>(threads));
    std::vector<const ThreadOutcome*> merged;
    for (ThreadOutcome& o : outcomes) {
        o.Reset(ReportableCount(lib));
        merged.push_back(&o);
    }
    const std::int64_t base = std::int64_t(firstSlice) * plane;
    auto report = [&] {
        MergeOutcomes(lib, merged, [&](const VoxelCode& c) {
            return text(c.code, static_cast<int>(c.voxel / plane), static_cast<long long>(c.voxel % plane));
        });
    };
    try {
        RunAllChunks(
            nullptr, threads, kVoxelChunk, total, plane,
            [&](std::int64_t done) {
                if (progress) progress(static_cast<int>(done / plane));
            },
            [&](int t, std::int64_t first, std::int64_t end) { chunk(outcomes[t], base, first, end); });
    } catch (...) {
        report();
        throw;
    }
    report();
}

}  // namespace

DataCheckConstants::DataCheckConstants(const ComputeLibParams& p)
    : comp(p.comp),
      ct(p.ct),
      matrix(p.matrix),
      compTolerance(p.compTolerance),
      maskWords(p.maskWords),
      maskWord(p.maskWord) {
    ctLow.assign(ct + 1, 0.0f);
    ctHigh.assign(ct + 1, 0.0f);
    ctTolerance.assign(ct + 1, 0.0f);
    for (int j = 1; j <= ct; ++j) {
        ctLow[j] = p.channelAtten[comp + j][0];
        ctHigh[j] = p.channelAtten[comp + j][1];
        ctTolerance[j] = p.ctAccuracy[j];
    }
}

int CheckVoxel(const DataCheckConstants& k, std::uint16_t* const* comp, std::uint16_t* const* ctw) {
    const int n = k.comp + 1;
    const int last = k.comp;
    int code = 0;
    int fixedCount, fixedSum, freeCount, freeSum, tolSum;
    SumVoxelFractions(comp, last, k.compTolerance.data(), fixedCount, fixedSum, freeCount, freeSum, tolSum);

    // Composition sum.
    const int e = fixedSum - kVoxelMax;
    if (tolSum < e) {
        *comp[0] |= kWordError;
        fixedSum = kVoxelMax;
        NormalizeVoxelFractions(comp, last, kVoxelMax, fixedSum, freeSum, fixedCount, freeCount);
    } else if (e > 0) {
        code = ShiftFixedFractions(comp, n, k.compTolerance.data(), e);
    } else if (e < 0 && -e < tolSum) {
        code = ShiftFixedFractions(comp, n, k.compTolerance.data(), e);
    }

    // CT consistency.
    SumVoxelFractions(comp, last, nullptr, fixedCount, fixedSum, freeCount, freeSum, tolSum);
    for (int j = 1; j <= k.ct; ++j) {
        const float lo = k.ctLow[j], hi = k.ctHigh[j], tol = k.ctTolerance[j];
        const float* row = &k.matrix[std::size_t(j) * n];
        double p = 0.0;
        for (int i = 0; i < n; ++i)
            if (freeCount == 0 || (*comp[i] & kWordFixed)) p += Value(*comp[i]) / double(kVoxelMax) * row[i];
        std::uint16_t* w = ctw[j];
        const float v = Physical(lo, hi, Value(*w));
        const double d = p - v;
        if (freeCount == 0) {
            if (!(*w & kWordFixed)) {
                SetValue(w, WordFromPhysical(lo, hi, p));
            } else if (std::fabs(d) > tol) {
                *w |= kWordError;
                SetValue(w, WordFromPhysical(lo, hi, v + std::clamp(d, double(-tol), double(tol))));
            }
        } else if ((*w & kWordFixed) && d > tol) {
            *w |= kWordError;
            SetValue(w, WordFromPhysical(lo, hi, v + tol));
        }
    }

    // Counts again.
    SumVoxelFractions(comp, last, nullptr, fixedCount, fixedSum, freeCount, freeSum, tolSum);
    if ((fixedCount + freeCount != n || fixedSum > kVoxelMax) && code >= -2 && code <= 0) code = -2;
    if (freeCount == 1 || fixedSum >= kVoxelMax)
        NormalizeVoxelFractions(comp, last, kVoxelMax, fixedSum, freeSum, fixedCount, freeCount);

    // A fixed CT value that no composition reaches.
    for (int j = 1; j <= k.ct; ++j) {
        std::uint16_t w = *ctw[j];
        if (!(w & kWordFixed)) continue;
        const float v = Physical(k.ctLow[j], k.ctHigh[j], Value(w));
        int below = 0;
        for (int i = 0; i < n; ++i) below += k.matrix[std::size_t(j) * n + i] + k.ctTolerance[j] < v;
        if (below == n && code >= -3 && code <= 0) code = -3;
    }
    return code;
}

int CheckVoxelRange(const DataCheckConstants& k, std::uint16_t* const* channels, std::int64_t first,
                    std::int64_t count, std::vector<VoxelCode>* nonZero, std::size_t keep) {
    const int n = k.comp + 1;
    std::uint16_t* comp[kMaxCompositions];
    std::uint16_t* ctw[kMaxCtChannels + 1] = {};
    int merged = 0;
    for (std::int64_t v = first; v < first + count; ++v) {
        if (Masked(k.maskWords, k.maskWord, v)) continue;
        for (int i = 0; i < n; ++i) comp[i] = channels[i] + v;
        for (int j = 1; j <= k.ct; ++j) ctw[j] = channels[k.comp + j] + v;
        const int c = CheckVoxel(k, comp, ctw);
        if (c != 0) {
            merged = MergeCode(merged, c);
            if (nonZero && nonZero->size() < keep) nonZero->push_back({c, v});
        }
    }
    return merged;
}

void DataCheckSlices(CLibDataCheckCorrect& lib, std::uint16_t* const* channels, int firstSlice, int slices,
                     const SliceProgress& progress) {
    const ComputeLibParams& p = lib.params;
    DataCheckConstants k(p);
    // The mask is indexed by whole-volume voxels; channel pointers are already at the first slice.
    const std::int64_t plane = std::int64_t(p.nx) * p.ny;
    if (k.maskWords) k.maskWords += std::int64_t(firstSlice) * plane;
    RunSliceChunks(
        lib, firstSlice, slices, progress,
        [&](ThreadOutcome& o, std::int64_t base, std::int64_t first, std::int64_t end) {
            thread_local std::vector<VoxelCode> codes;
            codes.clear();
            o.status = MergeCode(o.status, CheckVoxelRange(k, channels, first, end - first, &codes, o.keep));
            for (const VoxelCode& c : codes) o.Fail(c.code, base + c.voxel);
        },
        [&](int code, int z, long long voxel) {
            return Format("DataCheckingCorrection error %d, slice %d, voxel %lld of %lld\n", code, z, voxel,
                          static_cast<long long>(plane));
        });
}

void DataCheckSlice(CLibDataCheckCorrect& lib, std::uint16_t* const* channels, int z) {
    DataCheckSlices(lib, channels, z, 1, {});
}

// ---------------------------------------------------------------------------------------------

int ExtrapolateChannel(CLibInterSectionExtrapolate& lib, std::uint16_t* words, int index) {
    const ComputeLibParams& p = lib.params;
    const int a = p.importAxis;
    auto sections = [&](int i) {
        return a >= 0 && i < static_cast<int>(p.importCounts.size()) &&
               a < static_cast<int>(p.importCounts[i].size()) && p.importCounts[i][a] > 0;
    };
    if (!sections(index)) {
        bool any = false;
        for (int i = 0; i <= p.comp; ++i) any = any || sections(i);
        if (!any) {
            lib.Report(
                -1, -1,
                Format("Intersectional extrapolation: composition %d has no measured sections\n", index));
            return -1;
        }
        return 0;
    }
    const std::int64_t dims[3] = {p.nx, p.ny, p.nz};
    const std::int64_t stride[3] = {1, p.nx, std::int64_t(p.nx) * p.ny};
    const int b = a == 0 ? 1 : 0;
    const int c = a == 2 ? 1 : 2;
    const std::int64_t lines = dims[b] * dims[c];
    const std::int64_t len = dims[a];
    const std::uint16_t* mask = p.maskWords;
    const std::uint16_t maskWord = p.maskWord;
    omp_set_dynamic(0);
#pragma omp parallel for num_threads(KernelThreads(p)) schedule(static)
    for (std::int64_t l = 0; l < lines; ++l) {
        const std::int64_t base = (l % dims[b]) * stride[b] + (l / dims[b]) * stride[c];
        auto at = [&](std::int64_t k) { return base + k * stride[a]; };
        std::int64_t prev = -1;
        for (std::int64_t k = 0; k <= len; ++k) {
            const bool known = k < len && (words[at(k)] & kWordFixed);
            if (!known && k < len) continue;
            // Fill the free voxels between the previous known point and this one.
            const std::int64_t from = prev < 0 ? 0 : prev + 1;
            const std::int64_t to = k;
            if (prev < 0 && k == len) break;  // no known point on the line
            for (std::int64_t q = from; q < to; ++q) {
                const std::int64_t v = at(q);
                if ((words[v] & kWordFixed) || Masked(mask, maskWord, v)) continue;
                int value;
                if (prev < 0)
                    value = Value(words[at(k)]);
                else if (k == len)
                    value = Value(words[at(prev)]);
                else {
                    const double t = double(q - prev) / double(k - prev);
                    value = static_cast<int>(
                        std::lround((1 - t) * Value(words[at(prev)]) + t * Value(words[at(k)])));
                }
                SetValue(&words[v], value);
            }
            prev = k;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------

void SegmentSlices(CLibDiscreteLeastSquareSegmentation& lib, std::uint16_t* const* channels, int firstSlice,
                   int slices, const SliceProgress& progress) {
    const ComputeLibParams& p = lib.params;
    const int n = p.comp + 1;
    const std::int64_t plane = std::int64_t(p.nx) * p.ny;
    const std::uint16_t* mask = p.maskWords ? p.maskWords + std::int64_t(firstSlice) * plane : nullptr;
    // Expected values and tolerances do not depend on the voxel.
    std::vector<double> expected(std::size_t(n) * (p.ct + 1), 0.0), tol(p.ct + 1, 1.0);
    for (int j = 1; j <= p.ct; ++j) {
        tol[j] = p.ctAccuracy[j] > 0 ? p.ctAccuracy[j] : 1.0;
        for (int i = 0; i < n; ++i)
            expected[i * (p.ct + 1) + j] = p.dlsZeroOffset[i][j] + p.dlsMultiplier[i][j] * p.Matrix(j, i);
    }
    // 0, or the voxel's report code: -1 no usable CT value, -2 a fixed voxel that disagrees.
    auto segment = [&](std::int64_t v) {
        double cost[kMaxCompositions];
        bool usable = false;
        for (int i = 0; i < n; ++i) cost[i] = p.dlsSelfEnergy[i];
        for (int j = 1; j <= p.ct; ++j) {
            const std::uint16_t w = channels[p.comp + j][v];
            if (!p.ctChannelUsed[j] || (w & kWordError)) continue;
            usable = true;
            const double mu =
                Physical(p.channelAtten[p.comp + j][0], p.channelAtten[p.comp + j][1], Value(w));
            for (int i = 0; i < n; ++i) {
                const double r = (mu - expected[i * (p.ct + 1) + j]) / tol[j];
                cost[i] += r * r;
            }
        }
        if (!usable) return -1;
        int best = 0;
        for (int i = 1; i < n; ++i)
            if (cost[i] < cost[best]) best = i;
        int fixedAt = -1;
        for (int i = 0; i < n; ++i)
            if (channels[i][v] & kWordFixed) fixedAt = fixedAt < 0 ? i : fixedAt;
        if (fixedAt >= 0)
            return Value(channels[best][v]) != kVoxelMax || !(channels[best][v] & kWordFixed) ? -2 : 0;
        for (int i = 0; i < n; ++i)
            channels[i][v] = static_cast<std::uint16_t>((channels[i][v] & ~(kWordValue | kWordError)) |
                                                        (i == best ? kVoxelMax : 0));
        return 0;
    };
    RunSliceChunks(
        lib, firstSlice, slices, progress,
        [&](ThreadOutcome& o, std::int64_t base, std::int64_t first, std::int64_t end) {
            for (std::int64_t v = first; v < end; ++v) {
                if (mask && (mask[v] & kWordValue) != p.maskWord) continue;
                // The status counts every voxel, also those past the last report.
                if (const int code = segment(v); code != 0) o.Fail(code, base + v);
            }
        },
        [&](int code, int z, long long voxel) {
            if (code == -1)
                return Format("DiscreteLeastSquareSegmentation: no usable CT value, slice %d, voxel %lld\n",
                              z, voxel);
            return Format(
                "DiscreteLeastSquareSegmentation: fixed voxel disagrees with the best match, "
                "slice %d, voxel %lld\n",
                z, voxel);
        });
}

void SegmentSlice(CLibDiscreteLeastSquareSegmentation& lib, std::uint16_t* const* channels, int z) {
    SegmentSlices(lib, channels, z, 1, {});
}

}  // namespace zun::zunlib
