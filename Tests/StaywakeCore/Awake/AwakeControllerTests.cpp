#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
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

StoredAwakeIntent stored(const AwakeIntent& intent) { return StoredAwakeIntent::intent(intent); }

std::string relative(std::optional<Date> date) {
    return date ? "+" + ::testing::PrintToString(*date - launch) : "-";
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
    /// The intents saved so far, as "off", "on" or "until +seconds".
    std::string savedText() const {
        std::string text;
        for (const auto& intent : saved) {
            text += (text.empty() ? "" : " ") +
                    std::string(intent.kind() == AwakeIntent::Kind::off          ? "off"
                                : intent.kind() == AwakeIntent::Kind::indefinite ? "on"
                                                                                 : "until ") +
                    (intent.date() ? relative(intent.date()) : "");
        }
        return text;
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
        return std::make_unique<AwakeController>(std::move(lock), store, dates, continuous, scheduler, recheck,
                                                 restoring);
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

    /// What the controller shows and holds, in one line.
    std::string state(const AwakeController& controller) const {
        std::ostringstream line;
        line << (controller.isOn().get() ? "on" : "off") << (controller.isRequested().get() ? " requested" : "")
             << ", until " << relative(controller.activeUntil().get()) << ", timer "
             << relative(scheduler->pendingAt) << ", lock " << (blocker->isEngaged() ? "held" : "free")
             << ", saved [" << store->savedText() << "]";
        return line.str();
    }

    std::shared_ptr<InMemorySleepBlocker> blocker;
    std::shared_ptr<RecordingIntentStore> store;
    std::shared_ptr<FakeDateProvider> dates = std::make_shared<FakeDateProvider>(launch);
    std::shared_ptr<FakeContinuousTimeProvider> continuous = std::make_shared<FakeContinuousTimeProvider>(5000);
    std::shared_ptr<ManualDeadlineScheduler> scheduler;
    std::shared_ptr<ManualRecheckNotifier> recheck;
};

// At launch the record is restored only if it is still usable and ahead; a
// record that can no longer be restored is rewritten to off, and nothing else
// is written. Without restoring, the controller only mirrors the record.
TEST_F(AwakeControllerTest, LaunchRestoresOnlyAUsableSessionStillAhead) {
    const auto until = [](Date date) { return stored(AwakeIntent::until(date)); };
    const Date justPastDistantFuture{std::nextafter(Date::distantFuture().secondsSince1970, infinity)};
    const std::string distantFuture = relative(Date::distantFuture());
    const struct {
        std::string name;
        StoredAwakeIntent record;
        bool restoring;
        std::string state;
    } cases[] = {
        {"off", stored(AwakeIntent::off()), true, "off, until -, timer -, lock free, saved []"},
        {"indefinite", stored(AwakeIntent::indefinite()), true,
         "on requested, until -, timer -, lock held, saved []"},
        {"an hour ahead", until(launch + 3600), true,
         "on requested, until +3600, timer +3600, lock held, saved []"},
        {"the distant future", until(Date::distantFuture()), true,
         "on requested, until " + distantFuture + ", timer " + distantFuture + ", lock held, saved []"},
        {"due right now", until(launch), true, "off, until -, timer -, lock free, saved [off]"},
        {"passed", until(launch - 1), true, "off, until -, timer -, lock free, saved [off]"},
        {"past the distant future", until(justPastDistantFuture), true,
         "off, until -, timer -, lock free, saved [off]"},
        {"not a number", until(Date{notANumber}), true, "off, until -, timer -, lock free, saved [off]"},
        {"unreadable", StoredAwakeIntent::unreadableDeadline(), true,
         "off, until -, timer -, lock free, saved [off]"},
        {"mirrored: indefinite", stored(AwakeIntent::indefinite()), false,
         "off requested, until -, timer -, lock free, saved []"},
        {"mirrored: ahead", until(launch + 60), false, "off requested, until +60, timer -, lock free, saved []"},
        {"mirrored: passed", until(launch - 60), false, "off requested, until -, timer -, lock free, saved []"},
        {"mirrored: unreadable", StoredAwakeIntent::unreadableDeadline(), false,
         "off requested, until -, timer -, lock free, saved []"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto controller = make(c.record, c.restoring);
        EXPECT_EQ(state(*controller), c.state);
        EXPECT_EQ(controller->endsAt(), controller->activeUntil().get());
        EXPECT_EQ(store->loadCount, 1);
        EXPECT_EQ(recheck->observeCount, 1);
        EXPECT_EQ(controller->lastFailure().get(), std::nullopt);
        if (!c.restoring) {
            EXPECT_EQ(blocker->engageCalls + scheduler->scheduleCount + scheduler->cancelCount, 0);
        }
    }
}

TEST_F(AwakeControllerTest, WhicheverClockSaysTheSessionEndsFirstWinsAndATieGoesToTheWallClock) {
    const Date deadline = launch + 1800;
    const struct {
        std::string name;
        double wallMove;
        double continuousMove;
        Date endsAt;
    } cases[] = {
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
        EXPECT_EQ(controller->isRequested().get(), !ended);
        EXPECT_EQ(state(*controller), ended ? "off, until -, timer -, lock free, saved [until +1800 off]"
                                            : "on requested, until +1800, timer " + relative(endsAt) +
                                                  ", lock held, saved [until +1800]");
    }
}

TEST_F(AwakeControllerTest, AnEarlyTimerReArmsAndRemainingTimeIsNeverNegativeNorNotANumber) {
    const auto controller = make();
    EXPECT_EQ(controller->remaining(), std::nullopt);
    controller->turnOn(std::nullopt);
    EXPECT_EQ(controller->remaining(), std::nullopt);

    controller->turnOn(1800);
    EXPECT_EQ(controller->remaining(), 1800.0);
    dates->advance(-3600); // the wall clock is set back
    recheck->trigger();
    pass(1799.5);
    scheduler->fire();
    EXPECT_EQ(state(*controller), "on requested, until +1800, timer +-1800, lock held, saved [on until +1800]")
        << "the timer is re-armed and the shown deadline stays";
    EXPECT_EQ(controller->remaining(), 0.5);
    pass(0.75); // past the end; the timer has not fired yet
    EXPECT_EQ(controller->remaining(), 0.0);
    const Date now = dates->current;
    dates->current = Date{notANumber};
    EXPECT_EQ(controller->remaining(), 0.0);
    dates->current = now;
    scheduler->fire();
    EXPECT_EQ(state(*controller), "off, until -, timer -, lock free, saved [on until +1800 off]");

    // Checking a session without a deadline touches nothing.
    controller->turnOn(std::nullopt);
    const int timerCalls = scheduler->scheduleCount + scheduler->cancelCount;
    pass(1e9);
    controller->checkExpiry();
    EXPECT_TRUE(controller->isOn().get());
    EXPECT_EQ(scheduler->scheduleCount + scheduler->cancelCount, timerCalls);
}

TEST_F(AwakeControllerTest, ADurationThatIsNotAFiniteNumberAboveZeroTurnsTheSessionOff) {
    for (const double duration : {0.0, -5.0, infinity, notANumber, std::numeric_limits<double>::max()}) {
        SCOPED_TRACE(duration);
        const auto controller = make(stored(AwakeIntent::indefinite()));
        int sessionCalls = 0;
        controller->observeSession([&] { ++sessionCalls; });
        controller->turnOn(duration);
        EXPECT_EQ(state(*controller), "off, until -, timer -, lock free, saved [off]");
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
    controller->turnOn(7200); // the same deadline again changes nothing observable but the session call
    EXPECT_EQ(state(*controller),
              "on requested, until +7210, timer +7210, lock held, saved [until +3600 until +7210 until +7210]");
    controller->turnOn(std::nullopt);
    EXPECT_EQ(state(*controller),
              "on requested, until -, timer -, lock held, saved [until +3600 until +7210 until +7210 on]");
    EXPECT_EQ(blocker->takenCount, 1);
    EXPECT_EQ(blocker->releasedCount, 0);
    EXPECT_EQ(sessionCalls, 3);
    EXPECT_EQ(onChanges, 0);
    EXPECT_EQ(deadlines, (std::vector<std::optional<Date>>{launch + 7210, std::nullopt}));
}

TEST_F(AwakeControllerTest, ARefusedLockStaysRequestedStillExpiresAndAToggleRetries) {
    const auto controller = make();
    blocker->refuse(-536870199);
    std::vector<std::optional<AwakeFailure>> failures;
    controller->lastFailure().observe([&](const auto& failure) { failures.push_back(failure); });

    controller->turnOn(1800);
    EXPECT_EQ(state(*controller), "off requested, until +1800, timer +1800, lock free, saved [until +1800]");
    EXPECT_EQ(controller->lastFailure().get(), AwakeFailure::assertionRefused(-536870199));

    controller->toggle(); // still refused: the failure is unchanged and not announced again
    EXPECT_EQ(state(*controller), "off requested, until -, timer -, lock free, saved [until +1800 on]");
    EXPECT_EQ(failures.size(), 1U);

    blocker->stopRefusing();
    controller->toggle();
    EXPECT_TRUE(controller->isOn().get());
    EXPECT_EQ(controller->lastFailure().get(), std::nullopt);
    controller->toggle();
    EXPECT_EQ(state(*controller), "off, until -, timer -, lock free, saved [until +1800 on on off]");
    EXPECT_EQ(failures.size(), 2U);

    // A refused restore keeps the record for the next launch, and expires.
    reset(stored(AwakeIntent::until(launch + 60)));
    blocker->refuse(7);
    const auto restored = controllerOn(blocker);
    EXPECT_EQ(restored->lastFailure().get(), AwakeFailure::assertionRefused(7));
    EXPECT_EQ(state(*restored), "off requested, until +60, timer +60, lock free, saved []");
    pass(60);
    scheduler->fire();
    EXPECT_EQ(state(*restored), "off, until -, timer -, lock free, saved [off]");
    EXPECT_EQ(restored->lastFailure().get(), std::nullopt) << "expiry clears the failure";
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
    controller->observeSession([&] { seen.push_back(state(*controller)); });
    controller->observeSession([&] { seen.push_back("second"); });
    std::vector<bool> on;
    std::vector<bool> requested;
    controller->isOn().observe([&](bool value) { on.push_back(value); });
    controller->isRequested().observe([&](bool value) { requested.push_back(value); });

    controller->turnOff(); // while idle: still records off and calls every observer
    controller->turnOn(60);
    controller->turnOn(std::nullopt);
    controller->checkExpiry();
    controller->turnOff();
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "off, until -, timer -, lock free, saved [off]", "second",
                        "on requested, until +60, timer +60, lock held, saved [off until +60]", "second",
                        "on requested, until -, timer -, lock held, saved [off until +60 on]", "second",
                        "off, until -, timer -, lock free, saved [off until +60 on off]", "second"}));
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

} // namespace
} // namespace staywake
