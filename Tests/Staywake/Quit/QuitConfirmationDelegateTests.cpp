#include "Staywake/Quit/QuitConfirmationDelegate.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Lid/InMemoryLidAwakeStore.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace staywake {
namespace {

using testing::FakeContinuousTimeProvider;
using testing::FakeDateProvider;
using testing::ManualDeadlineScheduler;
using testing::ManualRecheckNotifier;
using Kind = QuitConfirmation::Kind;

class NoConditionsNotifier final : public MachineConditionsNotifier {
public:
    void observe(Handler) override {}
};

class QuitConfirmationDelegateTest : public ::testing::Test {
public:
    QuitConfirmationDelegateTest() {
        awake = std::make_shared<AwakeController>(std::make_shared<InMemorySleepBlocker>(), intents, dates, continuous,
                                                  std::make_shared<ManualDeadlineScheduler>(),
                                                  std::make_shared<ManualRecheckNotifier>(), false);
        lid = std::make_shared<LidAwakeController>(
            awake, helper, std::make_shared<InMemoryLidAwakeStore>(true),
            std::make_shared<StaticMachineConditions>(false, false), std::make_shared<NoConditionsNotifier>(), dates,
            std::make_shared<ManualDeadlineScheduler>(), std::make_shared<ManualDeadlineScheduler>());
        inject(delegate);
        delegate.isSystemQuit = [this] { return systemQuit; };
    }

    /// Everything but where the quit came from.
    void inject(QuitConfirmationDelegate& target) {
        target.awake = awake;
        target.lid = lid;
        target.ask = [this](const QuitConfirmation& confirmation) {
            asked.push_back(confirmation);
            if (whileAsking) {
                whileAsking();
            }
            return answer;
        };
        target.reply = [this](bool mayEnd) { replies.push_back(mayEnd); };
        target.after = [this](double delay, QuitConfirmationDelegate::Action action) {
            timers.push_back({delay, std::move(action)});
        };
    }

    std::pair<bool, std::optional<Date>> intent() const {
        return {intents->isAwakeRequested(), intents->awakeUntil()};
    }

    /// Night Brew on for two hours, with the helper's next answers held back.
    void nightBrewWithASlowHelper() {
        ASSERT_TRUE(lid->turnOn(7200));
        ASSERT_TRUE(lid->isOn());
        helper->holdsReplies = true;
    }

    void fireTimers() {
        for (auto& timer : timers) {
            EXPECT_EQ(timer.first, 5.0);
            timer.second();
        }
    }

    std::shared_ptr<FakeDateProvider> dates = std::make_shared<FakeDateProvider>();
    std::shared_ptr<FakeContinuousTimeProvider> continuous = std::make_shared<FakeContinuousTimeProvider>();
    std::shared_ptr<InMemoryAwakeIntentStore> intents = std::make_shared<InMemoryAwakeIntentStore>();
    std::shared_ptr<InMemoryLidSleepBlocker> helper = std::make_shared<InMemoryLidSleepBlocker>();
    std::shared_ptr<AwakeController> awake;
    std::shared_ptr<LidAwakeController> lid;
    QuitConfirmationDelegate delegate{"en_US", Qt::LeftToRight};

    std::vector<QuitConfirmation> asked;
    bool answer = true;
    std::function<void()> whileAsking;
    bool systemQuit = false;
    std::vector<bool> replies;
    std::vector<std::pair<double, QuitConfirmationDelegate::Action>> timers;
};

TEST_F(QuitConfirmationDelegateTest, AUserQuitAsksOnlyDuringASessionAndNeverEndsTheStoredIntent) {
    struct Case {
        const char* name;
        std::optional<double> awakeFor;
        bool nightBrew;
        bool confirms;
        std::optional<QuitConfirmation> expectedQuestion;
        TerminateReply expected;
    };
    const Case cases[] = {
        {"no session", std::nullopt, false, true, std::nullopt, TerminateReply::now},
        {"awake, cancelled", 30 * 60 + 40, false, false, QuitConfirmation{Kind::awakeMode, 1800}, TerminateReply::cancel},
        {"awake, confirmed", 30 * 60 + 40, false, true, QuitConfirmation{Kind::awakeMode, 1800}, TerminateReply::now},
        {"awake without a deadline", 0, false, true, QuitConfirmation{Kind::awakeMode, std::nullopt},
         TerminateReply::now},
        {"night brew, cancelled", std::nullopt, true, false, QuitConfirmation{Kind::nightBrew, 7200},
         TerminateReply::cancel},
        {"night brew, confirmed", std::nullopt, true, true, QuitConfirmation{Kind::nightBrew, 7200},
         TerminateReply::later},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        helper->holdsReplies = false;
        helper->answerAll();
        awake->turnOff();
        asked.clear();
        if (c.awakeFor) {
            awake->turnOn(*c.awakeFor > 0 ? c.awakeFor : std::nullopt);
        }
        if (c.nightBrew) {
            nightBrewWithASlowHelper();
        }
        const auto intentBefore = intent();
        answer = c.confirms;

        EXPECT_EQ(delegate.applicationShouldTerminate(), c.expected);
        EXPECT_EQ(asked.empty() ? std::nullopt : std::optional(asked.front()), c.expectedQuestion);
        EXPECT_FALSE(delegate.isAsking());
        EXPECT_EQ(lid->isOn().get(), c.nightBrew && !c.confirms) << "only a confirmed quit ends Night Brew";
        EXPECT_EQ(intent(), intentBefore) << "quitting is not turning awake mode off";
        EXPECT_EQ(delegate.isWaitingForHelper(), c.expected == TerminateReply::later);

        helper->answerAll();
        fireTimers();
        timers.clear();
    }
}

TEST_F(QuitConfirmationDelegateTest, ASessionThatHasJustEndedIsNotMentioned) {
    awake->turnOn(600);
    dates->advance(601);
    continuous->advance(601);
    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::now);
    EXPECT_TRUE(asked.empty());
}

TEST_F(QuitConfirmationDelegateTest, WaitsForTheHelperOrFiveSecondsWhicheverComesFirst) {
    for (const bool helperFirst : {true, false}) {
        SCOPED_TRACE(helperFirst ? "helper answers first" : "5 s pass first");
        replies.clear();
        timers.clear();
        helper->holdsReplies = false;
        nightBrewWithASlowHelper();

        EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::later);
        EXPECT_EQ(helper->revokeCount, 0) << "the give-back is held";
        ASSERT_EQ(timers.size(), 1U);
        EXPECT_TRUE(replies.empty());

        if (helperFirst) {
            helper->answerAll();
            EXPECT_EQ(helper->revokeCount, 1);
            EXPECT_EQ(replies, std::vector<bool>{true});
            fireTimers();
        } else {
            fireTimers();
            EXPECT_EQ(replies, std::vector<bool>{true});
            helper->answerAll();
        }
        EXPECT_EQ(replies, std::vector<bool>{true}) << "the later of the two finds the quit done";
        EXPECT_FALSE(delegate.isWaitingForHelper());
        helper->revokeCount = 0;
    }
}

TEST_F(QuitConfirmationDelegateTest, ASecondUserQuitIsIgnoredWhileAskingOrWaitingAndASystemQuitEndsTheWait) {
    nightBrewWithASlowHelper();
    std::optional<TerminateReply> secondWhileAsking;
    whileAsking = [&] { secondWhileAsking = delegate.applicationShouldTerminate(); };
    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::later);
    EXPECT_EQ(secondWhileAsking, TerminateReply::cancel);
    EXPECT_EQ(asked.size(), 1U);

    whileAsking = nullptr;
    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::cancel) << "a user quit while waiting";
    EXPECT_EQ(asked.size(), 1U);
    EXPECT_TRUE(delegate.isWaitingForHelper());

    systemQuit = true;
    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::now);
    EXPECT_FALSE(delegate.isWaitingForHelper());
    helper->answerAll();
    fireTimers();
    EXPECT_TRUE(replies.empty()) << "the wait ended with the system quit's answer";
}

TEST_F(QuitConfirmationDelegateTest, SystemQuitsAndTheUpdateRelaunchEndNightBrewWithoutAsking) {
    for (const bool relaunch : {false, true}) {
        SCOPED_TRACE(relaunch ? "relaunch for an update" : "system quit");
        helper->holdsReplies = false;
        systemQuit = !relaunch;
        delegate.isRelaunchingForUpdate = relaunch;
        nightBrewWithASlowHelper();
        const auto intentBefore = intent();

        EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::later);
        EXPECT_TRUE(asked.empty());
        EXPECT_FALSE(lid->isOn());
        EXPECT_TRUE(awake->isOn()) << "the session itself is left to the next launch";
        EXPECT_EQ(intent(), intentBefore);
        helper->answerAll();
        EXPECT_EQ(helper->revokeCount, relaunch ? 2 : 1) << "the lease was given back before the end";
        EXPECT_EQ(replies.size(), relaunch ? 2U : 1U);
    }
}

TEST_F(QuitConfirmationDelegateTest, ASignalWhileTheAlertIsUpQuitsWithoutAnAnswerAfterTheHelperWait) {
    // The application's own delegate, which tells a system quit by where the request came from.
    QuitConfirmationDelegate application{"en_US", Qt::LeftToRight};
    inject(application);
    nightBrewWithASlowHelper();
    whileAsking = [&] { application.requestQuit(QuitOrigin::system); };
    answer = false; // the alert closes unanswered

    application.requestQuit(QuitOrigin::user);
    EXPECT_EQ(asked.size(), 1U) << "the signal asks nothing";
    EXPECT_FALSE(lid->isOn());
    EXPECT_TRUE(application.isWaitingForHelper());
    EXPECT_TRUE(replies.empty());

    helper->answerAll();
    EXPECT_EQ(replies, std::vector<bool>{true});
    EXPECT_EQ(helper->revokeCount, 1);

    // With nothing left to wait for, a signal ends the process at once.
    application.requestQuit(QuitOrigin::system);
    EXPECT_EQ(replies, (std::vector<bool>{true, true}));
}

} // namespace
} // namespace staywake
