#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Lid/InMemoryLidAwakeStore.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/Lid/LidAwakeController.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace staywake {
namespace {

using testing::FakeContinuousTimeProvider;
using testing::FakeDateProvider;
using testing::ManualDeadlineScheduler;
using testing::ManualRecheckNotifier;

constexpr Date launch{1'700'000'000};

/// A conditions notifier the test triggers, as a power or display change would.
class ManualConditionsNotifier final : public MachineConditionsNotifier {
public:
    void observe(Handler newHandler) override { handler = std::move(newHandler); }
    void trigger() const {
        if (handler) {
            handler();
        }
    }
    Handler handler;
};

const AwakeFailure turnedOffElsewhere =
    AwakeFailure::lidHelperRefused(LidHelperRefusal::settingTurnedOffElsewhere());
const AwakeFailure notPutBack = AwakeFailure::lidHelperRefused(LidHelperRefusal::settingNotPutBack("pmset hung"));

class LidAwakeControllerTest : public ::testing::Test {
public:
    LidAwakeControllerTest() {
        awake = std::make_shared<AwakeController>(sleepBlocker, intents, dates, continuous, awakeScheduler, recheck,
                                                  false);
    }

    std::unique_ptr<LidAwakeController> make(bool acknowledged = true) {
        store = std::make_shared<InMemoryLidAwakeStore>(acknowledged);
        return std::make_unique<LidAwakeController>(awake, blocker, store, conditions, notifier, dates, leaseTimer,
                                                    deadlineTimer);
    }

    void pass(double seconds) {
        dates->advance(seconds);
        continuous->advance(seconds);
    }

    std::shared_ptr<FakeDateProvider> dates = std::make_shared<FakeDateProvider>(launch);
    std::shared_ptr<FakeContinuousTimeProvider> continuous = std::make_shared<FakeContinuousTimeProvider>();
    std::shared_ptr<InMemorySleepBlocker> sleepBlocker = std::make_shared<InMemorySleepBlocker>();
    std::shared_ptr<InMemoryAwakeIntentStore> intents = std::make_shared<InMemoryAwakeIntentStore>();
    std::shared_ptr<ManualDeadlineScheduler> awakeScheduler = std::make_shared<ManualDeadlineScheduler>();
    std::shared_ptr<ManualRecheckNotifier> recheck = std::make_shared<ManualRecheckNotifier>();
    std::shared_ptr<AwakeController> awake;

    std::shared_ptr<InMemoryLidSleepBlocker> blocker = std::make_shared<InMemoryLidSleepBlocker>();
    std::shared_ptr<InMemoryLidAwakeStore> store;
    std::shared_ptr<StaticMachineConditions> conditions = std::make_shared<StaticMachineConditions>(false, false);
    std::shared_ptr<ManualConditionsNotifier> notifier = std::make_shared<ManualConditionsNotifier>();
    std::shared_ptr<ManualDeadlineScheduler> leaseTimer = std::make_shared<ManualDeadlineScheduler>();
    std::shared_ptr<ManualDeadlineScheduler> deadlineTimer = std::make_shared<ManualDeadlineScheduler>();
};

TEST(LidClosePrecaution, WarnsBeforeFirstUseAndWhileOnWithoutAHeatPath) {
    struct Case {
        bool isOn;
        bool acknowledged;
        MachineConditionsSnapshot conditions;
        LidClosePrecaution expected;
    };
    const MachineConditionsSnapshot noHeatPath{true, false};
    const std::vector<Case> cases = {
        {false, false, {}, LidClosePrecaution::beforeFirstUse},
        {true, false, noHeatPath, LidClosePrecaution::beforeFirstUse},
        {false, true, noHeatPath, LidClosePrecaution::none},
        {true, true, noHeatPath, LidClosePrecaution::noHeatPath},
        {true, true, {true, true}, LidClosePrecaution::none},
        {true, true, {false, false}, LidClosePrecaution::none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lidClosePrecautionShown(c.isOn, c.acknowledged, c.conditions), c.expected)
            << "on " << c.isOn << ", acknowledged " << c.acknowledged << ", battery " << c.conditions.isOnBattery
            << ", external display " << c.conditions.hasExternalDisplay;
    }
}

TEST_F(LidAwakeControllerTest, IsRefusedUntilTheHeatWarningIsAcknowledgedWithoutAskingTheHelper) {
    auto lid = make(false);
    EXPECT_EQ(lid->refusal().get(), LidAwakeRefusal::unacknowledged);
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::beforeFirstUse);

    EXPECT_FALSE(lid->turnOnJoiningSessionOr(600));
    EXPECT_FALSE(lid->turnOn(std::nullopt));
    EXPECT_EQ(blocker->prepareCount, 0);
    EXPECT_EQ(blocker->renewCount, 0);
    EXPECT_FALSE(awake->isOn());
    EXPECT_FALSE(awake->isRequested());
    EXPECT_EQ(lid->lastFailure().get(), std::nullopt) << "the refusal says why; it is no failure";

    lid->acknowledgeHeatWarning();
    EXPECT_TRUE(store->hasAcknowledgedHeatWarning());
    EXPECT_EQ(lid->refusal().get(), std::nullopt);
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::none);
    EXPECT_TRUE(lid->turnOnJoiningSessionOr(600));
    EXPECT_TRUE(lid->isOn());
}

TEST_F(LidAwakeControllerTest, DurationsThatGiveNoDeadlineAreRefusedBeforeTheHelperIsAsked) {
    auto lid = make();
    for (const double duration : {0.0, -60.0, std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  Date::distantFuture().secondsSince1970}) {
        SCOPED_TRACE(duration);
        EXPECT_FALSE(lid->turnOn(duration));
        EXPECT_FALSE(lid->turnOnJoiningSessionOr(duration));
    }
    EXPECT_EQ(blocker->prepareCount, 0);
    EXPECT_FALSE(awake->isRequested());
    EXPECT_FALSE(lid->isTurningOn());
}

TEST_F(LidAwakeControllerTest, JoinsARunningSessionOrStartsOne) {
    struct Case {
        std::string name;
        std::optional<double> runningSession; // absent: none; 0: without a deadline
        bool joining;
        std::optional<Date> expectedEnd;
    };
    const std::vector<Case> cases = {
        {"joins a session without a deadline", 0.0, true, std::nullopt},
        {"joins a session with its own deadline", 3600.0, true, launch + 3600},
        {"starts a session when none is on", std::nullopt, true, launch + 600},
        {"replaces a running session when not joining", 0.0, false, launch + 600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        awake->turnOff();
        if (c.runningSession) {
            awake->turnOn(*c.runningSession > 0 ? c.runningSession : std::nullopt);
        }
        auto lid = make();
        const bool on = c.joining ? lid->turnOnJoiningSessionOr(600) : lid->turnOn(600);
        EXPECT_TRUE(on);
        EXPECT_TRUE(lid->isOn());
        EXPECT_EQ(awake->endsAt(), c.expectedEnd);
        EXPECT_EQ(lid->activeUntil().get(), c.expectedEnd);
        EXPECT_EQ(deadlineTimer->pendingAt, c.expectedEnd) << "the deadline timer follows the session's end";
        lid->turnOff();
    }
}

TEST_F(LidAwakeControllerTest, AGrantedLeaseReachesThirtySecondsAheadAndIsRenewedEveryTenSeconds) {
    auto lid = make();
    blocker->holdsReplies = true;
    std::vector<bool> onChanges;
    lid->isOn().observe([&](bool on) { onChanges.push_back(on); });

    EXPECT_TRUE(lid->turnOn(std::nullopt));
    EXPECT_TRUE(lid->isTurningOn());
    EXPECT_FALSE(lid->isOn());
    EXPECT_FALSE(lid->isSettled());
    EXPECT_EQ(blocker->prepareCount, 1);

    blocker->answerAll();
    EXPECT_TRUE(lid->isOn());
    EXPECT_FALSE(lid->isTurningOn());
    EXPECT_TRUE(lid->isSettled());
    EXPECT_EQ(blocker->leaseExpiry, launch + 30);
    EXPECT_EQ(leaseTimer->pendingAt, launch + 10);

    pass(10);
    leaseTimer->fire();
    EXPECT_FALSE(lid->isTurningOn()) << "a renewal while on is not turning on";
    blocker->answerAll();
    EXPECT_EQ(blocker->leaseExpiry, launch + 40);
    EXPECT_EQ(leaseTimer->pendingAt, launch + 20);

    // A renewal in flight is not doubled by an early check.
    lid->checkLease();
    lid->checkLease();
    EXPECT_EQ(blocker->unansweredCount(), 1u);
    blocker->answerAll();
    EXPECT_EQ(blocker->renewCount, 3);
    EXPECT_EQ(onChanges, std::vector<bool>{true}) << "renewals while on announce nothing";
}

TEST_F(LidAwakeControllerTest, WhenSettledWaitsForEveryAnswerAndAStaleGrantAfterTurnOffArmsNothing) {
    auto lid = make();
    int settledAtOnce = 0;
    lid->whenSettled([&] { ++settledAtOnce; });
    EXPECT_EQ(settledAtOnce, 1);

    blocker->holdsReplies = true;
    lid->turnOn(std::nullopt);
    lid->turnOff();
    EXPECT_FALSE(lid->isTurningOn());
    EXPECT_FALSE(leaseTimer->isPending());
    EXPECT_EQ(blocker->unansweredCount(), 2u) << "the give-back follows the renewal in flight";
    std::vector<std::string> order;
    lid->whenSettled([&] { order.push_back("first"); });
    lid->whenSettled([&] { order.push_back("second"); });

    blocker->answerNext(); // the renewal, granted
    EXPECT_FALSE(lid->isOn());
    EXPECT_FALSE(leaseTimer->isPending()) << "a stale grant arms no renewal";
    EXPECT_FALSE(lid->isSettled());
    EXPECT_TRUE(order.empty());

    blocker->answerNext(); // the give-back
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_TRUE(lid->isSettled());
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(awake->isOn()) << "turning Night Brew off leaves the awake session alone";

    lid->checkLease(); // off with nothing unconfirmed: no request, nothing runs again
    EXPECT_EQ(blocker->unansweredCount(), 0u);
    EXPECT_EQ(order.size(), 2u);
}

TEST_F(LidAwakeControllerTest, ARefusedRenewalEndsNightBrewAndGivesTheLeaseBackWhileTheSessionGoesOn) {
    auto lid = make();
    lid->turnOnJoiningSessionOr(3600);
    ASSERT_TRUE(lid->isOn());

    blocker->nextRenewalError = LidSleepBlockerError::helperRefused(turnedOffElsewhere.refusal()->reason());
    pass(10);
    leaseTimer->fire();

    EXPECT_FALSE(lid->isOn());
    EXPECT_FALSE(lid->isTurningOn());
    EXPECT_EQ(lid->lastFailure().get(), turnedOffElsewhere);
    EXPECT_EQ(blocker->revokeCount, 1);
    EXPECT_FALSE(leaseTimer->isPending());
    EXPECT_FALSE(deadlineTimer->isPending());
    EXPECT_TRUE(awake->isOn());
    EXPECT_EQ(awake->endsAt(), launch + 3600);
    EXPECT_TRUE(lid->isSettled());

    // Turning on again clears the failure.
    EXPECT_TRUE(lid->turnOnJoiningSessionOr(600));
    EXPECT_EQ(lid->lastFailure().get(), std::nullopt);
    EXPECT_EQ(awake->endsAt(), launch + 3600) << "joined the running session";
}

TEST_F(LidAwakeControllerTest, AnUnansweredFirstRenewalEndsTurningOnWithTheBlockersFailure) {
    auto lid = make();
    blocker->nextRenewalError = LidSleepBlockerError::helperRequiresApproval();
    EXPECT_FALSE(lid->turnOn(std::nullopt));
    EXPECT_EQ(lid->lastFailure().get(), AwakeFailure::lidHelperRequiresApproval());
    EXPECT_EQ(blocker->revokeCount, 1);
    EXPECT_TRUE(awake->isOn());
}

TEST_F(LidAwakeControllerTest, TheEndOfTheAwakeSessionEndsNightBrewPromptlyAndGivesTheLeaseBack) {
    struct Case {
        std::string name;
        std::function<void(LidAwakeControllerTest&)> endSession;
    };
    const std::vector<Case> cases = {
        {"the user ends the session", [](LidAwakeControllerTest& t) { t.awake->turnOff(); }},
        {"the session's deadline passes",
         [](LidAwakeControllerTest& t) {
             t.pass(600);
             ASSERT_EQ(t.deadlineTimer->pendingAt, launch + 600);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dates->current = launch;
        awake->turnOff();
        blocker = std::make_shared<InMemoryLidSleepBlocker>();
        auto lid = make();
        ASSERT_TRUE(lid->turnOn(600));
        c.endSession(*this);
        EXPECT_TRUE(deadlineTimer->isPending());
        EXPECT_LE(*deadlineTimer->pendingAt, dates->now());
        deadlineTimer->fire();
        EXPECT_FALSE(lid->isOn());
        EXPECT_FALSE(awake->isOn());
        EXPECT_EQ(blocker->revokeCount, 1);
        EXPECT_FALSE(blocker->isEngaged());
        EXPECT_FALSE(leaseTimer->isPending());
        EXPECT_EQ(lid->lastFailure().get(), std::nullopt);
    }
}

TEST_F(LidAwakeControllerTest, ALeaseCheckAfterTheSessionEndedTurnsNightBrewOff) {
    auto lid = make();
    lid->turnOn(600);
    pass(601); // asleep: no timer ran
    lid->checkLease();
    EXPECT_FALSE(lid->isOn());
    EXPECT_FALSE(awake->isOn());
    EXPECT_EQ(blocker->renewCount, 1);
    EXPECT_EQ(blocker->revokeCount, 1);
}

TEST_F(LidAwakeControllerTest, AnUnconfirmedGiveBackIsShownAndRetriedOneAtATimeUntilConfirmed) {
    auto lid = make();
    lid->turnOn(std::nullopt);
    blocker->nextRevocationError = LidSleepBlockerError::helperUnavailable();
    lid->turnOff();
    EXPECT_EQ(lid->lastFailure().get(), AwakeFailure::lidHelperUnavailable());

    // A start that fails meanwhile is not shown once the give-back is confirmed.
    blocker->nextPreparationError = std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
    EXPECT_FALSE(lid->turnOn(std::nullopt));

    blocker->holdsReplies = true;
    lid->turnOff(); // already off: still retries
    EXPECT_EQ(blocker->unansweredCount(), 1u);
    lid->checkLease();
    lid->turnOff();
    EXPECT_EQ(blocker->unansweredCount(), 1u) << "only one give-back at a time";

    blocker->nextRevocationError.reset();
    blocker->answerAll();
    EXPECT_EQ(lid->lastFailure().get(), std::nullopt);
    lid->checkLease();
    lid->turnOff();
    EXPECT_EQ(blocker->unansweredCount(), 0u) << "nothing left to give back";
    EXPECT_EQ(blocker->revokeCount, 2);
}

TEST_F(LidAwakeControllerTest, AnUnconfirmedGiveBackKeepsItsMostSpecificFailureAndOutranksStartFailures) {
    auto lid = make();
    lid->turnOn(std::nullopt);
    blocker->nextRevocationError = LidSleepBlockerError::helperRefused(notPutBack.refusal()->reason());
    lid->turnOff();
    EXPECT_EQ(lid->lastFailure().get(), notPutBack);

    // A later give-back that cannot reach the helper keeps the refusal.
    blocker->nextRevocationError = LidSleepBlockerError::helperUnavailable();
    lid->checkLease();
    EXPECT_EQ(lid->lastFailure().get(), notPutBack);

    // A start that fails while the reset is unconfirmed shows nothing new.
    blocker->nextPreparationError = std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
    EXPECT_FALSE(lid->turnOn(std::nullopt));
    EXPECT_EQ(lid->lastFailure().get(), notPutBack);

    // A later refusal replaces the earlier one.
    blocker->nextRevocationError = LidSleepBlockerError::helperRefused(turnedOffElsewhere.refusal()->reason());
    lid->checkLease();
    EXPECT_EQ(lid->lastFailure().get(), turnedOffElsewhere);

    // A granted renewal clears it.
    EXPECT_TRUE(lid->turnOn(std::nullopt));
    EXPECT_TRUE(lid->isOn());
    EXPECT_EQ(lid->lastFailure().get(), std::nullopt);
}

TEST_F(LidAwakeControllerTest, TurningOnWaitsForThePreparationWhichASwitchOffMakesMoot) {
    blocker->holdsPreparations = true;
    auto lid = make();
    EXPECT_TRUE(lid->turnOn(600));
    EXPECT_TRUE(lid->isTurningOn());
    EXPECT_FALSE(awake->isOn()) << "the session started before the helper was ready";
    ASSERT_EQ(blocker->heldPreparations.size(), 1u);
    blocker->heldPreparations[0]();
    EXPECT_TRUE(lid->isOn());
    EXPECT_TRUE(awake->isOn());

    lid->turnOff();
    awake->turnOff();
    EXPECT_TRUE(lid->turnOn(600));
    lid->turnOff();
    EXPECT_FALSE(lid->isTurningOn());
    blocker->heldPreparations[1]();
    EXPECT_FALSE(lid->isOn());
    EXPECT_FALSE(awake->isOn());
    EXPECT_EQ(blocker->renewCount, 1);

    blocker->nextPreparationError = std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
    EXPECT_TRUE(lid->turnOn(600));
    blocker->heldPreparations[2]();
    EXPECT_FALSE(lid->isTurningOn());
    EXPECT_EQ(lid->lastFailure().get(), AwakeFailure::lidHelperRequiresApproval());
}

TEST_F(LidAwakeControllerTest, AFailedPreparationOrAwakeSessionIsShownAndNothingIsAsked) {
    struct Case {
        std::string name;
        std::function<void(LidAwakeControllerTest&)> arrange;
        AwakeFailure expected;
    };
    const std::vector<Case> cases = {
        {"requires approval",
         [](LidAwakeControllerTest& t) {
             t.blocker->nextPreparationError =
                 std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
         },
         AwakeFailure::lidHelperRequiresApproval()},
        {"registration error",
         [](LidAwakeControllerTest& t) {
             t.blocker->nextPreparationError =
                 std::make_exception_ptr(std::runtime_error("Access denied by the administrator"));
         },
         AwakeFailure::reported("Access denied by the administrator")},
        {"idle lock refused", [](LidAwakeControllerTest& t) { t.sleepBlocker->refuse(-536870201); },
         AwakeFailure::assertionRefused(-536870201)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        awake->turnOff();
        sleepBlocker->stopRefusing();
        blocker = std::make_shared<InMemoryLidSleepBlocker>();
        auto lid = make();
        c.arrange(*this);
        EXPECT_FALSE(lid->turnOnJoiningSessionOr(600));
        EXPECT_EQ(lid->lastFailure().get(), c.expected);
        EXPECT_FALSE(lid->isTurningOn());
        EXPECT_EQ(blocker->renewCount + static_cast<int>(blocker->unansweredCount()), 0);
        EXPECT_EQ(blocker->revokeCount, 0);
    }
}

TEST_F(LidAwakeControllerTest, PowerAndDisplayChangesMoveOnlyThePrecaution) {
    conditions->setOnBattery(true);
    auto lid = make();
    std::vector<LidClosePrecaution> shown;
    lid->precaution().observe([&](LidClosePrecaution precaution) { shown.push_back(precaution); });
    int conditionChanges = 0;
    lid->machineConditions().observe([&](const MachineConditionsSnapshot&) { ++conditionChanges; });

    lid->turnOn(std::nullopt);
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::noHeatPath);

    notifier->trigger(); // nothing really changed
    EXPECT_EQ(conditionChanges, 0);

    conditions->setHasExternalDisplay(true);
    notifier->trigger();
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::none);
    EXPECT_TRUE(lid->isOn());

    conditions->setHasExternalDisplay(false);
    notifier->trigger();
    conditions->setOnBattery(false);
    notifier->trigger();
    EXPECT_TRUE(lid->isOn());
    EXPECT_EQ(conditionChanges, 3);
    EXPECT_EQ(shown, (std::vector<LidClosePrecaution>{LidClosePrecaution::noHeatPath, LidClosePrecaution::none,
                                                      LidClosePrecaution::noHeatPath, LidClosePrecaution::none}));

    conditions->setOnBattery(true);
    lid->turnOff();
    notifier->trigger();
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::none) << "no warning while Night Brew is off";
}

TEST_F(LidAwakeControllerTest, RefreshPicksUpAnAcknowledgementWrittenElsewhere) {
    auto lid = make(false);
    int changes = 0;
    lid->hasAcknowledgedHeatWarning().observe([&](bool) { ++changes; });
    lid->refresh();
    EXPECT_EQ(changes, 0);
    store->setHasAcknowledgedHeatWarning(true);
    lid->refresh();
    EXPECT_TRUE(lid->hasAcknowledgedHeatWarning());
    EXPECT_EQ(lid->refusal().get(), std::nullopt);
    EXPECT_EQ(changes, 1);
}

TEST_F(LidAwakeControllerTest, CallbacksOutlivingTheControllerDoNothing) {
    auto lid = make();
    blocker->holdsReplies = true;
    lid->turnOn(600);
    blocker->answerNext();
    pass(10);
    leaseTimer->fire();
    const auto renewalCheck = leaseTimer->pending;
    const auto deadlineCheck = deadlineTimer->pending;
    lid.reset();

    blocker->answerAll();
    notifier->trigger();
    awake->turnOff(); // runs the session observer
    if (deadlineCheck) {
        deadlineCheck();
    }
    if (renewalCheck) {
        renewalCheck();
    }
    EXPECT_EQ(blocker->unansweredCount(), 0u);
    EXPECT_EQ(blocker->revokeCount, 0) << "nothing acted for the destroyed controller";
}

} // namespace
} // namespace staywake
