// The closed forms' first candidate for many voxels at once, one voxel per vector lane: nearly
// every voxel of smooth data is answered there, and the voxel-by-voxel path then only sees the
// rest. The lanes repeat that path's arithmetic operation for operation and in the same order
// (this file is built without contraction into fused multiply-adds, which the wider instruction
// sets would otherwise bring), so a voxel's words do not depend on which path answered it.
// The helpers pass vectors wider than the baseline's by value; they are always inlined, so no
// call between code built for different instruction sets ever passes one. The compiler's own
// conversion intrinsics start from an undefined vector, which it then takes for uninitialised.
#pragma GCC diagnostic ignored "-Wpsabi"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "compute/kernelrun.h"

namespace zun::zunlib {

ZUN_PUSH_TARGET_AVX512
namespace lanes512 {
constexpr int kWidth = 8;
typedef double Doubles __attribute__((vector_size(64)));
typedef std::int64_t Longs __attribute__((vector_size(64)));
typedef float Floats __attribute__((vector_size(32)));
typedef std::int32_t Ints __attribute__((vector_size(32)));
[[gnu::always_inline]] inline Ints Load16(const std::uint16_t* p) {
    return reinterpret_cast<Ints>(
        _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}
[[gnu::always_inline]] inline void Store16(std::uint16_t* p, Ints w) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_cvtepi32_epi16(reinterpret_cast<__m256i>(w)));
}
[[gnu::always_inline]] inline Longs Widen(Ints w) {
    return reinterpret_cast<Longs>(_mm512_cvtepi32_epi64(reinterpret_cast<__m256i>(w)));
}
[[gnu::always_inline]] inline Ints Narrow(Longs w) {
    return reinterpret_cast<Ints>(_mm512_cvtepi64_epi32(reinterpret_cast<__m512i>(w)));
}
[[gnu::always_inline]] inline Doubles ToDoubles(Ints w) {
    return reinterpret_cast<Doubles>(_mm512_cvtepi32_pd(reinterpret_cast<__m256i>(w)));
}
[[gnu::always_inline]] inline Ints Truncate(Doubles x) {
    return reinterpret_cast<Ints>(_mm512_cvttpd_epi32(reinterpret_cast<__m512d>(x)));
}
[[gnu::always_inline]] inline Floats ToFloats(Doubles x) {
    return reinterpret_cast<Floats>(_mm512_cvtpd_ps(reinterpret_cast<__m512d>(x)));
}
[[gnu::always_inline]] inline Doubles FromFloats(Floats x) {
    return reinterpret_cast<Doubles>(_mm512_cvtps_pd(reinterpret_cast<__m256>(x)));
}
[[gnu::always_inline]] inline std::uint64_t LaneBits(Longs m) {
    return _mm512_movepi64_mask(reinterpret_cast<__m512i>(m));
}
[[gnu::always_inline]] inline bool AnyLane(Ints w) {
    return !_mm256_testz_si256(reinterpret_cast<__m256i>(w), reinterpret_cast<__m256i>(w));
}
[[gnu::always_inline]] inline Doubles Gather(const double* base, Longs at) {
    return reinterpret_cast<Doubles>(_mm512_i64gather_pd(reinterpret_cast<__m512i>(at), base, 8));
}
[[gnu::always_inline]] inline Doubles Quotient(Ints w) {
    const __m512d x = _mm512_cvtepi32_pd(reinterpret_cast<__m256i>(w));
    const __m512d r = _mm512_set1_pd(1.0 / kVoxelMax), m = _mm512_set1_pd(kVoxelMax);
    const __m512d q = _mm512_mul_pd(x, r);
    return reinterpret_cast<Doubles>(_mm512_fmadd_pd(_mm512_fnmadd_pd(q, m, x), r, q));
}
#include "compute/kernel_lanes.inc"
}  // namespace lanes512
ZUN_POP_TARGET

ZUN_PUSH_TARGET_AVX2
namespace lanes256 {
constexpr int kWidth = 4;
typedef double Doubles __attribute__((vector_size(32)));
typedef std::int64_t Longs __attribute__((vector_size(32)));
typedef float Floats __attribute__((vector_size(16)));
typedef std::int32_t Ints __attribute__((vector_size(16)));
[[gnu::always_inline]] inline Ints Load16(const std::uint16_t* p) {
    return reinterpret_cast<Ints>(_mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}
[[gnu::always_inline]] inline void Store16(std::uint16_t* p, Ints w) {
    // Words of 14 bits: the unsigned saturation never bites.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p),
                     _mm_packus_epi32(reinterpret_cast<__m128i>(w), reinterpret_cast<__m128i>(w)));
}
[[gnu::always_inline]] inline Longs Widen(Ints w) {
    return reinterpret_cast<Longs>(_mm256_cvtepi32_epi64(reinterpret_cast<__m128i>(w)));
}
[[gnu::always_inline]] inline Ints Narrow(Longs w) {
    const __m256i low =
        _mm256_permutevar8x32_epi32(reinterpret_cast<__m256i>(w), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
    return reinterpret_cast<Ints>(_mm256_castsi256_si128(low));
}
[[gnu::always_inline]] inline Doubles ToDoubles(Ints w) {
    return reinterpret_cast<Doubles>(_mm256_cvtepi32_pd(reinterpret_cast<__m128i>(w)));
}
[[gnu::always_inline]] inline Ints Truncate(Doubles x) {
    return reinterpret_cast<Ints>(_mm256_cvttpd_epi32(reinterpret_cast<__m256d>(x)));
}
[[gnu::always_inline]] inline Floats ToFloats(Doubles x) {
    return reinterpret_cast<Floats>(_mm256_cvtpd_ps(reinterpret_cast<__m256d>(x)));
}
[[gnu::always_inline]] inline Doubles FromFloats(Floats x) {
    return reinterpret_cast<Doubles>(_mm256_cvtps_pd(reinterpret_cast<__m128>(x)));
}
[[gnu::always_inline]] inline std::uint64_t LaneBits(Longs m) {
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
}
[[gnu::always_inline]] inline bool AnyLane(Ints w) {
    return !_mm_testz_si128(reinterpret_cast<__m128i>(w), reinterpret_cast<__m128i>(w));
}
[[gnu::always_inline]] inline Doubles Gather(const double* base, Longs at) {
    return reinterpret_cast<Doubles>(_mm256_i64gather_pd(base, reinterpret_cast<__m256i>(at), 8));
}
[[gnu::always_inline]] inline Doubles Quotient(Ints w) {
    const __m256d x = _mm256_cvtepi32_pd(reinterpret_cast<__m128i>(w));
    const __m256d r = _mm256_set1_pd(1.0 / kVoxelMax), m = _mm256_set1_pd(kVoxelMax);
    const __m256d q = _mm256_mul_pd(x, r);
    return reinterpret_cast<Doubles>(_mm256_fmadd_pd(_mm256_fnmadd_pd(q, m, x), r, q));
}
#include "compute/kernel_lanes.inc"
}  // namespace lanes256
ZUN_POP_TARGET

namespace lanes128 {
constexpr int kWidth = 2;
typedef double Doubles __attribute__((vector_size(16)));
typedef std::int64_t Longs __attribute__((vector_size(16)));
typedef float Floats __attribute__((vector_size(8)));
typedef std::int32_t Ints __attribute__((vector_size(8)));
typedef std::uint16_t Words __attribute__((vector_size(4)));
[[gnu::always_inline]] inline Ints Load16(const std::uint16_t* p) {
    Words h;
    std::memcpy(&h, p, sizeof h);
    return __builtin_convertvector(h, Ints);
}
[[gnu::always_inline]] inline void Store16(std::uint16_t* p, Ints w) {
    const Words h = __builtin_convertvector(w, Words);
    std::memcpy(p, &h, sizeof h);
}
[[gnu::always_inline]] inline Longs Widen(Ints w) {
    return __builtin_convertvector(w, Longs);
}
[[gnu::always_inline]] inline Ints Narrow(Longs w) {
    return __builtin_convertvector(w, Ints);
}
[[gnu::always_inline]] inline Doubles ToDoubles(Ints w) {
    return __builtin_convertvector(w, Doubles);
}
[[gnu::always_inline]] inline Ints Truncate(Doubles x) {
    return __builtin_convertvector(x, Ints);
}
[[gnu::always_inline]] inline Floats ToFloats(Doubles x) {
    return __builtin_convertvector(x, Floats);
}
[[gnu::always_inline]] inline Doubles FromFloats(Floats x) {
    return __builtin_convertvector(x, Doubles);
}
[[gnu::always_inline]] inline std::uint64_t LaneBits(Longs m) {
    return (m[0] != 0 ? 1u : 0u) | (m[1] != 0 ? 2u : 0u);
}
[[gnu::always_inline]] inline bool AnyLane(Ints w) {
    std::uint64_t x;
    std::memcpy(&x, &w, sizeof x);
    return x != 0;
}
[[gnu::always_inline]] inline Doubles Gather(const double* base, Longs at) {
    return Doubles{base[at[0]], base[at[1]]};
}
[[gnu::always_inline]] inline Doubles Quotient(Ints w) {
    return ToDoubles(w) / double(kVoxelMax);
}
#include "compute/kernel_lanes.inc"
}  // namespace lanes128

namespace {

template <bool Linear>
int Dispatch(const InnerLaneData& d, std::uint16_t* const* ch, std::int64_t first, std::int64_t count,
             std::uint64_t* done, LaneLeftover* left, SoftLaneFaces* faces, FaceMemory* memory) {
    int records = 0;
    WithCompositionCount(d.n, [&](auto size) {
        constexpr int N = decltype(size)::value;
        switch (d.level) {
            case CpuLevel::Avx512:
                records = lanes512::Run<N, Linear>(d, ch, first, count, done, left, faces, memory);
                break;
            case CpuLevel::Avx2:
                records = lanes256::Run<N, Linear>(d, ch, first, count, done, left, faces, memory);
                break;
            default:
                records = lanes128::Run<N, Linear>(d, ch, first, count, done, left, faces, memory);
        }
        return true;
    });
    return records;
}

}  // namespace

int ExactInnerLanes(const InnerLaneData& d, std::uint16_t* const* channels, std::int64_t first,
                    std::int64_t count, std::uint64_t* done, LaneLeftover*) {
    return Dispatch<false>(d, channels, first, count, done, nullptr, nullptr, nullptr);
}

int LinearInnerLanes(const InnerLaneData& d, std::uint16_t* const* channels, std::int64_t first,
                     std::int64_t count, std::uint64_t* done, LaneLeftover* left, SoftLaneFaces* faces,
                     FaceMemory* memory) {
    return Dispatch<true>(d, channels, first, count, done, left, faces, memory);
}

}  // namespace zun::zunlib
