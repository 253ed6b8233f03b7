#include "foundation/heaprelease.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace zun {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kOwnAllocator = true;  // the sanitizer's heap stands in for the C library's
#else
constexpr bool kOwnAllocator = false;
#endif

constexpr std::size_t kMB = std::size_t(1) << 20;

std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

std::size_t MappedBytes() {
    return mallinfo2().hblkhd;
}

// A touched block, as a document's voxels or a view's drawing buffer are.
void* TouchedBlock(std::size_t bytes) {
    void* block = std::malloc(bytes);
    if (block) std::memset(block, 1, bytes);
    return block;
}

// Closing a document frees blocks of a few megabytes; the next document's blocks must not be
// carved out of the heap below documents still open, where they would stay when freed in turn.
TEST(HeapRelease, LargeBlocksAreMappedOnTheirOwnAlsoAfterOneWasFreed) {
    if (kOwnAllocator) GTEST_SKIP() << "the sanitizer keeps its own heap";
    ASSERT_TRUE(SetHeapPolicy());
    std::free(TouchedBlock(8 * kMB));
    const std::size_t mapped = MappedBytes();
    void* next = TouchedBlock(4 * kMB);
    ASSERT_NE(next, nullptr);
    EXPECT_GE(MappedBytes(), mapped + 4 * kMB) << "a block freed raised the threshold";
    std::free(next);
    EXPECT_LE(MappedBytes(), mapped) << "a freed block's own mapping goes back at once";

    // The threshold itself: a block of it is mapped, a smaller one comes from the heap.
    void* atThreshold = TouchedBlock(kOwnMappingBytes);
    EXPECT_GE(MappedBytes(), mapped + kOwnMappingBytes);
    std::free(atThreshold);
    const std::size_t before = MappedBytes();
    void* small = TouchedBlock(kOwnMappingBytes / 4);
    EXPECT_EQ(MappedBytes(), before);
    std::free(small);
}

// Blocks freed below one still in use stay resident until the heap is asked to give them back.
TEST(HeapRelease, FreePagesBelowABlockInUseGoBackWhenReleased) {
    if (kOwnAllocator) GTEST_SKIP() << "the sanitizer keeps its own heap";
    ASSERT_TRUE(SetHeapPolicy());
    const std::size_t blockBytes = kOwnMappingBytes / 4;  // from the heap, as shown above
    std::vector<void*> blocks;
    for (std::size_t total = 0; total < 32 * kMB; total += blockBytes)
        blocks.push_back(TouchedBlock(blockBytes));
    void* inUse = TouchedBlock(blockBytes);
    for (void* b : blocks) std::free(b);
    const std::size_t freed = ResidentBytes();
    EXPECT_TRUE(ReleaseFreeHeap());
    const std::size_t released = ResidentBytes();
    EXPECT_GE(freed, released + 24 * kMB)
        << "resident " << freed / kMB << " MB before, " << released / kMB << " MB after";
    std::free(inUse);
}

}  // namespace
}  // namespace zun
