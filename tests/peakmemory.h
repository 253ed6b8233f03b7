#pragma once
// The resident memory of the test process and its peak, for tests that a piece of work holds no
// second copy of its data. Large blocks are mapped and given back one at a time while they are
// used (a block freed must not stay resident in the heap and hide the next one's peak).

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zun::test {

// "VmRSS:" (now) or "VmHWM:" (peak since the last ResetPeakMemory) in bytes; -1 when unknown.
inline std::int64_t StatusBytes(const char* key) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long long kb = -1;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atoll(line + std::strlen(key));
    if (f) std::fclose(f);
    return kb < 0 ? -1 : kb * 1024;
}

// False when the kernel does not let the peak be reset (the test should then skip).
inline bool ResetPeakMemory() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    const bool ok = f && std::fputs("5", f) >= 0;
    if (f) std::fclose(f);
    return ok;
}

}  // namespace zun::test
