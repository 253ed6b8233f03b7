#include "foundation/threadcount.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>

#include "foundation/pinnedthread.h"

namespace zun {
namespace {

// A team never outgrows the processors the thread may run on, whatever the machine has or the
// document selects; a smaller selection is kept.
TEST(ThreadCount, FollowsTheAffinityMask) {
    // Usable processors, then teams for no selection, a selection of 6 and one of 1.
    auto countsOn = [](int processors) {
        std::array<int, 4> counts{};
        EXPECT_TRUE(RunOnProcessors(processors, [&] {
            counts = {UsableProcessors(), TeamThreads(), TeamThreads(6), TeamThreads(1)};
        }));
        return counts;
    };
    EXPECT_EQ(countsOn(1), (std::array<int, 4>{1, 1, 1, 1}));
    if (UsableProcessors() < 2) GTEST_SKIP() << "one processor only";
    // Unless the runtime was told to use fewer (OMP_NUM_THREADS).
    const int all = std::min(2, omp_get_max_threads());
    EXPECT_EQ(countsOn(2), (std::array<int, 4>{2, all, 2, 1}));
}

}  // namespace
}  // namespace zun
