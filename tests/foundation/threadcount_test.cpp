#include "foundation/threadcount.h"

#include <gtest/gtest.h>

#include "foundation/pinnedthread.h"

namespace zun {
namespace {

// A team never outgrows the processors the thread may run on, whatever the machine has or the
// document selects; a smaller selection is kept.
TEST(ThreadCount, FollowsTheAffinityMask) {
    int usable = 0, all = 0, selectedMore = 0, selectedOne = 0;
    ASSERT_TRUE(RunOnProcessors(1, [&] {
        usable = UsableProcessors();
        all = TeamThreads();
        selectedMore = TeamThreads(6);
        selectedOne = TeamThreads(1);
    }));
    EXPECT_EQ(usable, 1);
    EXPECT_EQ(all, 1);
    EXPECT_EQ(selectedMore, 1);
    EXPECT_EQ(selectedOne, 1);
    if (UsableProcessors() < 2) GTEST_SKIP() << "one processor only";
    ASSERT_TRUE(RunOnProcessors(2, [&] {
        usable = UsableProcessors();
        all = TeamThreads();
        selectedMore = TeamThreads(6);
        selectedOne = TeamThreads(1);
    }));
    EXPECT_EQ(usable, 2);
    EXPECT_EQ(all, 2);
    EXPECT_EQ(selectedMore, 2);
    EXPECT_EQ(selectedOne, 1);
}

}  // namespace
}  // namespace zun
