#include "Staywake/Quit/QuitConfirmationDelegate.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Lid/InMemoryLidAwakeStore.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
#include "Support/Fakes/SilentMachineConditions.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using Kind = QuitConfirmation::Kind;
using Reply = TerminateReply;

class QuitConfirmationDelegateTest : public ::testing::Test {
public:
    QuitConfirmationDelegateTest() {
        using namespace testing;
        awake = std::make_shared<AwakeController>(std::make_shared<InMemorySleepBlocker>(), intents, dates,
                                                  continuous, std::make_shared<ManualDeadlineScheduler>(),
                                                  std::make_shared<ManualRecheckNotifier>(), false);
        lid = std::make_shared<LidAwakeController>(awake, helper, std::make_shared<InMemoryLidAwakeStore>(true),
                                                   std::make_shared<StaticMachineConditions>(false, false),
                                                   std::make_shared<SilentMachineConditionsNotifier>(), dates,
                                                   std::make_shared<ManualDeadlineScheduler>(),
                                                   std::make_shared<ManualDeadlineScheduler>());
        delegate.awake = awake;
        delegate.lid = lid;
        delegate.ask = [this](const QuitConfirmation& confirmation) {
            asked.push_back(confirmation);
            if (whileAsking) {
                whileAsking();
            }
            return confirms;
        };
        delegate.reply = [this](bool mayEnd) { replies.push_back(mayEnd); };
        delegate.after = [this](double delay, QuitConfirmationDelegate::Action action) {
            EXPECT_EQ(delay, 5.0);
            timers.push_back(std::move(action));
        };
    }

    /// Night Brew on for two hours; the helper's next answers are held back.
    void nightBrewWithASlowHelper() {
        ASSERT_TRUE(lid->turnOn(7200));
        helper->holdsReplies = true;
    }

    void fiveSecondsPass() {
        for (auto& timer : std::exchange(timers, {})) {
            timer();
        }
    }

    std::shared_ptr<testing::FakeDateProvider> dates = std::make_shared<testing::FakeDateProvider>();
    std::shared_ptr<testing::FakeContinuousTimeProvider> continuous =
        std::make_shared<testing::FakeContinuousTimeProvider>();
    std::shared_ptr<InMemoryAwakeIntentStore> intents = std::make_shared<InMemoryAwakeIntentStore>();
    std::shared_ptr<InMemoryLidSleepBlocker> helper = std::make_shared<InMemoryLidSleepBlocker>();
    std::shared_ptr<AwakeController> awake;
    std::shared_ptr<LidAwakeController> lid;
    QuitConfirmationDelegate delegate{[] { return std::string("en_US"); }, Qt::LeftToRight};

    std::vector<QuitConfirmation> asked;
    bool confirms = true;
    std::function<void()> whileAsking;
    std::vector<bool> replies;
    std::vector<QuitConfirmationDelegate::Action> timers;
};

TEST_F(QuitConfirmationDelegateTest, AsksTheUserOnlyDuringASessionEndsNightBrewAndKeepsTheStoredIntent) {
    enum class From { user, system, update };
    using Q = QuitConfirmation;
    const struct {
        const char* name;
        From from;
        std::optional<double> awakeFor;
        bool nightBrew;
        bool confirms;
        std::optional<QuitConfirmation> question;
        Reply expected;
    } cases[] = {
        // clang-format off
        {"no session", From::user, std::nullopt, false, true, std::nullopt, Reply::now},
        {"awake, cancelled", From::user, 30 * 60 + 40, false, false, Q{Kind::awakeMode, 1800}, Reply::cancel},
        {"awake, confirmed", From::user, 30 * 60 + 40, false, true, Q{Kind::awakeMode, 1800}, Reply::now},
        {"a session that ended a moment ago", From::user, 0.5, false, true, std::nullopt, Reply::now},
        {"night brew, cancelled", From::user, std::nullopt, true, false, Q{Kind::nightBrew, 7140}, Reply::cancel},
        {"night brew, confirmed", From::user, std::nullopt, true, true, Q{Kind::nightBrew, 7140}, Reply::later},
        {"log out", From::system, 600, true, false, std::nullopt, Reply::later},
        {"relaunch for an update", From::update, 600, true, false, std::nullopt, Reply::later},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        helper->holdsReplies = false;
        awake->turnOff();
        asked.clear();
        if (c.awakeFor) {
            awake->turnOn(c.awakeFor);
        }
        if (c.nightBrew) {
            nightBrewWithASlowHelper();
        }
        dates->advance(1); // 1 s into the session
        continuous->advance(1);
        const auto intentBefore = intents->stored;
        confirms = c.confirms;
        delegate.isSystemQuit = [&] { return c.from == From::system; };
        delegate.isRelaunchingForUpdate = c.from == From::update;

        EXPECT_EQ(delegate.applicationShouldTerminate(), c.expected);
        EXPECT_EQ(asked.empty() ? std::nullopt : std::optional(asked.front()), c.question);
        EXPECT_FALSE(delegate.isAsking());
        EXPECT_EQ(lid->isOn().get(), c.nightBrew && c.expected == Reply::cancel) << "every quit ends Night Brew";
        const bool expired = c.awakeFor && *c.awakeFor < 1;
        EXPECT_EQ(intents->stored == intentBefore, !expired) << "quitting is not turning awake mode off";
        EXPECT_EQ(delegate.isWaitingForHelper(), c.expected == Reply::later);
        fiveSecondsPass();
        EXPECT_EQ(replies, std::vector<bool>(c.expected == Reply::later ? 1 : 0, true))
            << "a deferred quit waits at most five seconds for the helper";
        helper->answerAll();
        EXPECT_EQ(replies.size(), c.expected == Reply::later ? 1U : 0U) << "and ends only once";
        replies.clear();
    }
}

TEST_F(QuitConfirmationDelegateTest, ASecondUserQuitIsIgnoredWhileAskingOrWaitingAndASystemQuitEndsTheWait) {
    nightBrewWithASlowHelper();
    std::optional<Reply> secondWhileAsking;
    whileAsking = [&] { secondWhileAsking = delegate.applicationShouldTerminate(); };
    EXPECT_EQ(delegate.applicationShouldTerminate(), Reply::later);
    EXPECT_EQ(secondWhileAsking, Reply::cancel);
    EXPECT_EQ(delegate.applicationShouldTerminate(), Reply::cancel) << "a user quit while waiting";
    EXPECT_EQ(asked.size(), 1U);
    delegate.requestQuit(QuitOrigin::system);
    EXPECT_EQ(replies, std::vector<bool>{true}) << "at once";
    helper->answerAll();
    fiveSecondsPass();
    EXPECT_EQ(replies, std::vector<bool>{true});
}

TEST_F(QuitConfirmationDelegateTest, ASignalWhileTheAlertIsUpQuitsUnaskedAfterTheHelperWait) {
    nightBrewWithASlowHelper();
    whileAsking = [&] { delegate.requestQuit(QuitOrigin::system); };
    confirms = false; // the alert closes unanswered
    delegate.requestQuit(QuitOrigin::user);
    EXPECT_FALSE(lid->isOn());
    EXPECT_TRUE(replies.empty());
    helper->answerAll();
    EXPECT_EQ(replies, std::vector<bool>{true}) << "the quit ends once the lease is given back";
    EXPECT_EQ(helper->revokeCount, 1);
}

} // namespace
} // namespace staywake
