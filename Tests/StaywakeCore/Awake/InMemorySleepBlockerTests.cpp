#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Awake/SleepBlockerError.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(InMemorySleepBlocker, TakesOneLockHowEverOftenEngagedAndGivesItBackOnce) {
    InMemorySleepBlocker blocker;
    blocker.release();
    EXPECT_EQ(blocker.releasedCount, 0);

    blocker.engage();
    blocker.engage();
    EXPECT_TRUE(blocker.isEngaged());
    EXPECT_EQ(blocker.engageCalls, 2);
    EXPECT_EQ(blocker.takenCount, 1);

    blocker.release();
    blocker.release();
    EXPECT_FALSE(blocker.isEngaged());
    EXPECT_EQ(blocker.releasedCount, 1);
}

TEST(InMemorySleepBlocker, ARefusalCarriesItsCodeAndHoldsNothingUntilLifted) {
    InMemorySleepBlocker blocker;
    blocker.refuse(-536870212);
    try {
        blocker.engage();
        FAIL() << "engage() should have been refused";
    } catch (const SleepBlockerError& error) {
        EXPECT_EQ(error, SleepBlockerError::assertionFailed(-536870212));
    }
    EXPECT_FALSE(blocker.isEngaged());
    EXPECT_EQ(blocker.takenCount, 0);

    blocker.stopRefusing();
    blocker.engage();
    EXPECT_TRUE(blocker.isEngaged());
}

} // namespace
} // namespace staywake
