#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Identity/IdentityTestSupport.h"
#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "Support/ConditionMainRunLoop.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

namespace staywake {
namespace {

using namespace std::chrono_literals;
using testing::ConditionMainRunLoop;
using Wire = LidLeaseWireMessage;
using Error = std::optional<LidSleepBlockerError>;

class ScriptedRegistration final : public LidHelperRegistration {
public:
    void readStatus(StatusHandler handler) const override { handler(current); }
    void registerHelper(Finished finished) override {
        ++registerCount;
        current = afterRegistering.value_or(current);
        finished(registrationError ? std::make_exception_ptr(std::runtime_error(*registrationError)) : nullptr);
    }

    LidHelperStatus current = LidHelperStatus::enabled;
    std::optional<LidHelperStatus> afterRegistering;
    std::optional<std::string> registrationError;
    int registerCount = 0;
};

struct Completed {
    LidSleepBlocker::Completion record() {
        return [this](Error error) {
            ++count;
            result = std::move(error);
            at = ConditionMainRunLoop::Clock::now();
        };
    }
    int count = 0;
    Error result;
    ConditionMainRunLoop::Clock::time_point at;
};

const std::string helperRequirement =
    *LidHelperService::codeRequirement(LidHelperService::label, std::string("ABCDE12345"));

/// What prepare answered at once, as the text of its error; nothing when ready.
std::optional<std::string> prepareOutcome(SocketLidSleepBlocker& blocker) {
    std::optional<std::string> outcome = "no answer";
    blocker.prepare([&](std::exception_ptr error) {
        try {
            outcome.reset();
            error ? std::rethrow_exception(error) : void();
        } catch (const std::exception& thrown) {
            outcome = thrown.what();
        }
    });
    return outcome;
}

/// The blocker against a helper the test plays by hand; the test's user stands in as root.
class SocketLidSleepBlockerTest : public ::testing::Test {
protected:
    std::shared_ptr<SocketLidSleepBlocker> makeBlocker(std::optional<std::string> requirement = helperRequirement,
                                                       uid_t trustedUid = ::geteuid()) {
        SocketLidSleepBlocker::Helper where;
        where.socketPath = socket;
        where.programPath = program.string();
        where.trustedUid = trustedUid;
        where.inspector = std::make_shared<ElfNoteCodeSigning>(TrustAnchor{tree.root(), ::geteuid()});
        return std::make_shared<SocketLidSleepBlocker>(
            registration, std::move(requirement), 0.3, loop, std::move(where), [this] {
                ++connectionsMade;
                return std::make_unique<LidLeaseClientConnection>(socket);
            });
    }

    UniqueFd accept() const {
        pollfd polled{listening.get(), POLLIN, 0};
        EXPECT_EQ(::poll(&polled, 1, 10'000), 1);
        return UniqueFd(::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

    /// What arrives next on `connection` within 10 s.
    static SeqpacketSocket::Received receive(int connection) {
        pollfd polled{connection, POLLIN, 0};
        EXPECT_EQ(::poll(&polled, 1, 10'000), 1);
        return SeqpacketSocket::receive(connection, Wire::maximumSize);
    }

    /// The next request on `connection`, answered with `reply` unless told not to.
    static Wire request(int connection, bool answer = true, std::optional<std::string> reply = std::nullopt) {
        const Wire request = Wire::decode(receive(connection).bytes);
        if (answer) {
            SeqpacketSocket::send(connection, Wire::renewLeaseReply(request.requestId, std::move(reply)).encode());
        }
        return request;
    }

    Error await(const Completed& completed) {
        EXPECT_TRUE(loop->runUntil([&] { return completed.count > 0; }));
        return completed.result;
    }

    /// Renews until `until` or gives back; the helper on `helper` (accepted if not yet) answers `reply`.
    Error ask(SocketLidSleepBlocker& blocker, std::optional<double> until, UniqueFd* helper = nullptr,
              std::optional<std::string> reply = std::nullopt) {
        Completed completed;
        until ? blocker.renew(Date{*until}, completed.record()) : blocker.revoke(completed.record());
        if (helper) {
            if (!*helper) {
                *helper = accept();
            }
            EXPECT_EQ(request(helper->get(), true, std::move(reply)).until, until.value_or(0));
        }
        return await(completed);
    }

    testing::TemporaryTree tree;
    std::filesystem::path program =
        tree.program("usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper", FIXTURE_HELPER);
    std::string socket = (tree.root() / "lidhelper.sock").string();
    UniqueFd listening = LidHelperListeningSocket::bound(socket);
    std::shared_ptr<ConditionMainRunLoop> loop = std::make_shared<ConditionMainRunLoop>();
    std::shared_ptr<ScriptedRegistration> registration = std::make_shared<ScriptedRegistration>();
    int connectionsMade = 0;
};

TEST_F(SocketLidSleepBlockerTest, RequestsShareAConnectionAndAResetInDoubtIsKeptUntilAGiveBackIsAnswered) {
    const double until = 1'700'000'030;
    auto blocker = makeBlocker();
    EXPECT_EQ(ask(*blocker, std::nullopt), std::nullopt);
    EXPECT_EQ(connectionsMade, 0) << "nothing to give back, nothing sent";

    UniqueFd connection;
    EXPECT_EQ(ask(*blocker, until, &connection), std::nullopt);
    EXPECT_TRUE(blocker->isEngaged());

    Completed late;
    blocker->renew(Date{until}, late.record());
    const Wire unanswered = request(connection.get(), false);
    EXPECT_EQ(await(late), LidSleepBlockerError::helperUnavailable());
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_TRUE(blocker->isResetUnconfirmed());
    EXPECT_TRUE(blocker->hasConnection()) << "a helper that had answered keeps its connection";
    SeqpacketSocket::send(connection.get(), Wire::renewLeaseReply(unanswered.requestId, std::nullopt).encode());

    const std::string refusal = "The sleep setting is on elsewhere.";
    EXPECT_EQ(ask(*blocker, until, &connection, refusal), LidSleepBlockerError::helperRefused(refusal));
    EXPECT_EQ(late.count, 1) << "the late reply reached nobody";
    EXPECT_EQ(connectionsMade, 1);

    // The helper goes away: the give-back is still tried, since the setting is in doubt.
    connection.reset();
    listening.reset();
    EXPECT_EQ(ask(*blocker, std::nullopt), LidSleepBlockerError::helperUnavailable());
    EXPECT_TRUE(blocker->isResetUnconfirmed());
    EXPECT_FALSE(blocker->hasConnection());
    registration->current = LidHelperStatus::requiresApproval;
    EXPECT_EQ(ask(*blocker, until), LidSleepBlockerError::helperRequiresApproval());

    listening = LidHelperListeningSocket::bound(socket);
    EXPECT_EQ(ask(*blocker, std::nullopt, &connection), std::nullopt);
    EXPECT_FALSE(blocker->isResetUnconfirmed());
    connection.reset(); // the helper closes it between requests: the next one goes on a new one
    EXPECT_EQ(ask(*blocker, until, &connection), std::nullopt);
}

TEST_F(SocketLidSleepBlockerTest, RequestsGoOneAfterTheOtherAndAFreshConnectionThatNeverAnswersIsDropped) {
    auto blocker = makeBlocker();
    Completed first;
    Completed second;
    blocker->renew(Date{1'700'000'030}, first.record());
    blocker->renew(Date{1'700'000'030}, second.record());
    const UniqueFd silent = accept();
    request(silent.get(), false);
    EXPECT_EQ(await(first), LidSleepBlockerError::helperUnavailable());
    EXPECT_EQ(second.count, 0) << "the second waits for the first";

    // Sent only after the first had its outcome, on a new connection, with a whole timeout of its own.
    const UniqueFd alsoSilent = accept();
    request(alsoSilent.get(), false);
    EXPECT_EQ(await(second), LidSleepBlockerError::helperUnavailable());
    EXPECT_GE(second.at - first.at, 250ms);
    EXPECT_EQ(connectionsMade, 2);
    EXPECT_FALSE(blocker->hasConnection());
    EXPECT_FALSE(blocker->isResetUnconfirmed()) << "a helper that never answered holds nothing for us";
}

TEST_F(SocketLidSleepBlockerTest, SendsNothingToAHelperThatIsNotTheInstalledOneOrNotRoot) {
    const std::pair<std::optional<std::string>, uid_t> cases[] = {
        {LidHelperService::codeRequirement(LidHelperService::label, std::string("ZZZZZ99999")), ::geteuid()},
        {helperRequirement, ::geteuid() + 4242},
    };
    for (const auto& [requirement, trustedUid] : cases) {
        auto blocker = makeBlocker(requirement, trustedUid);
        Completed completed;
        blocker->renew(Date{1'700'000'030}, completed.record());
        const UniqueFd connection = accept();
        EXPECT_EQ(await(completed), LidSleepBlockerError::helperUnavailable()) << trustedUid;
        EXPECT_EQ(receive(connection.get()).outcome, SeqpacketSocket::Received::Outcome::endOfStream);
        EXPECT_FALSE(blocker->hasConnection());
    }
}

TEST_F(SocketLidSleepBlockerTest, WithoutARequirementNoConnectionIsEverMade) {
    auto blocker = makeBlocker(std::nullopt);
    EXPECT_EQ(prepareOutcome(*blocker), std::string(LidSleepBlockerError::helperUnavailable().what()));
    EXPECT_EQ(ask(*blocker, 1), LidSleepBlockerError::helperUnavailable());
    EXPECT_EQ(ask(*blocker, std::nullopt), std::nullopt);
    EXPECT_EQ(connectionsMade + registration->registerCount, 0);
}

TEST_F(SocketLidSleepBlockerTest, ACompletionMayDropTheLastOwnerOfTheBlocker) {
    auto blocker = makeBlocker();
    Completed completed;
    blocker->renew(Date{1'700'000'030}, [&, record = completed.record()](Error error) {
        record(std::move(error));
        blocker.reset(); // what follows the completion must not touch it
    });
    request(accept().get());
    EXPECT_EQ(await(completed), std::nullopt);
    EXPECT_EQ(blocker, nullptr);
}

TEST_F(SocketLidSleepBlockerTest, PreparingRegistersOnlyWhenNeededAndReportsApprovalFirst) {
    const std::string approval = LidSleepBlockerError::helperRequiresApproval().what();
    using Status = LidHelperStatus;
    using Text = std::optional<std::string>;
    // status, status after registering, registration error; what() of the error thrown, registrations
    const std::tuple<Status, std::optional<Status>, Text, Text, int> cases[] = {
        {Status::enabled, std::nullopt, std::nullopt, std::nullopt, 0},
        {Status::requiresApproval, std::nullopt, std::nullopt, approval, 0},
        {Status::notRegistered, Status::enabled, std::nullopt, std::nullopt, 1},
        {Status::notRegistered, std::nullopt, "Access denied", "Access denied", 1},
        {Status::notFound, Status::requiresApproval, "Unit is masked.", approval, 1},
    };
    for (const auto& [status, after, error, expected, registrations] : cases) {
        registration = std::make_shared<ScriptedRegistration>();
        registration->current = status;
        registration->afterRegistering = after;
        registration->registrationError = error;
        EXPECT_EQ(prepareOutcome(*makeBlocker()), expected) << static_cast<int>(status);
        EXPECT_EQ(registration->registerCount, registrations);
    }
    EXPECT_EQ(connectionsMade, 0) << "preparing never connects";
}

} // namespace
} // namespace staywake
