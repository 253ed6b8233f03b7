#pragma once
// Replaces the global allocation functions of one test program so that a test can make large
// allocations fail from any thread, as they do when memory runs out. Include it in exactly one
// source file of the program.

#include <atomic>
#include <cstdlib>
#include <new>

// The replacements below pair malloc with free; GCC cannot see that once it inlines them and warns
// about a mismatch at every delete of the including file.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

inline std::atomic<bool> gFailLargeAllocations{false};

void* operator new(std::size_t size) {
    if (gFailLargeAllocations && size >= 64 * 1024) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
