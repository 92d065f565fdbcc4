#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Awake/SleepBlocker.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

// The controller tests count locks on this double, so its counting is pinned here.
TEST(InMemorySleepBlocker, TakesOneLockHowEverOftenEngagedAndARefusalHoldsNothingUntilLifted) {
    InMemorySleepBlocker blocker;
    blocker.release();
    blocker.refuse(-536870212);
    try {
        blocker.engage();
        ADD_FAILURE() << "engage() should have been refused";
    } catch (const SleepBlockerError& error) {
        EXPECT_EQ(error, SleepBlockerError::assertionFailed(-536870212));
    }
    EXPECT_FALSE(blocker.isEngaged());

    blocker.stopRefusing();
    blocker.engage();
    blocker.engage();
    blocker.release();
    blocker.release();
    EXPECT_FALSE(blocker.isEngaged());
    EXPECT_EQ(blocker.engageCalls, 3);
    EXPECT_EQ(blocker.takenCount, 1);
    EXPECT_EQ(blocker.releasedCount, 1);
}

} // namespace
} // namespace staywake
