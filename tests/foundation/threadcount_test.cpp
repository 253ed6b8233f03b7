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

// A test's own processor count holds on every thread, also one pinned to a single processor, and
// ends with it; an inner count gives the outer one back.
TEST(ThreadCount, ATestsOwnProcessorCountHoldsOnEveryThreadUntilItEnds) {
    const int machine = UsableProcessors();
    {
        TestProcessorCount three(3);
        EXPECT_EQ(UsableProcessors(), 3);
        EXPECT_EQ(TeamThreads(6), 3);
        EXPECT_EQ(TeamThreads(2), 2);
        std::array<int, 2> onOne{};
        EXPECT_TRUE(RunOnProcessors(1, [&] { onOne = {UsableProcessors(), TeamThreads(6)}; }));
        EXPECT_EQ(onOne, (std::array<int, 2>{3, 3}));
        {
            TestProcessorCount one(1);
            EXPECT_EQ(TeamThreads(6), 1);
        }
        EXPECT_EQ(TeamThreads(6), 3);
    }
    EXPECT_EQ(UsableProcessors(), machine);
}

}  // namespace
}  // namespace zun
