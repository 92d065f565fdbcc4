#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>

namespace staywake {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr Date launch{1'700'000'000};

StoredAwakeIntent stored(const AwakeIntent& intent) { return StoredAwakeIntent::intent(intent); }
std::string relative(std::optional<Date> date) {
    return date ? "+" + ::testing::PrintToString(*date - launch) : "-";
}

/// Keeps the intents saved, as "off", "on" or "until +seconds".
class RecordingIntentStore final : public AwakeIntentStore {
public:
    explicit RecordingIntentStore(StoredAwakeIntent initial) : current(initial) {}
    StoredAwakeIntent load() override { return current; }
    void save(const AwakeIntent& intent) override {
        current = stored(intent);
        const auto kind = intent.kind();
        saved += std::string(saved.empty() ? "" : " ") +
                 (kind == AwakeIntent::Kind::off          ? "off"
                  : kind == AwakeIntent::Kind::indefinite ? "on"
                                                          : "until ") +
                 (intent.date() ? relative(intent.date()) : "");
    }
    StoredAwakeIntent current;
    std::string saved;
};

class AwakeControllerTest : public ::testing::Test {
protected:
    std::unique_ptr<AwakeController> make(StoredAwakeIntent record = stored(AwakeIntent::off()),
                                          bool restoring = true, std::shared_ptr<SleepBlocker> lock = nullptr) {
        blocker = std::make_shared<InMemorySleepBlocker>();
        scheduler = std::make_shared<testing::ManualDeadlineScheduler>();
        recheck = std::make_shared<testing::ManualRecheckNotifier>();
        dates->current = launch;
        continuous->current = 5000;
        store = std::make_shared<RecordingIntentStore>(record);
        return std::make_unique<AwakeController>(lock ? lock : blocker, store, dates, continuous, scheduler,
                                                 recheck, restoring);
    }
    void pass(double seconds) { dates->advance(seconds), continuous->advance(seconds); }
    std::string state(const AwakeController& controller) const {
        std::ostringstream line;
        line << (controller.isOn().get() ? "on" : "off") << (controller.isRequested().get() ? " requested" : "")
             << " until " << relative(controller.activeUntil().get()) << " timer "
             << relative(scheduler->pendingAt) << " lock " << (blocker->isEngaged() ? "held" : "free")
             << " saved [" << store->saved << "]";
        return line.str();
    }

    std::shared_ptr<InMemorySleepBlocker> blocker;
    std::shared_ptr<RecordingIntentStore> store;
    std::shared_ptr<testing::FakeDateProvider> dates = std::make_shared<testing::FakeDateProvider>(launch);
    std::shared_ptr<testing::FakeContinuousTimeProvider> continuous =
        std::make_shared<testing::FakeContinuousTimeProvider>(5000);
    std::shared_ptr<testing::ManualDeadlineScheduler> scheduler;
    std::shared_ptr<testing::ManualRecheckNotifier> recheck;
};

// A record that can no longer be restored is rewritten to off; without restoring, it is only mirrored.
TEST_F(AwakeControllerTest, LaunchRestoresOnlyAUsableSessionStillAhead) {
    const auto until = [](Date date) { return stored(AwakeIntent::until(date)); };
    const std::string cleared = "off until - timer - lock free saved [off]";
    const std::tuple<const char*, StoredAwakeIntent, bool, std::string> cases[] = {
        // name, record, restoring, state
        {"off", stored(AwakeIntent::off()), true, "off until - timer - lock free saved []"},
        {"indefinite", stored(AwakeIntent::indefinite()), true, "on requested until - timer - lock held saved []"},
        {"an hour ahead", until(launch + 3600), true, "on requested until +3600 timer +3600 lock held saved []"},
        {"due right now", until(launch), true, cleared},
        {"passed", until(launch - 1), true, cleared},
        {"past the distant future", until(Date{std::nextafter(Date::distantFuture().secondsSince1970, infinity)}),
         true, cleared},
        {"unreadable", StoredAwakeIntent::unreadableDeadline(), true, cleared},
        {"mirrored: ahead", until(launch + 60), false, "off requested until +60 timer - lock free saved []"},
        {"mirrored: unreadable", StoredAwakeIntent::unreadableDeadline(), false,
         "off requested until - timer - lock free saved []"},
    };
    for (const auto& [name, record, restoring, expected] : cases) {
        const auto controller = make(record, restoring);
        EXPECT_EQ(state(*controller), expected) << name;
        EXPECT_EQ(controller->endsAt(), controller->activeUntil().get());
    }
}

TEST_F(AwakeControllerTest, WhicheverClockSaysTheSessionEndsFirstWinsAndATieGoesToTheWallClock) {
    const Date deadline = launch + 1800;
    const std::tuple<const char*, double, double, Date> cases[] = {
        // name, wall and continuous moves, end
        {"both clocks moved alike", 600.25, 600.25, deadline},
        // Both clocks leave the same time, so far from the deadline that now
        // plus that time rounds off it: only the wall-clock deadline is exact.
        {"a tie with the wall clock far back", -8589932805.595698, -8589932805.595699, deadline},
        {"wall clock set back an hour", -3600, 0, launch - 3600 + 1800},
        {"wall clock set back during a nap", 100, 700, launch + 100 + 1100},
        {"wall clock set back, slept past the deadline", -600, 1800, launch - 600},
        {"wall clock set forward an hour", 3600, 0, deadline},
        {"continuous clock unreadable", 10, notANumber, deadline},
    };
    for (const auto& [name, wallMove, continuousMove, endsAt] : cases) {
        SCOPED_TRACE(name);
        const auto controller = make();
        controller->turnOn(1800);
        dates->advance(wallMove);
        continuous->current += continuousMove;
        EXPECT_EQ(controller->endsAt(), endsAt);
        scheduler->fire(); // early or late: it re-arms for that end or ends the session
        EXPECT_EQ(state(*controller),
                  endsAt <= dates->now()
                      ? "off until - timer - lock free saved [until +1800 off]"
                      : "on requested until +1800 timer " + relative(endsAt) + " lock held saved [until +1800]");
    }
}

TEST_F(AwakeControllerTest, RemainingTimeFollowsTheEndAndIsNeverNegativeNorNotANumber) {
    const auto controller = make();
    controller->turnOn(std::nullopt);
    EXPECT_EQ(controller->remaining(), std::nullopt);
    controller->turnOn(1800);
    dates->advance(-3600); // the wall clock is set back
    pass(1799.5);
    EXPECT_EQ(controller->remaining(), 0.5);
    pass(0.75); // past the end; the timer has not fired yet
    EXPECT_EQ(controller->remaining(), 0.0);
    dates->current = Date{notANumber};
    EXPECT_EQ(controller->remaining(), 0.0);
}

// Observers hear each real change once, after the state is final; re-aiming a running session keeps the lock.
TEST_F(AwakeControllerTest, ObserversHearEachRealChangeOnceAndSeeTheFinalState) {
    const auto controller = make();
    std::vector<std::string> seen;
    int secondHeard = 0;
    controller->observeSession(
        [&] { seen.push_back(state(*controller).substr(0, state(*controller).find(" saved"))); });
    controller->observeSession([&] { ++secondHeard; });
    std::vector<std::string> published;
    controller->isOn().observe([&](bool value) { published.push_back(value ? "on" : "off"); });
    controller->isRequested().observe(
        [&](bool value) { published.push_back(value ? "requested" : "unrequested"); });
    controller->activeUntil().observe([&](const auto& value) { published.push_back("until " + relative(value)); });

    controller->turnOff(); // while idle: still records off and calls every observer
    controller->turnOn(60);
    pass(10);
    controller->turnOn(7200);
    controller->turnOn(7200);
    controller->turnOn(std::nullopt);
    controller->checkExpiry();
    controller->turnOn(notANumber); // a length that makes no deadline ends the session
    const std::string timed = "on requested until +7210 timer +7210 lock held";
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "off until - timer - lock free", "on requested until +60 timer +60 lock held", timed,
                        timed, "on requested until - timer - lock held", "off until - timer - lock free"}));
    EXPECT_EQ(secondHeard, 6);
    EXPECT_EQ(store->saved, "off until +60 until +7210 until +7210 on off");
    EXPECT_EQ(published, (std::vector<std::string>{"requested", "until +60", "on", "until +7210", "until -",
                                                   "unrequested", "off"}));
    EXPECT_EQ(blocker->takenCount, 1);
}

TEST_F(AwakeControllerTest, ARefusedLockStaysRequestedStillExpiresAndAToggleRetries) {
    auto controller = make();
    blocker->refuse(-536870199);
    int failuresHeard = 0;
    controller->lastFailure().observe([&](const auto&) { ++failuresHeard; });
    controller->turnOn(1800);
    EXPECT_EQ(state(*controller), "off requested until +1800 timer +1800 lock free saved [until +1800]");
    EXPECT_EQ(controller->lastFailure().get(), AwakeFailure::assertionRefused(-536870199));
    controller->toggle(); // still refused: the failure is not announced again
    EXPECT_EQ(state(*controller), "off requested until - timer - lock free saved [until +1800 on]");
    blocker->stopRefusing();
    controller->toggle();
    EXPECT_EQ(controller->lastFailure().get(), std::nullopt);
    controller->toggle();
    EXPECT_EQ(state(*controller), "off until - timer - lock free saved [until +1800 on on off]");
    EXPECT_EQ(failuresHeard, 2);

    // A refused restore keeps the record for the next launch, and expires.
    class RefusingBlocker final : public SleepBlocker {
    public:
        void engage() override { throw 42; } // not even a standard exception
        void release() override {}
        bool isEngaged() const override { return false; }
    };
    controller = make(stored(AwakeIntent::until(launch + 60)), true, std::make_shared<RefusingBlocker>());
    EXPECT_EQ(controller->lastFailure().get(), AwakeFailure(std::exception_ptr()));
    EXPECT_EQ(state(*controller), "off requested until +60 timer +60 lock free saved []");
    pass(60);
    scheduler->fire();
    EXPECT_EQ(state(*controller), "off until - timer - lock free saved [off]");
    EXPECT_EQ(controller->lastFailure().get(), std::nullopt) << "expiry clears the failure";
}

TEST_F(AwakeControllerTest, TimersAndRechecksOfADestroyedControllerDoNothing) {
    auto controller = make();
    controller->turnOn(60);
    auto staleTimer = scheduler->pending;
    const auto staleRecheck = recheck->handler;
    controller.reset();
    EXPECT_TRUE(blocker->isEngaged()) << "destroying the controller does not end the session";

    // A successor restores the session; the old one's callbacks must not reach it.
    const auto successor =
        std::make_unique<AwakeController>(blocker, store, dates, continuous, scheduler, recheck, true);
    pass(120);
    staleTimer();
    staleRecheck();
    EXPECT_TRUE(successor->isOn().get());
    EXPECT_EQ(store->saved, "until +60");
    recheck->trigger();
    EXPECT_FALSE(successor->isOn().get());
}

} // namespace
} // namespace staywake
