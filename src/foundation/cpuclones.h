#pragma once
// Hot loops built for the wider vector units as well, the version chosen at load time by an
// ifunc resolver. That resolver runs before the thread sanitizer's runtime is ready (the program
// dies while loading), so instrumented builds keep the one portable version.

#if defined(__SANITIZE_THREAD__)
#define ZUN_THREAD_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZUN_THREAD_SANITIZED 1
#endif
#endif

#if defined(ZUN_THREAD_SANITIZED)
#define ZUN_CPU_CLONES
#else
#define ZUN_CPU_CLONES __attribute__((target_clones("avx2", "default")))
#endif

// Loops whose versions are chosen by the caller instead (so a test can run each one): the
// instruction sets they are built for, the best this machine has, and the pragmas that build the
// code between them for a set.
namespace zun {

// Avx2 stands for AVX2 with fused multiply-adds (a machine with the one and not the other gets
// the baseline).
enum class CpuLevel : int { Baseline = 0, Avx2 = 1, Avx512 = 2 };

inline CpuLevel MachineCpuLevel() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw"))
        return CpuLevel::Avx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return CpuLevel::Avx2;
#endif
    return CpuLevel::Baseline;
}

}  // namespace zun

// Everything between a push and the pop built for that instruction set (functions, and the
// templates defined there with their instances).
#if !defined(__x86_64__) && !defined(__i386__)
#define ZUN_PUSH_TARGET_AVX2
#define ZUN_PUSH_TARGET_AVX512
#define ZUN_POP_TARGET
#elif defined(__clang__)
#define ZUN_PUSH_TARGET_AVX2 \
    _Pragma("clang attribute push(__attribute__((target(\"avx2,fma\"))), apply_to = function)")
// clang-format off
#define ZUN_PUSH_TARGET_AVX512 _Pragma("clang attribute push(__attribute__((target(\"avx512f,avx512vl,avx512dq,avx512bw\"))), apply_to = function)")
// clang-format on
#define ZUN_POP_TARGET _Pragma("clang attribute pop")
#else
#define ZUN_PUSH_TARGET_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,fma\")")
#define ZUN_PUSH_TARGET_AVX512 \
    _Pragma("GCC push_options") _Pragma("GCC target(\"avx512f,avx512vl,avx512dq,avx512bw\")")
#define ZUN_POP_TARGET _Pragma("GCC pop_options")
#endif
