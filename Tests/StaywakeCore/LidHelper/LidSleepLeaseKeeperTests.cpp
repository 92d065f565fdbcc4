#include "FakeSystemSleepSetting.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "StaywakeCore/LidHelper/LidSleepLeaseKeeper.h"
#include "Support/Fakes/FakeClocks.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace staywake {
namespace {

using testing::FakeDateProvider;
using testing::FakeSystemSleepSetting;
using testing::FakeUptimeProvider;
using Calls = std::vector<std::string>;

struct KeeperHarness {
    /// A keeper over a setting that starts at `initial`, and whose writes fail
    /// with `writeFailure` (if any) from the first one on.
    explicit KeeperHarness(bool initial = false, std::optional<std::string> writeFailure = std::nullopt)
        : setting(std::make_shared<FakeSystemSleepSetting>(initial, std::move(writeFailure))),
          dates(std::make_shared<FakeDateProvider>()), uptime(std::make_shared<FakeUptimeProvider>()),
          keeper(setting, dates, uptime) {}

    void advance(double seconds) {
        dates->advance(seconds);
        uptime->advance(seconds);
    }
    Date now() const { return dates->now(); }
    void holdFor(double seconds) { keeper.renew(now() + seconds); }
    /// Forgets the calls so far, then holds a lease whose write of 1 fails.
    void failToHold() {
        setting->takeCalls();
        setting->writeFailure = "the tool timed out";
        holdFor(30);
    }
    /// Holds a lease and gives it back with a write of 0 that fails; writes
    /// work again afterwards, and the calls so far are forgotten.
    void failToRevoke() {
        holdFor(30);
        setting->writeFailure = "could not unmask";
        keeper.revoke();
        setting->writeFailure.reset();
        setting->takeCalls();
    }

    std::shared_ptr<FakeSystemSleepSetting> setting;
    std::shared_ptr<FakeDateProvider> dates;
    std::shared_ptr<FakeUptimeProvider> uptime;
    LidSleepLeaseKeeper keeper;
};

TEST(LidSleepLeaseKeeper, TurnsTheSettingOffAtConstructionWhoeverSetIt) {
    for (const bool initial : {true, false}) {
        KeeperHarness h(initial);
        EXPECT_EQ(h.setting->takeCalls(), Calls{"write 0"}) << initial;
        EXPECT_FALSE(h.setting->value);
        EXPECT_FALSE(h.keeper.leaseExpiry());
        EXPECT_FALSE(h.keeper.isSleepDisabled());
        EXPECT_FALSE(h.keeper.lastError());
    }
}

TEST(LidSleepLeaseKeeper, AFailedFirstWriteIsKeptAndRetriedByTheCheck) {
    KeeperHarness h(true, "pmset is missing");
    EXPECT_EQ(h.keeper.lastErrorDescription(), "pmset is missing");

    h.setting->writeFailure.reset();
    h.uptime->advance(LidSleepLease::retrySpacing);
    h.keeper.checkLease();
    EXPECT_FALSE(h.keeper.lastError());
    EXPECT_FALSE(h.setting->value);
    EXPECT_EQ(h.setting->takeCalls(), (Calls{"write 0", "write 0"}));
}

TEST(LidSleepLeaseKeeper, CapsTermsAtThirtySecondsOnBothClocks) {
    struct Case {
        const char* name;
        double ahead;
        std::optional<double> expectedLength;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"an hour ahead", 3600, 30},
        {"just past the cap", 30.5, 30},
        {"inside the cap", 12.5, 12.5},
        {"infinitely far", infinity, 30},
        {"now", 0, std::nullopt},
        {"in the past", -5, std::nullopt},
        {"infinitely past", -infinity, std::nullopt},
        {"not a number", nan, std::nullopt},
    };
    KeeperHarness h;
    h.uptime->current = 777;
    for (const auto& c : cases) {
        const auto term = h.keeper.term(h.now() + c.ahead);
        if (!c.expectedLength) {
            EXPECT_FALSE(term) << c.name;
            continue;
        }
        ASSERT_TRUE(term) << c.name;
        EXPECT_EQ(term->expiry, h.now() + *c.expectedLength) << c.name;
        EXPECT_EQ(term->uptimeExpiry, 777 + *c.expectedLength) << c.name;
    }
}

TEST(LidSleepLeaseKeeper, EitherClockAloneEndsALease) {
    struct Case {
        const char* name;
        double wallMove;
        double uptimeMove;
        bool lapsed;
    };
    const Case cases[] = {
        {"both short of the end", 9.9, 9.9, false},
        {"wall clock reaches the end", 10, 5, true},
        {"uptime reaches the end", 5, 10, true},
        {"wall clock set back, uptime runs out", -3600, 10, true},
        {"wall clock set forward past the end", 3600, 0, true},
        {"slept through: uptime stood still, wall clock ran out", 20, 0, true},
    };
    for (const auto& c : cases) {
        KeeperHarness h;
        const auto term = h.keeper.term(h.now() + 10);
        ASSERT_TRUE(term);
        h.dates->advance(c.wallMove);
        h.uptime->advance(c.uptimeMove);
        EXPECT_EQ(h.keeper.hasLapsed(*term), c.lapsed) << c.name;
    }
}

TEST(LidSleepLeaseKeeper, ARenewalUntilThePastGivesTheLeaseBackAtOnce) {
    KeeperHarness h;
    h.holdFor(3600);
    EXPECT_EQ(h.setting->takeCalls(), (Calls{"write 0", "write 1"}));
    h.keeper.checkLease();
    EXPECT_TRUE(h.setting->takeCalls().empty()) << "a running lease that is written runs nothing";
    h.keeper.renew(Date{0});
    EXPECT_FALSE(h.keeper.leaseExpiry());
    EXPECT_FALSE(h.keeper.leaseUptimeExpiry());
    EXPECT_FALSE(h.keeper.isSleepDisabled());
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 0"});
}

TEST(LidSleepLeaseKeeper, SpacesRetriesOfTheSameValueButNeverHoldsBackTheOther) {
    KeeperHarness h;
    h.failToHold();
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 1"});
    EXPECT_EQ(h.keeper.lastErrorDescription(), "the tool timed out");
    EXPECT_TRUE(h.keeper.leaseExpiry()) << "a failure does not change the lease";
    EXPECT_FALSE(h.keeper.isSleepDisabled());

    h.advance(0.1);
    h.keeper.checkLease();
    h.holdFor(30);
    EXPECT_TRUE(h.setting->takeCalls().empty()) << "0.1 s after the failure";

    h.advance(0.15);
    h.keeper.checkLease();
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 1"}) << "0.25 s after the failure";

    h.advance(0.1);
    h.keeper.revoke();
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 0"}) << "the other value goes at once";
}

TEST(LidSleepLeaseKeeper, SpacingRunsFromTheEndOfTheFailedAttempt) {
    KeeperHarness h;
    h.setting->duringWrite = [&] { h.advance(1); };
    h.failToHold();
    h.setting->duringWrite = nullptr;
    h.advance(0.2);
    h.keeper.checkLease();
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 1"}) << "0.2 s after an attempt that took 1 s";
}

TEST(LidSleepLeaseKeeper, RepeatsAConfirmedValueWhileAFailureOfTheOtherStands) {
    KeeperHarness h;
    h.failToRevoke();
    h.holdFor(30);
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 1"});
    EXPECT_FALSE(h.keeper.lastError());
    EXPECT_TRUE(h.keeper.isSleepDisabled());
}

TEST(LidSleepLeaseKeeper, ReadsTheStandingAgainstWhatItWrote) {
    struct Case {
        const char* name;
        bool holding;
        std::optional<bool> reads; // absent: the read fails
        SleepSettingStanding standing;
        bool leaseAfter;
    };
    const Case cases[] = {
        {"0 written, reads 0", false, false, SleepSettingStanding::asWritten(), false},
        {"1 written, reads 1", true, true, SleepSettingStanding::asWritten(), true},
        {"0 written, reads 1", false, true, SleepSettingStanding::onElsewhere(), false},
        {"1 written, reads 0", true, false, SleepSettingStanding::offElsewhere(), false},
        {"0 written, unreadable", false, std::nullopt,
         SleepSettingStanding::unread("pmset printed nothing useful"), false},
        {"1 written, unreadable", true, std::nullopt, SleepSettingStanding::asWritten(), true},
    };
    for (const auto& c : cases) {
        KeeperHarness h;
        if (c.holding) {
            h.holdFor(30);
        }
        h.setting->takeCalls();
        if (c.reads) {
            h.setting->value = *c.reads;
        } else {
            h.setting->readFailure = "pmset printed nothing useful";
        }
        EXPECT_EQ(h.keeper.readStanding(), c.standing) << c.name;
        EXPECT_EQ(h.setting->takeCalls(), Calls{"read"}) << c.name;
        EXPECT_EQ(h.keeper.leaseExpiry().has_value(), c.leaseAfter) << c.name;

        // Whatever was found, the following check writes nothing: the keeper
        // never overrides a change made elsewhere.
        h.keeper.checkLease();
        EXPECT_TRUE(h.setting->takeCalls().empty()) << c.name;
        if (c.reads) {
            EXPECT_EQ(h.setting->value, *c.reads) << c.name;
        }
    }
}

TEST(LidSleepLeaseKeeper, ReadsNothingWhileAWriteFailureStands) {
    KeeperHarness h;
    h.failToHold();
    h.setting->takeCalls();
    h.setting->value = true;
    EXPECT_EQ(h.keeper.readStanding(), SleepSettingStanding::asWritten());
    EXPECT_TRUE(h.setting->takeCalls().empty());
}

TEST(LidSleepLeaseKeeper, RevokeBeforeExitPausesBetweenAttemptsUntilToldToStop) {
    struct Case {
        const char* name;
        int failingAttempts;
        int untilSaysStopAtCall; // 1-based
        bool restored;
        Calls events;
    };
    const Case cases[] = {
        {"first attempt succeeds", 0, 1, true, {"write 0"}},
        {"third attempt succeeds",
         2,
         5,
         true,
         {"write 0", "until", "pause", "write 0", "until", "pause", "write 0"}},
        {"every attempt fails",
         100,
         3,
         false,
         {"write 0", "until", "pause", "write 0", "until", "pause", "write 0", "until"}},
        {"stop asked before any retry", 100, 1, false, {"write 0", "until"}},
    };
    for (const auto& c : cases) {
        KeeperHarness h;
        h.holdFor(30);
        h.setting->takeCalls();
        int failuresLeft = c.failingAttempts;
        h.setting->duringWrite = [&] {
            if (failuresLeft-- > 0) {
                h.setting->writeFailure = "could not unmask";
            } else {
                h.setting->writeFailure.reset();
            }
        };
        int untilCalls = 0;
        const bool restored = h.keeper.revokeBeforeExit(
            [&] {
                h.setting->calls.push_back("until");
                return ++untilCalls >= c.untilSaysStopAtCall;
            },
            [&] { h.setting->calls.push_back("pause"); });
        EXPECT_EQ(restored, c.restored) << c.name;
        EXPECT_EQ(h.setting->takeCalls(), c.events) << c.name;
        EXPECT_FALSE(h.keeper.leaseExpiry()) << c.name;
        EXPECT_EQ(h.keeper.lastError() == nullptr, c.restored) << c.name;
        EXPECT_EQ(h.setting->value, !c.restored) << c.name;
    }
}

TEST(LidSleepLeaseKeeper, RevokeBeforeExitIgnoresTheRetrySpacing) {
    KeeperHarness h;
    h.failToRevoke();
    EXPECT_TRUE(h.keeper.revokeBeforeExit([] { return true; }, [] {}));
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 0"});
}

TEST(LidSleepLeaseKeeper, DescribesAFailureByItsOwnText) {
    EXPECT_EQ(LidSleepLeaseKeeper::describe(std::make_exception_ptr(std::runtime_error("exact text: 1"))),
              "exact text: 1");
    EXPECT_EQ(LidSleepLeaseKeeper::describe(std::make_exception_ptr(42)), "an unknown error");
}

} // namespace
} // namespace staywake
