#include "script/kernels.h"

#include <gtest/gtest.h>

namespace zun::script::kernels {
namespace {

// A console line over a small channel runs its operators on one thread however many the line may
// use; a channel large enough to share out gets the whole team, and a team never grows past what
// the line allows.
TEST(KernelTeams, OneThreadPerFloorOfElements) {
    constexpr int64_t kSmallChannel = 24 * 24 * 24;
    constexpr int64_t kLargeChannel = 128 * 128 * 128;
    EXPECT_EQ(TeamFor(kSmallChannel, 8), 1);
    EXPECT_EQ(TeamFor(kLargeChannel, 8), 8);
    EXPECT_EQ(TeamFor(kLargeChannel, 3), 3);
    EXPECT_EQ(TeamFor(3 * kElementsPerThread, 8), 3);
    EXPECT_EQ(TeamFor(2 * kElementsPerThread - 1, 8), 1);
    // No elements or no threads asked for still make a team of one.
    EXPECT_EQ(TeamFor(0, 8), 1);
    EXPECT_EQ(TeamFor(kLargeChannel, 0), 1);
    EXPECT_EQ(TeamFor(kLargeChannel, -2), 1);
}

}  // namespace
}  // namespace zun::script::kernels
