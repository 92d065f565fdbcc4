#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

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

using testing::FakeContinuousTimeProvider;
using testing::FakeDateProvider;
using testing::ManualDeadlineScheduler;
using testing::ManualRecheckNotifier;
using Intents = std::vector<AwakeIntent>;

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr Date launch{1'700'000'000};

StoredAwakeIntent stored(const AwakeIntent& intent) {
    return StoredAwakeIntent::intent(intent);
}

/// Keeps every intent it is given, so a test can tell what was written.
class RecordingIntentStore final : public AwakeIntentStore {
public:
    explicit RecordingIntentStore(StoredAwakeIntent initial) : current(initial) {}
    StoredAwakeIntent load() override {
        ++loadCount;
        return current;
    }
    void save(const AwakeIntent& intent) override {
        saved.push_back(intent);
        current = stored(intent);
    }

    StoredAwakeIntent current;
    Intents saved;
    int loadCount = 0;
};

class AwakeControllerTest : public ::testing::Test {
protected:
    /// Fresh doubles at launch time, with `record` in the store.
    void reset(StoredAwakeIntent record) {
        blocker = std::make_shared<InMemorySleepBlocker>();
        scheduler = std::make_shared<ManualDeadlineScheduler>();
        recheck = std::make_shared<ManualRecheckNotifier>();
        dates->current = launch;
        continuous->current = 5000;
        store = std::make_shared<RecordingIntentStore>(record);
    }
    std::unique_ptr<AwakeController> controllerOn(std::shared_ptr<SleepBlocker> lock, bool restoring = true) {
        return std::make_unique<AwakeController>(std::move(lock), store, dates, continuous, scheduler,
                                                 recheck, restoring);
    }
    std::unique_ptr<AwakeController> make(StoredAwakeIntent record = stored(AwakeIntent::off()),
                                          bool restoring = true) {
        reset(record);
        return controllerOn(blocker, restoring);
    }

    /// The wall clock and the continuous clock move together, as they do while
    /// the machine is awake (or asleep) and nobody sets the clock.
    void pass(double seconds) {
        dates->advance(seconds);
        continuous->advance(seconds);
    }

    std::shared_ptr<InMemorySleepBlocker> blocker;
    std::shared_ptr<RecordingIntentStore> store;
    std::shared_ptr<FakeDateProvider> dates = std::make_shared<FakeDateProvider>(launch);
    std::shared_ptr<FakeContinuousTimeProvider> continuous =
        std::make_shared<FakeContinuousTimeProvider>(5000);
    std::shared_ptr<ManualDeadlineScheduler> scheduler;
    std::shared_ptr<ManualRecheckNotifier> recheck;
};

TEST_F(AwakeControllerTest, RestoresOnlyAUsableSessionStillAheadAndClearsTheRestWithoutOtherWrites) {
    const auto until = [](Date date) { return stored(AwakeIntent::until(date)); };
    const Date justPastDistantFuture{std::nextafter(Date::distantFuture().secondsSince1970, infinity)};
    struct Case {
        std::string name;
        StoredAwakeIntent record;
        std::optional<Date> activeUntil; // with `on`
        bool on;
    };
    const std::vector<Case> cases = {
        {"off", stored(AwakeIntent::off()), std::nullopt, false},
        {"indefinite", stored(AwakeIntent::indefinite()), std::nullopt, true},
        {"an hour ahead", until(launch + 3600), launch + 3600, true},
        {"the distant future", until(Date::distantFuture()), Date::distantFuture(), true},
        {"due right now", until(launch), std::nullopt, false},
        {"passed", until(launch - 1), std::nullopt, false},
        {"past the distant future", until(justPastDistantFuture), std::nullopt, false},
        {"not a number", until(Date{notANumber}), std::nullopt, false},
        {"unreadable", StoredAwakeIntent::unreadableDeadline(), std::nullopt, false},
    };
    for (const auto& [name, record, activeUntil, on] : cases) {
        SCOPED_TRACE(name);
        const auto controller = make(record);
        EXPECT_EQ(store->loadCount, 1);
        EXPECT_EQ(controller->isOn().get(), on);
        EXPECT_EQ(blocker->isEngaged(), on);
        EXPECT_EQ(controller->isRequested().get(), on);
        EXPECT_EQ(controller->activeUntil().get(), activeUntil);
        EXPECT_EQ(controller->lastFailure().get(), std::nullopt);
        // Only a record that can no longer be restored is rewritten, to off.
        const bool cleared = !on && name != "off";
        EXPECT_EQ(store->saved, cleared ? Intents{AwakeIntent::off()} : Intents{});
        EXPECT_EQ(scheduler->pendingAt, activeUntil);
    }
}

TEST_F(AwakeControllerTest, WithoutRestoringOnlyMirrorsTheRecord) {
    struct Case {
        StoredAwakeIntent record;
        bool requested;
        std::optional<Date> activeUntil;
    };
    const std::vector<Case> cases = {
        {stored(AwakeIntent::off()), false, std::nullopt},
        {stored(AwakeIntent::indefinite()), true, std::nullopt},
        {stored(AwakeIntent::until(launch + 60)), true, launch + 60},
        {stored(AwakeIntent::until(launch - 60)), true, std::nullopt},
        {StoredAwakeIntent::unreadableDeadline(), true, std::nullopt},
    };
    for (const auto& [record, requested, activeUntil] : cases) {
        const auto controller = make(record, false);
        EXPECT_FALSE(controller->isOn().get());
        EXPECT_EQ(controller->isRequested().get(), requested);
        EXPECT_EQ(controller->activeUntil().get(), activeUntil);
        EXPECT_EQ(controller->endsAt(), activeUntil);
        EXPECT_TRUE(store->saved.empty());
        EXPECT_EQ(blocker->engageCalls, 0);
        EXPECT_EQ(scheduler->scheduleCount + scheduler->cancelCount, 0);
        EXPECT_EQ(recheck->observeCount, 1);
    }
}

TEST_F(AwakeControllerTest, WhicheverClockSaysTheSessionEndsFirstWinsAndATieGoesToTheWallClock) {
    struct Case {
        std::string name;
        double wallMove;
        double continuousMove;
        Date endsAt;
    };
    const Date deadline = launch + 1800;
    const std::vector<Case> cases = {
        {"no time passed", 0, 0, deadline},
        {"both clocks moved alike", 600.25, 600.25, deadline},
        // Both clocks leave exactly the same time, but so far from the deadline
        // that now plus that time rounds off it: only the wall-clock deadline
        // is exact.
        {"a tie with the wall clock far back", -8589932805.595698, -8589932805.595699, deadline},
        {"asleep through the deadline", 7200, 7200, deadline},
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

        // A wake or a clock change re-arms the timer for that end, or ends a
        // session whose end has come at once.
        recheck->trigger();
        const bool ended = endsAt <= dates->now();
        EXPECT_EQ(controller->isOn().get(), !ended);
        EXPECT_EQ(controller->isRequested().get(), !ended);
        EXPECT_EQ(scheduler->pendingAt, ended ? std::nullopt : std::optional<Date>(endsAt));
        EXPECT_EQ(store->saved.back(), ended ? AwakeIntent::off() : AwakeIntent::until(deadline));
    }
}

TEST_F(AwakeControllerTest, AnEarlyTimerReArmsAndTheShownDeadlineStaysWhenTheWallClockIsSetBack) {
    const auto controller = make();
    controller->turnOn(1800);
    dates->advance(-3600);
    recheck->trigger();

    pass(1799.5);
    scheduler->fire();
    EXPECT_TRUE(controller->isOn().get());
    EXPECT_EQ(scheduler->pendingAt, launch - 3600 + 1800);
    EXPECT_EQ(controller->activeUntil().get(), launch + 1800);
    EXPECT_EQ(controller->remaining(), 0.5);

    pass(0.5);
    scheduler->fire();
    EXPECT_FALSE(controller->isOn().get());
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_EQ(store->saved.back(), AwakeIntent::off());
}

TEST_F(AwakeControllerTest, RemainingIsNeverNegativeNorNotANumber) {
    const auto controller = make();
    EXPECT_EQ(controller->remaining(), std::nullopt);
    controller->turnOn(std::nullopt);
    EXPECT_EQ(controller->remaining(), std::nullopt);
    EXPECT_EQ(controller->endsAt(), std::nullopt);

    controller->turnOn(60);
    EXPECT_EQ(controller->remaining(), 60.0);
    pass(60.5); // past the deadline; the timer has not fired yet
    EXPECT_EQ(controller->remaining(), 0.0);
    dates->current = Date{notANumber};
    EXPECT_EQ(controller->remaining(), 0.0);
}

TEST_F(AwakeControllerTest, ADurationThatIsNotAFiniteNumberAboveZeroTurnsTheSessionOff) {
    for (const double duration : {0.0, -5.0, infinity, notANumber, std::numeric_limits<double>::max()}) {
        SCOPED_TRACE(duration);
        const auto controller = make(stored(AwakeIntent::indefinite()));
        int sessionCalls = 0;
        controller->observeSession([&] { ++sessionCalls; });

        controller->turnOn(duration);
        EXPECT_FALSE(controller->isOn().get());
        EXPECT_FALSE(controller->isRequested().get());
        EXPECT_EQ(store->saved, Intents{AwakeIntent::off()});
        EXPECT_EQ(sessionCalls, 1);
    }
}

TEST_F(AwakeControllerTest, ReAimingARunningSessionKeepsTheLockAndTellsObserversOnce) {
    const auto controller = make();
    controller->turnOn(3600);
    int sessionCalls = 0;
    int onChanges = 0;
    std::vector<std::optional<Date>> deadlines;
    controller->observeSession([&] { ++sessionCalls; });
    controller->isOn().observe([&](bool) { ++onChanges; });
    controller->activeUntil().observe([&](const auto& value) { deadlines.push_back(value); });

    pass(10);
    controller->turnOn(7200);
    EXPECT_EQ(blocker->takenCount, 1);
    EXPECT_EQ(blocker->releasedCount, 0);
    EXPECT_EQ(sessionCalls, 1);
    EXPECT_EQ(onChanges, 0);
    EXPECT_EQ(deadlines, (std::vector<std::optional<Date>>{launch + 10 + 7200}));
    EXPECT_EQ(scheduler->pendingAt, launch + 10 + 7200);
    EXPECT_EQ(store->saved,
              (Intents{AwakeIntent::until(launch + 3600), AwakeIntent::until(launch + 10 + 7200)}));

    // The same deadline again changes nothing observable but the session call.
    controller->turnOn(7200);
    EXPECT_EQ(deadlines.size(), 1U);
    EXPECT_EQ(sessionCalls, 2);
    controller->turnOn(std::nullopt);
    EXPECT_EQ(deadlines.back(), std::nullopt);
    EXPECT_FALSE(scheduler->isPending());
    EXPECT_EQ(blocker->takenCount, 1);
}

TEST_F(AwakeControllerTest, ARefusedLockStaysRequestedAndAToggleRetries) {
    const auto controller = make();
    blocker->refuse(-536870199);
    std::vector<std::optional<AwakeFailure>> failures;
    controller->lastFailure().observe([&](const auto& failure) { failures.push_back(failure); });

    controller->turnOn(1800);
    EXPECT_FALSE(controller->isOn().get());
    EXPECT_TRUE(controller->isRequested().get());
    EXPECT_EQ(controller->lastFailure().get(), AwakeFailure::assertionRefused(-536870199));
    EXPECT_EQ(store->saved.back(), AwakeIntent::until(launch + 1800));
    EXPECT_EQ(scheduler->pendingAt, launch + 1800);

    // Still refused: the failure is unchanged and not announced again.
    controller->toggle();
    EXPECT_FALSE(controller->isOn().get());
    EXPECT_EQ(failures.size(), 1U);
    EXPECT_EQ(store->saved.back(), AwakeIntent::indefinite());

    blocker->stopRefusing();
    controller->toggle();
    EXPECT_TRUE(controller->isOn().get());
    EXPECT_EQ(controller->lastFailure().get(), std::nullopt);
    EXPECT_EQ(failures.size(), 2U);

    controller->toggle();
    EXPECT_FALSE(controller->isOn().get());
    EXPECT_FALSE(controller->isRequested().get());
    EXPECT_EQ(store->saved.back(), AwakeIntent::off());
}

TEST_F(AwakeControllerTest, ARefusedSessionStillExpiresAndExpiryClearsTheFailure) {
    reset(stored(AwakeIntent::until(launch + 60)));
    blocker->refuse(7);
    const auto controller = controllerOn(blocker);
    EXPECT_EQ(controller->lastFailure().get(), AwakeFailure::assertionRefused(7));
    EXPECT_TRUE(store->saved.empty()); // a refused restore keeps the record for the next launch

    pass(60);
    scheduler->fire();
    EXPECT_FALSE(controller->isRequested().get());
    EXPECT_EQ(controller->lastFailure().get(), std::nullopt);
    EXPECT_EQ(store->saved, Intents{AwakeIntent::off()});
}

TEST_F(AwakeControllerTest, AnyErrorFromTheBlockerBecomesAFailureValue) {
    class ThrowingBlocker final : public SleepBlocker {
    public:
        void engage() override { throw 42; }
        void release() override {}
        bool isEngaged() const override { return false; }
    };
    reset(stored(AwakeIntent::off()));
    const auto controller = controllerOn(std::make_shared<ThrowingBlocker>());
    controller->toggle();
    ASSERT_TRUE(controller->lastFailure().get());
    EXPECT_EQ(controller->lastFailure().get()->kind(), AwakeFailure::Kind::reported);
}

TEST_F(AwakeControllerTest, ObserversHearEachRealChangeOnceAndSeeTheFinalState) {
    const auto controller = make();
    std::vector<std::string> seen;
    const auto state = [&] {
        return std::string(controller->isOn().get() ? "on" : "off") + "/" +
               (controller->isRequested().get() ? "requested" : "idle") + "/" +
               (scheduler->isPending() ? "armed" : "unarmed");
    };
    controller->observeSession([&] { seen.push_back("first " + state()); });
    controller->observeSession([&] { seen.push_back("second"); });
    std::vector<bool> on;
    std::vector<bool> requested;
    controller->isOn().observe([&](bool value) { on.push_back(value); });
    controller->isRequested().observe([&](bool value) { requested.push_back(value); });

    // Turning off while idle still records off and calls every observer.
    controller->turnOff();
    EXPECT_EQ(seen, (std::vector<std::string>{"first off/idle/unarmed", "second"}));
    EXPECT_EQ(store->saved, Intents{AwakeIntent::off()});
    EXPECT_EQ(blocker->releasedCount, 0);

    seen.clear();
    controller->turnOn(60);
    controller->turnOn(std::nullopt);
    controller->checkExpiry();
    controller->turnOff();
    controller->turnOff();
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "first on/requested/armed", "second", "first on/requested/unarmed", "second",
                        "first off/idle/unarmed", "second", "first off/idle/unarmed", "second"}));
    EXPECT_EQ(on, (std::vector<bool>{true, false}));
    EXPECT_EQ(requested, (std::vector<bool>{true, false}));
}

TEST_F(AwakeControllerTest, TimersAndRechecksOfADestroyedControllerDoNothing) {
    auto controller = make();
    controller->turnOn(60);
    auto staleTimer = scheduler->pending;
    const auto staleRecheck = recheck->handler;
    controller.reset();

    // Destroying the controller does not end the session.
    EXPECT_TRUE(blocker->isEngaged());
    EXPECT_EQ(store->current, stored(AwakeIntent::until(launch + 60)));

    // A new controller restores the session; the old one's callbacks must not
    // reach it (nor the freed old one).
    const auto successor = controllerOn(blocker);
    const auto savesBefore = store->saved.size();
    pass(120);
    staleTimer();
    staleRecheck();
    EXPECT_TRUE(successor->isOn().get());
    EXPECT_EQ(store->saved.size(), savesBefore);

    recheck->trigger();
    EXPECT_FALSE(successor->isOn().get());
}

TEST_F(AwakeControllerTest, CheckingWithoutADeadlineTouchesNothing) {
    const auto controller = make(stored(AwakeIntent::indefinite()));
    const int schedules = scheduler->scheduleCount;
    const int cancels = scheduler->cancelCount;
    pass(1e9);
    controller->checkExpiry();
    EXPECT_TRUE(controller->isOn().get());
    EXPECT_EQ(scheduler->scheduleCount, schedules);
    EXPECT_EQ(scheduler->cancelCount, cancels);
}

} // namespace
} // namespace staywake
