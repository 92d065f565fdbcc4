#include "ConditionMainRunLoop.h"
#include "LidHelperProcess.h"
#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace staywake {
namespace {

using namespace std::chrono_literals;
using testing::ConditionMainRunLoop;
using testing::LidHelperProcess;
using testing::TemporaryDirectory;

/// A registration that answers what the test sets and counts registrations.
class ScriptedRegistration final : public LidHelperRegistration {
public:
    LidHelperStatus status() const override { return current; }
    void registerHelper() override {
        ++registerCount;
        if (afterRegistering) {
            current = *afterRegistering;
        }
        if (registrationError) {
            throw *registrationError;
        }
    }

    LidHelperStatus current = LidHelperStatus::enabled;
    std::optional<LidHelperStatus> afterRegistering;
    std::optional<std::runtime_error> registrationError;
    int registerCount = 0;
};

/// One request's completion, awaited on the test's main loop.
struct Completed {
    LidSleepBlocker::Completion record() {
        return [this](std::optional<LidSleepBlockerError> error) {
            ++count;
            result = std::move(error);
            at = ConditionMainRunLoop::Clock::now();
        };
    }
    int count = 0;
    std::optional<LidSleepBlockerError> result;
    ConditionMainRunLoop::Clock::time_point at;
};

const std::optional<std::string> helperRequirement =
    LidHelperService::codeRequirement(LidHelperService::label, CodeSigningIdentity::currentTeamIdentifier());

double now() { return testing::wallClockNow(); }

class SocketLidSleepBlockerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            STAYWAKE_SKIP("the helper trusts only programs that root owns, so these tests run as root");
        }
        std::string why;
        if (!testing::canEnterPrivateRun(why)) {
            STAYWAKE_SKIP(why);
        }
        ASSERT_TRUE(helperRequirement) << "this build has no Team ID";
        helper = std::make_unique<LidHelperProcess>(directory.path(), STAYWAKE_LID_HELPER);
    }

    void TearDown() override {
        if (HasFailure() && helper) {
            std::cerr << helper->report();
        }
        if (stopped) {
            helper->signal(SIGCONT);
        }
    }

    void startHelper() {
        helper->start();
        ASSERT_TRUE(helper->journal().waitForMessage("listening on com.staywake.app.lidhelper"))
            << "the helper never listened";
    }

    std::unique_ptr<SocketLidSleepBlocker> makeBlocker(std::optional<std::string> requirement = helperRequirement,
                                                       uid_t trustedUid = 0) {
        SocketLidSleepBlocker::Helper where;
        where.socketPath = helper->socketPath();
        where.programPath = helper->helperPath().string();
        where.trustedUid = trustedUid;
        where.inspector = std::make_shared<ElfNoteCodeSigning>(TrustAnchor{"/", 0});
        return std::make_unique<SocketLidSleepBlocker>(registration, std::move(requirement), 2.0, loop,
                                                       std::move(where), [this] {
                                                           ++connectionsMade;
                                                           return std::make_unique<LidLeaseClientConnection>(
                                                               helper->socketPath());
                                                       });
    }

    /// Runs the main loop until the completion has run.
    bool await(const Completed& completed, std::chrono::milliseconds timeout = 20s) {
        return loop->runUntil([&] { return completed.count > 0; }, timeout);
    }

    std::optional<LidSleepBlockerError> renew(SocketLidSleepBlocker& blocker, double secondsAhead = 30) {
        Completed completed;
        blocker.renew(Date{now() + secondsAhead}, completed.record());
        EXPECT_TRUE(await(completed));
        return completed.result;
    }

    std::optional<LidSleepBlockerError> revoke(SocketLidSleepBlocker& blocker) {
        Completed completed;
        blocker.revoke(completed.record());
        EXPECT_TRUE(await(completed));
        return completed.result;
    }

    void stopHelper() {
        helper->signal(SIGSTOP);
        stopped = true;
    }
    void continueHelper() {
        helper->signal(SIGCONT);
        stopped = false;
    }

    TemporaryDirectory directory;
    std::unique_ptr<LidHelperProcess> helper;
    std::shared_ptr<ConditionMainRunLoop> loop = std::make_shared<ConditionMainRunLoop>();
    std::shared_ptr<ScriptedRegistration> registration = std::make_shared<ScriptedRegistration>();
    int connectionsMade = 0;
    bool stopped = false;
};

TEST_F(SocketLidSleepBlockerTest, AGrantedRenewalHoldsTheSettingUntilItIsGivenBack) {
    startHelper();
    auto blocker = makeBlocker();
    EXPECT_NO_THROW(blocker->prepare());

    EXPECT_EQ(renew(*blocker), std::nullopt);
    EXPECT_TRUE(blocker->isEngaged());
    EXPECT_EQ(helper->state(), 1);
    EXPECT_TRUE(blocker->hasConnection());

    EXPECT_EQ(revoke(*blocker), std::nullopt);
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_FALSE(blocker->isResetUnconfirmed());
    EXPECT_EQ(helper->state(), 0);
    EXPECT_TRUE(blocker->hasConnection()) << "an answering helper keeps its connection";
    EXPECT_EQ(connectionsMade, 1);
}

TEST_F(SocketLidSleepBlockerTest, TheHelpersRefusalArrivesAsItsRefusal) {
    startHelper();
    auto blocker = makeBlocker();
    helper->setState(1); // something else turned the setting on after the helper wrote 0

    const auto error = renew(*blocker);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LidSleepBlockerError::Kind::helperRefused);
    EXPECT_EQ(AwakeFailure(*error), AwakeFailure::lidHelperRefused(LidHelperRefusal::settingOnElsewhere()));
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_TRUE(blocker->hasConnection());
    EXPECT_EQ(helper->state(), 1) << "left as it was";
}

TEST_F(SocketLidSleepBlockerTest, RequestsAreSentOneAfterTheOtherAndAFreshConnectionThatNeverAnswersIsDropped) {
    startHelper();
    auto blocker = makeBlocker();
    stopHelper();

    Completed first;
    Completed second;
    blocker->renew(Date{now() + 30}, first.record());
    blocker->renew(Date{now() + 30}, second.record());
    ASSERT_TRUE(await(first));
    EXPECT_EQ(first.result, LidSleepBlockerError::helperUnavailable());
    EXPECT_EQ(second.count, 0) << "the second waits for the first";

    ASSERT_TRUE(await(second));
    EXPECT_EQ(second.result, LidSleepBlockerError::helperUnavailable());
    // Sent only after the first had its outcome, on a new connection, it had a
    // whole reply timeout of its own.
    EXPECT_GE(second.at - first.at, 1900ms);
    EXPECT_EQ(connectionsMade, 2);
    EXPECT_FALSE(blocker->hasConnection());
    EXPECT_FALSE(blocker->isResetUnconfirmed()) << "a helper that never answered holds nothing for us";

    continueHelper();
    EXPECT_EQ(renew(*blocker), std::nullopt) << "the next request connects again";
    EXPECT_EQ(connectionsMade, 3);
}

TEST_F(SocketLidSleepBlockerTest, AHelperThatHadAnsweredKeepsItsConnectionAndItsLateReplyChangesNothing) {
    startHelper();
    auto blocker = makeBlocker();
    ASSERT_EQ(renew(*blocker), std::nullopt);

    stopHelper();
    Completed late;
    blocker->renew(Date{now() + 30}, late.record());
    ASSERT_TRUE(await(late));
    EXPECT_EQ(late.result, LidSleepBlockerError::helperUnavailable());
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_TRUE(blocker->isResetUnconfirmed());
    EXPECT_TRUE(blocker->hasConnection());

    // Woken, the helper grants the late renewal, then takes the give-back sent
    // behind it on the same connection: by then the late reply has arrived.
    continueHelper();
    EXPECT_EQ(revoke(*blocker), std::nullopt);
    EXPECT_EQ(late.count, 1) << "the late reply reached nobody";
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_FALSE(blocker->isResetUnconfirmed());
    EXPECT_EQ(helper->state(), 0);
    EXPECT_EQ(connectionsMade, 1);
}

TEST_F(SocketLidSleepBlockerTest, AKilledHelperFailsTheRequestAndAnUnconfirmedResetStaysInDoubt) {
    startHelper();
    auto blocker = makeBlocker();
    ASSERT_EQ(renew(*blocker), std::nullopt);
    stopHelper();
    ASSERT_EQ(renew(*blocker), LidSleepBlockerError::helperUnavailable());
    ASSERT_TRUE(blocker->isResetUnconfirmed());

    helper->signal(SIGKILL);
    stopped = false;
    ASSERT_TRUE(helper->waitForExit());

    // The give-back is still sent, since the setting is in doubt; nobody answers.
    EXPECT_EQ(revoke(*blocker), LidSleepBlockerError::helperUnavailable());
    EXPECT_TRUE(blocker->isResetUnconfirmed());
    EXPECT_FALSE(blocker->hasConnection());

    registration->current = LidHelperStatus::requiresApproval;
    EXPECT_EQ(renew(*blocker), LidSleepBlockerError::helperRequiresApproval())
        << "an unreachable helper waiting for approval says so";
    EXPECT_FALSE(blocker->isEngaged());
}

TEST_F(SocketLidSleepBlockerTest, AGiveBackWithNothingToGiveBackSendsNothing) {
    startHelper();
    auto blocker = makeBlocker();
    const auto callsBefore = helper->calls().size();
    EXPECT_EQ(revoke(*blocker), std::nullopt);
    EXPECT_EQ(connectionsMade, 0);
    EXPECT_EQ(helper->calls().size(), callsBefore);
}

TEST_F(SocketLidSleepBlockerTest, AHelperThatIsNotTheInstalledOneOrNotRootIsNeverUsed) {
    startHelper();
    struct Case {
        std::string name;
        std::optional<std::string> requirement;
        uid_t trustedUid;
    };
    const std::vector<Case> cases = {
        {"another team's helper",
         LidHelperService::codeRequirement(LidHelperService::label, std::string("ZZZZZ99999")), 0},
        {"another program",
         LidHelperService::codeRequirement("com.example.other", CodeSigningIdentity::currentTeamIdentifier()), 0},
        {"a helper not running as the trusted user", helperRequirement, 4242},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto blocker = makeBlocker(c.requirement, c.trustedUid);
        EXPECT_EQ(renew(*blocker), LidSleepBlockerError::helperUnavailable());
        EXPECT_FALSE(blocker->isEngaged());
        EXPECT_FALSE(blocker->hasConnection());
    }
    EXPECT_EQ(helper->state(), 0);
}

TEST_F(SocketLidSleepBlockerTest, WithoutARequirementNoConnectionIsEverMade) {
    startHelper();
    auto blocker = makeBlocker(std::nullopt);
    try {
        blocker->prepare();
        ADD_FAILURE() << "prepared without a requirement";
    } catch (const LidSleepBlockerError& error) {
        EXPECT_EQ(error, LidSleepBlockerError::helperUnavailable());
    }
    EXPECT_EQ(registration->registerCount, 0);
    EXPECT_EQ(renew(*blocker), LidSleepBlockerError::helperUnavailable());
    EXPECT_EQ(revoke(*blocker), std::nullopt);
    registration->current = LidHelperStatus::requiresApproval;
    EXPECT_EQ(renew(*blocker), LidSleepBlockerError::helperRequiresApproval());
    EXPECT_EQ(connectionsMade, 0);
    EXPECT_EQ(helper->state(), 0);
}

TEST(SocketLidSleepBlockerPreparation, RegistersOnlyWhenNeededAndReportsApprovalFirst) {
    struct Case {
        std::string name;
        LidHelperStatus status;
        std::optional<LidHelperStatus> afterRegistering;
        std::optional<std::string> registrationError;
        std::optional<std::string> expectedError; // what() of the error thrown
        int registrations;
    };
    const std::string approval = LidSleepBlockerError::helperRequiresApproval().what();
    const std::vector<Case> cases = {
        {"enabled", LidHelperStatus::enabled, std::nullopt, std::nullopt, std::nullopt, 0},
        {"waiting for approval", LidHelperStatus::requiresApproval, std::nullopt, std::nullopt, approval, 0},
        {"registered", LidHelperStatus::notRegistered, LidHelperStatus::enabled, std::nullopt, std::nullopt, 1},
        {"not found, then registered", LidHelperStatus::notFound, LidHelperStatus::enabled, std::nullopt,
         std::nullopt, 1},
        {"registered but left waiting for approval", LidHelperStatus::notRegistered,
         LidHelperStatus::requiresApproval, std::nullopt, approval, 1},
        {"registered, status still not registered", LidHelperStatus::notRegistered, std::nullopt, std::nullopt,
         std::nullopt, 1},
        {"registration failed", LidHelperStatus::notRegistered, std::nullopt, "Access denied", "Access denied", 1},
        {"registration failed into approval", LidHelperStatus::notFound, LidHelperStatus::requiresApproval,
         "Unit is masked.", approval, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto registration = std::make_shared<ScriptedRegistration>();
        registration->current = c.status;
        registration->afterRegistering = c.afterRegistering;
        if (c.registrationError) {
            registration->registrationError.emplace(*c.registrationError);
        }
        int connectionsMade = 0;
        SocketLidSleepBlocker blocker(registration, helperRequirement, 2.0, std::make_shared<ConditionMainRunLoop>(),
                                      {}, [&] {
                                          ++connectionsMade;
                                          return std::unique_ptr<LidLeaseClientConnection>();
                                      });
        std::optional<std::string> thrown;
        try {
            blocker.prepare();
        } catch (const std::exception& error) {
            thrown = error.what();
        }
        EXPECT_EQ(thrown, c.expectedError);
        EXPECT_EQ(registration->registerCount, c.registrations);
        EXPECT_EQ(connectionsMade, 0) << "preparing never connects";
    }
}

} // namespace
} // namespace staywake
