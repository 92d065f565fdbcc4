#include "LidHelperProcess.h"
#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "Support/ConditionMainRunLoop.h"
#include "Support/TestSupport.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
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
    void readStatus(StatusHandler handler) const override { handler(current); }
    void registerHelper(Finished finished) override {
        ++registerCount;
        if (afterRegistering) {
            current = *afterRegistering;
        }
        finished(registrationError ? std::make_exception_ptr(*registrationError) : nullptr);
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

/// What prepare answered, as the text of its error; nothing when ready. The
/// scripted registration answers at once.
std::optional<std::string> prepareOutcome(SocketLidSleepBlocker& blocker) {
    std::optional<std::string> outcome = "no answer";
    blocker.prepare([&](std::exception_ptr error) {
        outcome.reset();
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const std::exception& thrown) {
            outcome = thrown.what();
        }
    });
    return outcome;
}

class SocketLidSleepBlockerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = testing::privateRunIsOutOfReach()) {
            STAYWAKE_SKIP(*why);
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
        return std::make_unique<SocketLidSleepBlocker>(
            registration, std::move(requirement), replyTimeout, loop, std::move(where), [this] {
                ++connectionsMade;
                return std::make_unique<LidLeaseClientConnection>(helper->socketPath());
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
    /// The app's own: the real helper's first answer (with polkit's) must come within it.
    double replyTimeout = 2.0;
    std::shared_ptr<ConditionMainRunLoop> loop = std::make_shared<ConditionMainRunLoop>();
    std::shared_ptr<ScriptedRegistration> registration = std::make_shared<ScriptedRegistration>();
    int connectionsMade = 0;
    bool stopped = false;
};

TEST_F(SocketLidSleepBlockerTest, AGrantedRenewalHoldsTheSettingUntilItIsGivenBack) {
    startHelper();
    auto blocker = makeBlocker();
    EXPECT_EQ(prepareOutcome(*blocker), std::nullopt);

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
    EXPECT_EQ(prepareOutcome(*blocker), std::string(LidSleepBlockerError::helperUnavailable().what()));
    EXPECT_EQ(registration->registerCount, 0);
    EXPECT_EQ(renew(*blocker), LidSleepBlockerError::helperUnavailable());
    EXPECT_EQ(revoke(*blocker), std::nullopt);
    registration->current = LidHelperStatus::requiresApproval;
    EXPECT_EQ(renew(*blocker), LidSleepBlockerError::helperRequiresApproval());
    EXPECT_EQ(connectionsMade, 0);
    EXPECT_EQ(helper->state(), 0);
}

/// A helper played by the test on a socket of its own, so that when it
/// answers, stays silent or closes is the test's to say. Each connection
/// follows its plan: for each request in turn, grant it or ignore it, or wait
/// for the test's word; then the connection is closed (at once, for an empty
/// plan).
class ScriptedHelper {
public:
    enum class Step { grant, ignore, waitForTest };

    ScriptedHelper(const std::string& path, std::vector<std::vector<Step>> plans)
        : listening_(LidHelperListeningSocket::bound(path)),
          thread_([this, plans = std::move(plans)] { serve(plans); }) {}
    ~ScriptedHelper() { thread_.join(); }

    /// The deadline of every request received, in order.
    testing::Mailbox<double> requests;
    /// The number of each connection once the helper has closed it.
    testing::Mailbox<int> closed;
    /// What a waitForTest step waits for.
    testing::Mailbox<bool> proceed;

private:
    static bool readable(int fd) {
        pollfd polled{fd, POLLIN, 0};
        return ::poll(&polled, 1, 20'000) == 1;
    }

    void serve(const std::vector<std::vector<Step>>& plans) {
        int number = 0;
        for (const auto& plan : plans) {
            ++number;
            if (!readable(listening_.get())) {
                return;
            }
            UniqueFd connection(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            for (const Step step : plan) {
                if (step == Step::waitForTest) {
                    proceed.take(20s);
                    continue;
                }
                if (!readable(connection.get())) {
                    break;
                }
                const auto received = SeqpacketSocket::receive(connection.get(), LidLeaseWireMessage::maximumSize);
                if (received.outcome != SeqpacketSocket::Received::Outcome::datagram) {
                    break;
                }
                const auto request = LidLeaseWireMessage::decode(received.bytes);
                requests.post(request.until);
                if (step == Step::grant) {
                    SeqpacketSocket::send(
                        connection.get(),
                        LidLeaseWireMessage::renewLeaseReply(request.requestId, std::nullopt).encode());
                }
            }
            connection.reset();
            closed.post(number);
        }
    }

    UniqueFd listening_;
    std::thread thread_;
};

class SocketLidSleepBlockerWithScriptedHelperTest : public SocketLidSleepBlockerTest {
protected:
    /// A blocker (owned as the app owns it) of the scripted helper at
    /// `socket`, trusted as the installed helper.
    std::shared_ptr<SocketLidSleepBlocker> makeScriptedBlocker(double timeout = 0.5) {
        SocketLidSleepBlocker::Helper where;
        where.socketPath = socket;
        where.programPath = helper->helperPath().string();
        where.trustedUid = ::geteuid();
        where.inspector = std::make_shared<ElfNoteCodeSigning>(TrustAnchor{"/", 0});
        return std::make_shared<SocketLidSleepBlocker>(
            registration, helperRequirement, timeout, loop, std::move(where), [this] {
                ++connectionsMade;
                return std::make_unique<LidLeaseClientConnection>(socket);
            });
    }

    std::string socket = (directory.path() / "scripted.sock").string();
};

TEST_F(SocketLidSleepBlockerWithScriptedHelperTest, AConnectionTheHelperClosedBetweenRequestsIsMadeAgain) {
    using Step = ScriptedHelper::Step;
    ScriptedHelper scripted(socket, {{Step::grant}, {Step::grant}});
    auto blocker = makeScriptedBlocker();
    ASSERT_EQ(renew(*blocker), std::nullopt);
    ASSERT_EQ(scripted.closed.take(), std::optional(1));

    EXPECT_EQ(renew(*blocker), std::nullopt) << "sent on the closed connection";
    EXPECT_EQ(connectionsMade, 2);
    EXPECT_TRUE(blocker->isEngaged());
}

TEST_F(SocketLidSleepBlockerWithScriptedHelperTest, AnUnconfirmedResetIsGivenBackOnANewConnection) {
    using Step = ScriptedHelper::Step;
    // Granted, then silent; a connection closed at once; then the give-back.
    ScriptedHelper scripted(socket, {{Step::grant, Step::ignore, Step::waitForTest}, {}, {Step::grant}});
    auto blocker = makeScriptedBlocker(0.3);
    ASSERT_EQ(renew(*blocker), std::nullopt);
    ASSERT_EQ(renew(*blocker), LidSleepBlockerError::helperUnavailable());
    ASSERT_TRUE(blocker->isResetUnconfirmed());
    scripted.proceed.post(true);
    ASSERT_EQ(scripted.closed.take(), std::optional(1));
    ASSERT_EQ(renew(*blocker), LidSleepBlockerError::helperUnavailable());
    ASSERT_EQ(scripted.closed.take(), std::optional(2));
    ASSERT_FALSE(blocker->hasConnection());
    ASSERT_TRUE(blocker->isResetUnconfirmed());
    for (int i = 0; i < 2; ++i) {
        scripted.requests.take();
    }

    EXPECT_EQ(revoke(*blocker), std::nullopt);
    EXPECT_EQ(scripted.requests.take(), std::optional(0.0)) << "no give-back was sent";
    EXPECT_EQ(connectionsMade, 3);
    EXPECT_FALSE(blocker->isResetUnconfirmed());
}

TEST_F(SocketLidSleepBlockerWithScriptedHelperTest, ACompletionMayDropTheLastOwnerOfTheBlocker) {
    using Step = ScriptedHelper::Step;
    ScriptedHelper scripted(socket, {{Step::grant}});
    auto blocker = makeScriptedBlocker();
    Completed completed;
    blocker->renew(Date{now() + 30}, [&, record = completed.record()](std::optional<LidSleepBlockerError> error) {
        record(std::move(error));
        blocker.reset(); // what follows the completion must not touch it
    });
    ASSERT_TRUE(await(completed));
    EXPECT_EQ(completed.result, std::nullopt);
    EXPECT_EQ(blocker, nullptr);
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
        SocketLidSleepBlocker blocker(registration, helperRequirement, 2.0,
                                      std::make_shared<ConditionMainRunLoop>(), {}, [&] {
                                          ++connectionsMade;
                                          return std::unique_ptr<LidLeaseClientConnection>();
                                      });
        EXPECT_EQ(prepareOutcome(blocker), c.expectedError);
        EXPECT_EQ(registration->registerCount, c.registrations);
        EXPECT_EQ(connectionsMade, 0) << "preparing never connects";
    }
}

} // namespace
} // namespace staywake
