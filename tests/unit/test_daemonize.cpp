// The daemons' shared frame: the pause after failures.
#include <gtest/gtest.h>

#include "daemonize.h"

namespace {

TEST(GrowingPause, RetryPauseDoublesFromOneSecondToSixAndStartsAgainAfterReset)
{
    GrowingPause pause = RetryPause();
    const volatile sig_atomic_t stopped = 0;  // every Sleep returns at once
    for (const long millis : {1000L, 2000L, 4000L, 6000L, 6000L}) {
        EXPECT_EQ(millis, pause.Millis());
        EXPECT_FALSE(pause.Sleep(stopped));
    }
    pause.Reset();
    EXPECT_EQ(1000, pause.Millis());
}

}  // namespace
