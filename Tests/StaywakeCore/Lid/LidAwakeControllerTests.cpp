#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Lid/InMemoryLidAwakeStore.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/Lid/LidAwakeController.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <gtest/gtest.h>
#include <sstream>

namespace staywake {
namespace {

using testing::ManualDeadlineScheduler;
using Precaution = LidClosePrecaution;

constexpr Date launch{1'700'000'000};
const AwakeFailure turnedOffElsewhere =
    AwakeFailure::lidHelperRefused(LidHelperRefusal::settingTurnedOffElsewhere());
const AwakeFailure notPutBack = AwakeFailure::lidHelperRefused(LidHelperRefusal::settingNotPutBack("pmset hung"));
const AwakeFailure approval = AwakeFailure::lidHelperRequiresApproval();

class ManualConditionsNotifier final : public MachineConditionsNotifier {
public:
    void observe(Handler newHandler) override { handler = std::move(newHandler); }
    Handler handler;
};

class LidAwakeControllerTest : public ::testing::Test {
public:
    LidAwakeController& make(bool acknowledged = true) {
        store = std::make_shared<InMemoryLidAwakeStore>(acknowledged);
        lid.reset();
        blocker = std::make_shared<InMemoryLidSleepBlocker>();
        lid = std::make_unique<LidAwakeController>(awake, blocker, store, conditions, notifier, dates, leaseTimer,
                                                   deadlineTimer);
        return *lid;
    }
    void pass(double seconds) { dates->advance(seconds), continuous->advance(seconds); }
    static std::string relative(std::optional<Date> date) {
        return date ? "+" + ::testing::PrintToString(*date - launch) : "-";
    }
    /// Night Brew; the helper's renewals, revocations, unanswered requests and lease; the timers; the session.
    std::string state() const {
        std::ostringstream line;
        line << (lid->isOn() ? "on" : "off") << (lid->isTurningOn() ? " turning" : "")
             << (lid->isSettled() ? "" : " unsettled") << " r" << blocker->renewCount << " v"
             << blocker->revokeCount << " w" << blocker->unansweredCount() << " lease "
             << relative(blocker->leaseExpiry) << " renewal " << relative(leaseTimer->pendingAt) << " end "
             << relative(deadlineTimer->pendingAt) << " awake " << (awake->isOn() ? "on " : "off ")
             << relative(awake->endsAt());
        return line.str();
    }

    std::shared_ptr<testing::FakeDateProvider> dates = std::make_shared<testing::FakeDateProvider>(launch);
    std::shared_ptr<testing::FakeContinuousTimeProvider> continuous =
        std::make_shared<testing::FakeContinuousTimeProvider>();
    std::shared_ptr<InMemorySleepBlocker> sleepBlocker = std::make_shared<InMemorySleepBlocker>();
    std::shared_ptr<AwakeController> awake = std::make_shared<AwakeController>(
        sleepBlocker, std::make_shared<InMemoryAwakeIntentStore>(), dates, continuous,
        std::make_shared<ManualDeadlineScheduler>(), std::make_shared<testing::ManualRecheckNotifier>(), false);
    std::shared_ptr<InMemoryLidSleepBlocker> blocker;
    std::shared_ptr<InMemoryLidAwakeStore> store;
    std::shared_ptr<StaticMachineConditions> conditions = std::make_shared<StaticMachineConditions>(false, false);
    std::shared_ptr<ManualConditionsNotifier> notifier = std::make_shared<ManualConditionsNotifier>();
    std::shared_ptr<ManualDeadlineScheduler> leaseTimer = std::make_shared<ManualDeadlineScheduler>();
    std::shared_ptr<ManualDeadlineScheduler> deadlineTimer = std::make_shared<ManualDeadlineScheduler>();
    std::unique_ptr<LidAwakeController> lid;
};

TEST_F(LidAwakeControllerTest, IsRefusedUntilTheHeatWarningIsAcknowledgedAndWarnsWhenNoHeatPathIsLeft) {
    make(false);
    EXPECT_EQ(lid->refusal().get(), LidAwakeRefusal::unacknowledged);
    EXPECT_EQ(lid->precaution().get(), Precaution::beforeFirstUse);
    EXPECT_FALSE(lid->turnOnJoiningSessionOr(600));
    EXPECT_FALSE(lid->turnOn(std::nullopt));
    EXPECT_EQ(lid->lastFailure().get(), std::nullopt) << "the refusal says why; it is no failure";

    store->setHasAcknowledgedHeatWarning(true); // written elsewhere, picked up by a refresh
    lid->refresh();
    EXPECT_EQ(lid->refusal().get(), std::nullopt);
    EXPECT_EQ(lid->precaution().get(), Precaution::none);
    EXPECT_FALSE(lid->turnOn(0.0)); // which lengths make a deadline is AwakeIntent's rule
    EXPECT_EQ(blocker->prepareCount, 0);
    EXPECT_EQ(state(), "off r0 v0 w0 lease - renewal - end - awake off -");

    make(false).acknowledgeHeatWarning();
    EXPECT_TRUE(store->hasAcknowledgedHeatWarning());
    EXPECT_TRUE(lid->turnOnJoiningSessionOr(600));

    // Which conditions leave no heat path is the snapshot's rule; a change moves only the precaution.
    conditions->setOnBattery(true);
    notifier->handler();
    EXPECT_EQ(lid->precaution().get(), Precaution::noHeatPath);
    EXPECT_TRUE(lid->isOn());
    lid->turnOff();
    EXPECT_EQ(lid->precaution().get(), Precaution::none) << "no warning while Night Brew is off";
}

TEST_F(LidAwakeControllerTest, JoinsARunningSessionOrReplacesIt) {
    const std::tuple<const char*, double, bool, std::optional<Date>> cases[] = {
        // the running session's length (0: no deadline), whether Night Brew joins it, the session's end after
        {"joins a session without a deadline", 0.0, true, std::nullopt},
        {"joins a session with its own deadline", 3600.0, true, launch + 3600},
        {"replaces a running session when not joining", 0.0, false, launch + 600},
    };
    for (const auto& [name, runningSession, joining, end] : cases) {
        awake->turnOff();
        awake->turnOn(runningSession > 0 ? std::optional(runningSession) : std::nullopt);
        EXPECT_TRUE(joining ? make().turnOnJoiningSessionOr(600) : make().turnOn(600)) << name;
        EXPECT_TRUE(lid->isOn());
        EXPECT_EQ(awake->endsAt(), end) << name;
        EXPECT_EQ(deadlineTimer->pendingAt, end) << "the deadline timer follows the session's end";
        lid->turnOff();
    }
}

TEST_F(LidAwakeControllerTest, KeepsALeaseThirtySecondsAheadRenewedEveryTenAndGivesItBackWhenDone) {
    make();
    std::vector<std::string> heard;
    lid->isOn().observe([&](bool on) { heard.push_back(on ? "on" : "off"); });
    lid->whenSettled([&] { heard.push_back("settled at once"); });
    blocker->holdsReplies = true;
    const std::pair<std::function<void()>, std::string> steps[] = {
        {[&] { EXPECT_TRUE(lid->turnOn(std::nullopt)); },
         "off turning unsettled r0 v0 w1 lease - renewal - end - awake on -"},
        {[&] { blocker->answerAll(); }, "on r1 v0 w0 lease +30 renewal +10 end - awake on -"},
        // The renewal is due; early checks while it is in flight ask nothing.
        {[&] { pass(10), leaseTimer->fire(), lid->checkLease(), lid->checkLease(); },
         "on unsettled r1 v0 w1 lease +30 renewal - end - awake on -"},
        {[&] { blocker->answerAll(); }, "on r2 v0 w0 lease +40 renewal +20 end - awake on -"},
        {[&] {
             pass(10), leaseTimer->fire(), lid->turnOff();
             lid->whenSettled([&] { heard.push_back("settled 1"); });
             lid->whenSettled([&] { heard.push_back("settled 2"); });
         },
         "off unsettled r2 v0 w2 lease +40 renewal - end - awake on -"},
        // The renewal granted late arms nothing, then the give-back is confirmed.
        {[&] { blocker->answerNext(); }, "off unsettled r3 v0 w1 lease +50 renewal - end - awake on -"},
        {[&] { blocker->answerNext(); }, "off r3 v1 w0 lease - renewal - end - awake on -"},
        {[&] { lid->checkLease(); }, "off r3 v1 w0 lease - renewal - end - awake on -"}, // nothing to confirm
    };
    for (std::size_t step = 0; step < std::size(steps); ++step) {
        steps[step].first();
        EXPECT_EQ(state(), steps[step].second) << "step " << step;
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"settled at once", "on", "off", "settled 1", "settled 2"}))
        << "renewals while on announce nothing; the waiting actions run after the last answer, in order";
}

TEST_F(LidAwakeControllerTest, EndsNightBrewAndGivesTheLeaseBackWhenTheHelperRefusesOrTheSessionEnds) {
    const auto refusedRenewal = [&] {
        blocker->nextRenewalError = LidSleepBlockerError::helperRefused(turnedOffElsewhere.refusal()->reason());
        pass(10), leaseTimer->fire();
    };
    const auto unansweredStart = [&] {
        lid->turnOff();
        blocker->nextRenewalError = LidSleepBlockerError::helperRequiresApproval();
        EXPECT_FALSE(lid->turnOn(std::nullopt));
    };
    const std::string ended = "off r1 v1 w0 lease - renewal - end - awake off -";
    const std::tuple<const char*, std::function<void()>, std::optional<AwakeFailure>, std::string> cases[] = {
        {"a refused renewal leaves the session on", refusedRenewal, turnedOffElsewhere,
         "off r1 v1 w0 lease - renewal - end - awake on +600"},
        {"the user ends the session", [&] { awake->turnOff(); }, std::nullopt, ended},
        {"the session's deadline passes", [&] { pass(600), deadlineTimer->fire(); }, std::nullopt, ended},
        {"a lease check after sleeping past the deadline", [&] { pass(601), lid->checkLease(); }, std::nullopt,
         ended},
        {"the first renewal unanswered", unansweredStart, approval,
         "off r1 v2 w0 lease - renewal - end - awake on -"},
    };
    for (const auto& [name, end, failure, expected] : cases) {
        dates->current = launch;
        awake->turnOff();
        ASSERT_TRUE(make().turnOnJoiningSessionOr(600));
        end();
        if (deadlineTimer->isPending()) { // the session's end is handled promptly
            EXPECT_LE(*deadlineTimer->pendingAt, dates->now());
            deadlineTimer->fire();
        }
        EXPECT_EQ(lid->lastFailure().get(), failure) << name;
        EXPECT_EQ(state(), expected) << name;
    }
}

// An unconfirmed give-back keeps its most specific failure and outranks start failures until confirmed.
TEST_F(LidAwakeControllerTest, AnUnconfirmedGiveBackIsShownAndRetriedUntilConfirmed) {
    make().turnOn(std::nullopt);
    const auto startFails = [&] {
        blocker->nextPreparationError = std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
        EXPECT_FALSE(lid->turnOn(std::nullopt));
    };
    const auto refused = [](const AwakeFailure& failure) {
        return LidSleepBlockerError::helperRefused(failure.refusal()->reason());
    };
    const auto unreachable = LidSleepBlockerError::helperUnavailable();
    const auto oneRetryAtATime = [&] {
        blocker->holdsReplies = true;
        lid->turnOff(), lid->checkLease(), lid->turnOff(); // even when off already
        EXPECT_EQ(blocker->unansweredCount(), 1u);
    };
    // The give-back's answer, what is done, and the failure shown then.
    const std::tuple<std::optional<LidSleepBlockerError>, std::function<void()>, std::optional<AwakeFailure>>
        steps[] = {
            {refused(notPutBack), [&] { lid->turnOff(); }, notPutBack},
            {unreachable, [&] { lid->checkLease(); }, notPutBack}, // an unreachable helper keeps the refusal
            {unreachable, startFails, notPutBack},                 // a start failing meanwhile shows nothing new
            {refused(turnedOffElsewhere), [&] { lid->checkLease(); }, turnedOffElsewhere},
            {std::nullopt, oneRetryAtATime, turnedOffElsewhere},
            {std::nullopt, [&] { blocker->answerAll(), lid->checkLease(), lid->turnOff(); }, std::nullopt},
        };
    int step = 0;
    for (const auto& [revocationError, action, shown] : steps) {
        blocker->nextRevocationError = revocationError;
        action();
        EXPECT_EQ(lid->lastFailure().get(), shown) << "step " << step++;
    }
    EXPECT_EQ(state(), "off r1 v4 w0 lease - renewal - end - awake on -");
    EXPECT_TRUE(lid->turnOn(std::nullopt));
}

TEST_F(LidAwakeControllerTest, TurningOnWaitsForThePreparationWhichASwitchOffMakesMoot) {
    make();
    blocker->holdsPreparations = true;
    EXPECT_TRUE(lid->turnOn(600));
    EXPECT_EQ(state(), "off turning r0 v0 w0 lease - renewal - end - awake off -")
        << "the session starts only once the helper is ready";
    blocker->heldPreparations[0]();
    EXPECT_EQ(state(), "on r1 v0 w0 lease +30 renewal +10 end +600 awake on +600");

    lid->turnOff();
    awake->turnOff();
    EXPECT_TRUE(lid->turnOn(600));
    lid->turnOff();
    blocker->heldPreparations[1]();
    EXPECT_EQ(state(), "off r1 v1 w0 lease - renewal - end - awake off -");
}

TEST_F(LidAwakeControllerTest, AFailedPreparationOrAwakeSessionIsShownAndNothingIsAsked) {
    const std::tuple<std::exception_ptr, std::optional<std::int32_t>, AwakeFailure> cases[] = {
        {std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval()), {}, approval},
        {nullptr, -536870201, AwakeFailure::assertionRefused(-536870201)}, // the idle lock refused
    };
    for (const auto& [preparationError, lockRefusal, expected] : cases) {
        awake->turnOff();
        lockRefusal ? sleepBlocker->refuse(*lockRefusal) : sleepBlocker->stopRefusing();
        make();
        blocker->nextPreparationError = preparationError;
        EXPECT_FALSE(lid->turnOnJoiningSessionOr(600));
        EXPECT_FALSE(lid->isTurningOn());
        EXPECT_EQ(lid->lastFailure().get(), expected);
        EXPECT_EQ(state().substr(0, 12), "off r0 v0 w0");
    }
}

TEST_F(LidAwakeControllerTest, CallbacksOutlivingTheControllerDoNothing) {
    make();
    blocker->holdsReplies = true;
    lid->turnOn(600);
    blocker->answerNext();
    pass(10);
    leaseTimer->fire();
    const auto renewalCheck = leaseTimer->pending;
    const auto deadlineCheck = deadlineTimer->pending;
    lid.reset();

    blocker->answerAll();
    notifier->handler();
    awake->turnOff(); // runs the session observer
    for (const auto& check : {deadlineCheck, renewalCheck}) {
        if (check) {
            check();
        }
    }
    EXPECT_EQ(blocker->unansweredCount(), 0u);
    EXPECT_EQ(blocker->revokeCount, 0) << "nothing acted for the destroyed controller";
}

} // namespace
} // namespace staywake
