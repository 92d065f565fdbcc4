#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Lid/InMemoryLidAwakeStore.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/Lid/LidAwakeController.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
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
    std::unique_ptr<LidAwakeController> make(bool acknowledged = true) {
        store = std::make_shared<InMemoryLidAwakeStore>(acknowledged);
        return std::make_unique<LidAwakeController>(awake, blocker, store, conditions, notifier, dates, leaseTimer,
                                                    deadlineTimer);
    }

    void pass(double seconds) {
        dates->advance(seconds);
        continuous->advance(seconds);
    }

    static std::string relative(std::optional<Date> date) {
        return date ? "+" + ::testing::PrintToString(*date - launch) : "-";
    }

    /// Everything a step can change, in one line: Night Brew's own state, what
    /// the helper was asked and has not answered, the lease it granted, both
    /// timers and the awake session.
    std::string state(const LidAwakeController& lid) const {
        std::ostringstream line;
        line << (lid.isOn() ? "on" : "off") << (lid.isTurningOn() ? " turning" : "")
             << (lid.isSettled() ? "" : " unsettled") << ", renew " << blocker->renewCount << ", revoke "
             << blocker->revokeCount << ", waiting " << blocker->unansweredCount() << ", lease "
             << relative(blocker->leaseExpiry) << ", renewal " << relative(leaseTimer->pendingAt) << ", end "
             << relative(deadlineTimer->pendingAt) << ", awake " << (awake->isOn() ? "on" : "off") << " "
             << relative(awake->endsAt());
        return line.str();
    }

    std::shared_ptr<FakeDateProvider> dates = std::make_shared<FakeDateProvider>(launch);
    std::shared_ptr<FakeContinuousTimeProvider> continuous = std::make_shared<FakeContinuousTimeProvider>();
    std::shared_ptr<InMemorySleepBlocker> sleepBlocker = std::make_shared<InMemorySleepBlocker>();
    std::shared_ptr<ManualDeadlineScheduler> awakeScheduler = std::make_shared<ManualDeadlineScheduler>();
    std::shared_ptr<AwakeController> awake = std::make_shared<AwakeController>(
        sleepBlocker, std::make_shared<InMemoryAwakeIntentStore>(), dates, continuous, awakeScheduler,
        std::make_shared<ManualRecheckNotifier>(), false);

    std::shared_ptr<InMemoryLidSleepBlocker> blocker = std::make_shared<InMemoryLidSleepBlocker>();
    std::shared_ptr<InMemoryLidAwakeStore> store;
    std::shared_ptr<StaticMachineConditions> conditions = std::make_shared<StaticMachineConditions>(false, false);
    std::shared_ptr<ManualConditionsNotifier> notifier = std::make_shared<ManualConditionsNotifier>();
    std::shared_ptr<ManualDeadlineScheduler> leaseTimer = std::make_shared<ManualDeadlineScheduler>();
    std::shared_ptr<ManualDeadlineScheduler> deadlineTimer = std::make_shared<ManualDeadlineScheduler>();
};

TEST(LidClosePrecaution, WarnsBeforeFirstUseAndWhileOnWithoutAHeatPath) {
    const MachineConditionsSnapshot noHeatPath{true, false};
    const struct {
        bool isOn;
        bool acknowledged;
        MachineConditionsSnapshot conditions;
        LidClosePrecaution expected;
    } cases[] = {
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

TEST_F(LidAwakeControllerTest, IsRefusedWithoutAskingTheHelperUntilTheHeatWarningIsAcknowledgedOrForNoDeadline) {
    auto lid = make(false);
    EXPECT_EQ(lid->refusal().get(), LidAwakeRefusal::unacknowledged);
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::beforeFirstUse);
    EXPECT_FALSE(lid->turnOnJoiningSessionOr(600));
    EXPECT_FALSE(lid->turnOn(std::nullopt));
    EXPECT_EQ(lid->lastFailure().get(), std::nullopt) << "the refusal says why; it is no failure";

    // An acknowledgement written elsewhere is picked up by a refresh.
    int changes = 0;
    lid->hasAcknowledgedHeatWarning().observe([&](bool) { ++changes; });
    lid->refresh();
    EXPECT_EQ(changes, 0);
    store->setHasAcknowledgedHeatWarning(true);
    lid->refresh();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(lid->refusal().get(), std::nullopt);
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::none);

    for (const double duration :
         {0.0, -60.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
          Date::distantFuture().secondsSince1970}) {
        EXPECT_FALSE(lid->turnOn(duration)) << duration;
        EXPECT_FALSE(lid->turnOnJoiningSessionOr(duration)) << duration;
    }
    EXPECT_EQ(blocker->prepareCount, 0);
    EXPECT_EQ(state(*lid), "off, renew 0, revoke 0, waiting 0, lease -, renewal -, end -, awake off -");
    EXPECT_FALSE(awake->isRequested());

    lid->acknowledgeHeatWarning();
    EXPECT_TRUE(store->hasAcknowledgedHeatWarning());
    EXPECT_TRUE(lid->turnOnJoiningSessionOr(600));
    EXPECT_TRUE(lid->isOn());
}

TEST_F(LidAwakeControllerTest, JoinsARunningSessionOrStartsOne) {
    const struct {
        std::string name;
        std::optional<double> runningSession; // absent: none; 0: without a deadline
        bool joining;
        std::optional<Date> expectedEnd;
    } cases[] = {
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
        EXPECT_TRUE(c.joining ? lid->turnOnJoiningSessionOr(600) : lid->turnOn(600));
        EXPECT_TRUE(lid->isOn());
        EXPECT_EQ(awake->endsAt(), c.expectedEnd);
        EXPECT_EQ(lid->activeUntil().get(), c.expectedEnd);
        EXPECT_EQ(deadlineTimer->pendingAt, c.expectedEnd) << "the deadline timer follows the session's end";
        lid->turnOff();
    }
}

// The lease path as a script: each step, then the state it leaves.
TEST_F(LidAwakeControllerTest, KeepsALeaseThirtySecondsAheadRenewedEveryTenAndGivesItBackWhenDone) {
    auto lid = make();
    std::vector<bool> onChanges;
    lid->isOn().observe([&](bool on) { onChanges.push_back(on); });
    blocker->holdsReplies = true;
    const struct {
        const char* step;
        std::function<void()> action;
        std::string state;
    } steps[] = {
        {"turn on", [&] { EXPECT_TRUE(lid->turnOn(std::nullopt)); },
         "off turning unsettled, renew 0, revoke 0, waiting 1, lease -, renewal -, end -, awake on -"},
        {"granted", [&] { blocker->answerAll(); },
         "on, renew 1, revoke 0, waiting 0, lease +30, renewal +10, end -, awake on -"},
        {"renewal due", [&] { pass(10), leaseTimer->fire(); },
         "on unsettled, renew 1, revoke 0, waiting 1, lease +30, renewal -, end -, awake on -"},
        {"early checks while it is in flight", [&] { lid->checkLease(), lid->checkLease(); },
         "on unsettled, renew 1, revoke 0, waiting 1, lease +30, renewal -, end -, awake on -"},
        {"granted again", [&] { blocker->answerAll(); },
         "on, renew 2, revoke 0, waiting 0, lease +40, renewal +20, end -, awake on -"},
        {"renewal due, then turned off", [&] { pass(10), leaseTimer->fire(), lid->turnOff(); },
         "off unsettled, renew 2, revoke 0, waiting 2, lease +40, renewal -, end -, awake on -"},
        {"the renewal granted late arms nothing", [&] { blocker->answerNext(); },
         "off unsettled, renew 3, revoke 0, waiting 1, lease +50, renewal -, end -, awake on -"},
        {"the give-back confirmed", [&] { blocker->answerNext(); },
         "off, renew 3, revoke 1, waiting 0, lease -, renewal -, end -, awake on -"},
        {"a check with nothing to confirm asks nothing", [&] { lid->checkLease(); },
         "off, renew 3, revoke 1, waiting 0, lease -, renewal -, end -, awake on -"},
    };
    for (const auto& s : steps) {
        s.action();
        EXPECT_EQ(state(*lid), s.state) << s.step;
    }
    EXPECT_EQ(onChanges, (std::vector<bool>{true, false})) << "renewals while on announce nothing";
}

TEST_F(LidAwakeControllerTest, WhenSettledRunsAtOnceOrAfterEveryOutstandingAnswerInOrder) {
    auto lid = make();
    std::vector<std::string> order;
    lid->whenSettled([&] { order.push_back("at once"); });
    blocker->holdsReplies = true;
    lid->turnOn(std::nullopt);
    lid->turnOff();
    lid->whenSettled([&] { order.push_back("first"); });
    lid->whenSettled([&] { order.push_back("second"); });
    blocker->answerNext();
    EXPECT_EQ(order, std::vector<std::string>{"at once"});
    blocker->answerNext();
    EXPECT_EQ(order, (std::vector<std::string>{"at once", "first", "second"}));
}

TEST_F(LidAwakeControllerTest, EndsNightBrewAndGivesTheLeaseBackWhenTheHelperRefusesOrTheSessionEnds) {
    const struct {
        std::string name;
        std::function<void(LidAwakeControllerTest&, LidAwakeController&)> end;
        std::optional<AwakeFailure> failure;
        std::string state;
    } cases[] = {
        {"a refused renewal leaves the session on",
         [](LidAwakeControllerTest& t, LidAwakeController&) {
             t.blocker->nextRenewalError =
                 LidSleepBlockerError::helperRefused(turnedOffElsewhere.refusal()->reason());
             t.pass(10);
             t.leaseTimer->fire();
         },
         turnedOffElsewhere, "off, renew 1, revoke 1, waiting 0, lease -, renewal -, end -, awake on +600"},
        {"the user ends the session", [](LidAwakeControllerTest& t, LidAwakeController&) { t.awake->turnOff(); },
         std::nullopt, "off, renew 1, revoke 1, waiting 0, lease -, renewal -, end -, awake off -"},
        {"the session's deadline passes",
         [](LidAwakeControllerTest& t, LidAwakeController&) {
             t.pass(600);
             t.deadlineTimer->fire();
         },
         std::nullopt, "off, renew 1, revoke 1, waiting 0, lease -, renewal -, end -, awake off -"},
        {"a lease check after sleeping past the deadline",
         [](LidAwakeControllerTest& t, LidAwakeController& lid) {
             t.pass(601);
             lid.checkLease();
         },
         std::nullopt, "off, renew 1, revoke 1, waiting 0, lease -, renewal -, end -, awake off -"},
        {"the first renewal unanswered",
         [](LidAwakeControllerTest& t, LidAwakeController& lid) {
             lid.turnOff();
             t.blocker->nextRenewalError = LidSleepBlockerError::helperRequiresApproval();
             EXPECT_FALSE(lid.turnOn(std::nullopt));
         },
         AwakeFailure::lidHelperRequiresApproval(),
         "off, renew 1, revoke 2, waiting 0, lease -, renewal -, end -, awake on -"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dates->current = launch;
        awake->turnOff();
        blocker = std::make_shared<InMemoryLidSleepBlocker>();
        auto lid = make();
        ASSERT_TRUE(lid->turnOnJoiningSessionOr(600));
        c.end(*this, *lid);
        if (deadlineTimer->isPending()) { // the session's end is handled promptly
            EXPECT_LE(*deadlineTimer->pendingAt, dates->now());
            deadlineTimer->fire();
        }
        EXPECT_EQ(lid->lastFailure().get(), c.failure);
        EXPECT_EQ(state(*lid), c.state);
    }
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
    EXPECT_EQ(state(*lid), "off, renew 1, revoke 2, waiting 0, lease -, renewal -, end -, awake on -");
}

TEST_F(LidAwakeControllerTest, AnUnconfirmedGiveBackKeepsItsMostSpecificFailureAndOutranksStartFailures) {
    auto lid = make();
    lid->turnOn(std::nullopt);
    const struct {
        const char* step;
        std::function<void()> action;
        std::optional<AwakeFailure> shown;
    } steps[] = {
        {"the give-back refused",
         [&] {
             blocker->nextRevocationError = LidSleepBlockerError::helperRefused(notPutBack.refusal()->reason());
             lid->turnOff();
         },
         notPutBack},
        {"a retry that cannot reach the helper keeps the refusal",
         [&] {
             blocker->nextRevocationError = LidSleepBlockerError::helperUnavailable();
             lid->checkLease();
         },
         notPutBack},
        {"a start failing meanwhile shows nothing new",
         [&] {
             blocker->nextPreparationError =
                 std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
             EXPECT_FALSE(lid->turnOn(std::nullopt));
         },
         notPutBack},
        {"a later refusal replaces the earlier one",
         [&] {
             blocker->nextRevocationError =
                 LidSleepBlockerError::helperRefused(turnedOffElsewhere.refusal()->reason());
             lid->checkLease();
         },
         turnedOffElsewhere},
        {"a granted renewal clears it", [&] { EXPECT_TRUE(lid->turnOn(std::nullopt)); }, std::nullopt},
    };
    for (const auto& s : steps) {
        s.action();
        EXPECT_EQ(lid->lastFailure().get(), s.shown) << s.step;
    }
}

TEST_F(LidAwakeControllerTest, TurningOnWaitsForThePreparationWhichASwitchOffMakesMoot) {
    blocker->holdsPreparations = true;
    auto lid = make();
    EXPECT_TRUE(lid->turnOn(600));
    EXPECT_EQ(state(*lid), "off turning, renew 0, revoke 0, waiting 0, lease -, renewal -, end -, awake off -")
        << "the session starts only once the helper is ready";
    blocker->heldPreparations[0]();
    EXPECT_EQ(state(*lid), "on, renew 1, revoke 0, waiting 0, lease +30, renewal +10, end +600, awake on +600");

    lid->turnOff();
    awake->turnOff();
    EXPECT_TRUE(lid->turnOn(600));
    lid->turnOff();
    blocker->heldPreparations[1]();
    EXPECT_EQ(state(*lid), "off, renew 1, revoke 1, waiting 0, lease -, renewal -, end -, awake off -");

    blocker->nextPreparationError = std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
    EXPECT_TRUE(lid->turnOn(600));
    blocker->heldPreparations[2]();
    EXPECT_FALSE(lid->isTurningOn());
    EXPECT_EQ(lid->lastFailure().get(), AwakeFailure::lidHelperRequiresApproval());
}

TEST_F(LidAwakeControllerTest, AFailedPreparationOrAwakeSessionIsShownAndNothingIsAsked) {
    const struct {
        std::string name;
        std::function<void(LidAwakeControllerTest&)> arrange;
        AwakeFailure expected;
    } cases[] = {
        {"requires approval",
         [](LidAwakeControllerTest& t) {
             t.blocker->nextPreparationError =
                 std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
         },
         AwakeFailure::lidHelperRequiresApproval()},
        {"registration error",
         [](LidAwakeControllerTest& t) {
             t.blocker->nextPreparationError = std::make_exception_ptr(std::runtime_error("Access denied"));
         },
         AwakeFailure::reported("Access denied")},
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
        EXPECT_EQ(state(*lid).substr(0, 35), "off, renew 0, revoke 0, waiting 0, ");
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
    notifier->trigger(); // nothing really changed
    for (const auto& [battery, display] : {std::pair{true, true}, {true, false}, {false, false}}) {
        conditions->setOnBattery(battery);
        conditions->setHasExternalDisplay(display);
        notifier->trigger();
    }
    EXPECT_TRUE(lid->isOn());
    EXPECT_EQ(conditionChanges, 3);
    EXPECT_EQ(shown, (std::vector<LidClosePrecaution>{LidClosePrecaution::noHeatPath, LidClosePrecaution::none,
                                                      LidClosePrecaution::noHeatPath, LidClosePrecaution::none}));

    conditions->setOnBattery(true);
    lid->turnOff();
    notifier->trigger();
    EXPECT_EQ(lid->precaution().get(), LidClosePrecaution::none) << "no warning while Night Brew is off";
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
