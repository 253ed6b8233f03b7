#include "foundation/heaprelease.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zun {

bool SetHeapPolicy() {
#if defined(__GLIBC__)
    // Setting either threshold turns off the library's own raising of both.
    const int bytes = static_cast<int>(kOwnMappingBytes);
    return mallopt(M_MMAP_THRESHOLD, bytes) == 1 && mallopt(M_TRIM_THRESHOLD, 2 * bytes) == 1;
#else
    return false;
#endif
}

bool ReleaseFreeHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
    return true;
#else
    return false;
#endif
}

}  // namespace zun
