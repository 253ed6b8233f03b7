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
