#include "Staywake/Lid/SystemdLidHelperRegistration.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"
#include "Support/TestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace staywake {
namespace {

const QString unit = QStringLiteral("staywake-lidhelper.socket");

/// The private system bus that mock_systemd.py runs this program on, and its
/// control interface.
class MockSystemd {
public:
    MockSystemd() {
        const char* address = std::getenv("STAYWAKE_MOCK_SYSTEM_BUS");
        if (address != nullptr) {
            bus_ = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("mock-systemd"));
        }
    }

    bool isRunning() const { return bus_ && bus_->isConnected(); }
    QDBusConnection bus() const { return *bus_; }

    void setUnitFileState(const QString& state, const QString& name = unit) const {
        control(QStringLiteral("SetUnitFileState"), {name, state});
    }
    void setStateAfterEnable(const QString& state) const {
        control(QStringLiteral("SetStateAfterEnable"), {unit, state});
    }
    void failNext(const QString& method, const QString& errorName, const QString& message) const {
        control(QStringLiteral("FailNext"), {method, errorName, message});
    }
    QStringList takeCalls() const {
        const auto reply = control(QStringLiteral("TakeCalls"), {});
        return reply.arguments().value(0).toStringList();
    }
    QString activeState() const {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1/unit/staywake_lidhelper_socket"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call.setArguments({QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState")});
        const auto reply = bus_->call(call);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }
    /// Starts or stops the socket as systemd would, outside the registration.
    void setListening(bool listening) const {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
            QStringLiteral("org.freedesktop.systemd1.Manager"),
            listening ? QStringLiteral("StartUnit") : QStringLiteral("StopUnit"));
        call.setArguments({unit, QStringLiteral("replace")});
        EXPECT_EQ(bus_->call(call).type(), QDBusMessage::ReplyMessage);
    }

private:
    QDBusMessage control(const QString& method, const QList<QVariant>& arguments) const {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.systemd1"),
                                                          QStringLiteral("/org/freedesktop/systemd1"),
                                                          QStringLiteral("com.staywake.Test"), method);
        call.setArguments(arguments);
        const QDBusMessage reply = bus_->call(call);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method.toStdString() << ": "
                                                            << reply.errorMessage().toStdString();
        return reply;
    }

    std::optional<QDBusConnection> bus_;
};

/// Preparing never needs the main loop: nothing is sent.
class NoMainRunLoop final : public MainRunLoop {
public:
    void perform(Action) override { ADD_FAILURE() << "preparing used the main loop"; }
    void perform(double, Action) override { ADD_FAILURE() << "preparing used the main loop"; }
};

/// The text of an error; nothing for none.
std::optional<std::string> textOf(const std::exception_ptr& error) {
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const std::exception& thrown) {
        return thrown.what();
    }
    return std::nullopt;
}

/// Runs the event loop until `done` holds, or 20 s passed.
bool runUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    return done();
}

std::optional<LidHelperStatus> statusOf(const SystemdLidHelperRegistration& registration) {
    std::optional<LidHelperStatus> status;
    registration.readStatus([&](LidHelperStatus read) { status = read; });
    runUntil([&] { return status.has_value(); });
    return status;
}

/// What registering answered: nothing, or the error's text ("no answer" when none came).
std::optional<std::string> registerAndWait(SystemdLidHelperRegistration& registration) {
    std::optional<std::optional<std::string>> outcome;
    registration.registerHelper([&](std::exception_ptr error) { outcome = textOf(error); });
    runUntil([&] { return outcome.has_value(); });
    return outcome.value_or("no answer");
}

class SystemdLidHelperRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!systemd.isRunning()) {
            STAYWAKE_SKIP("no private system bus with a mocked systemd (run through mock_systemd.py)");
        }
        systemd.setUnitFileState(QStringLiteral("disabled"));
        systemd.setStateAfterEnable(QStringLiteral("enabled"));
        systemd.setListening(true);
        systemd.takeCalls();
    }

    MockSystemd systemd;
};

TEST_F(SystemdLidHelperRegistrationTest, MapsEveryUnitFileState) {
    struct Case {
        QString state; // empty: no unit file at all
        LidHelperStatus expected;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("enabled"), LidHelperStatus::enabled},
        {QStringLiteral("enabled-runtime"), LidHelperStatus::enabled},
        {QStringLiteral("static"), LidHelperStatus::enabled},
        {QStringLiteral("indirect"), LidHelperStatus::enabled},
        {QStringLiteral("alias"), LidHelperStatus::enabled},
        {QStringLiteral("linked"), LidHelperStatus::enabled},
        {QStringLiteral("disabled"), LidHelperStatus::notRegistered},
        {QStringLiteral("masked"), LidHelperStatus::requiresApproval},
        {QStringLiteral("masked-runtime"), LidHelperStatus::requiresApproval},
        {QStringLiteral("bad"), LidHelperStatus::notRegistered},
        {QStringLiteral("a-state-of-a-later-systemd"), LidHelperStatus::notRegistered},
        {QString(), LidHelperStatus::notFound},
    };
    const SystemdLidHelperRegistration registration(systemd.bus());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state.toStdString());
        systemd.setUnitFileState(c.state);
        EXPECT_EQ(statusOf(registration), c.expected);
    }
    EXPECT_EQ(systemd.takeCalls().size(), static_cast<qsizetype>(cases.size()))
        << "every read asks systemd; nothing is cached";
}

TEST_F(SystemdLidHelperRegistrationTest, AnEnabledSocketThatDoesNotListenIsRegisteredAgainAndStarted) {
    const SystemdLidHelperRegistration registration(systemd.bus());
    systemd.setUnitFileState(QStringLiteral("enabled"));
    systemd.setListening(false);
    EXPECT_EQ(statusOf(registration), LidHelperStatus::notRegistered);

    // The client's preparation completes the registration cut short.
    const auto requirement = LidHelperService::codeRequirement(LidHelperService::label, std::string("ABCDE12345"));
    SocketLidSleepBlocker client(std::make_shared<SystemdLidHelperRegistration>(systemd.bus()), requirement, 2.0,
                                 std::make_shared<NoMainRunLoop>(), {});
    std::optional<std::exception_ptr> prepared;
    client.prepare([&](std::exception_ptr error) { prepared = error; });
    ASSERT_TRUE(runUntil([&] { return prepared.has_value(); }));
    EXPECT_EQ(*prepared, nullptr);
    EXPECT_EQ(systemd.activeState(), QStringLiteral("active"));
    EXPECT_EQ(statusOf(registration), LidHelperStatus::enabled);
}

TEST_F(SystemdLidHelperRegistrationTest, AFailedReadIsNotFoundOnlyWhenSystemdKnowsNoSuchUnit) {
    struct Case {
        QString errorName;
        LidHelperStatus expected;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"), LidHelperStatus::notFound},
        {QStringLiteral("org.freedesktop.DBus.Error.FileNotFound"), LidHelperStatus::notFound},
        {QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), LidHelperStatus::notRegistered},
        {QStringLiteral("org.freedesktop.DBus.Error.Failed"), LidHelperStatus::notRegistered},
    };
    const SystemdLidHelperRegistration registration(systemd.bus());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errorName.toStdString());
        systemd.failNext(QStringLiteral("GetUnitFileState"), c.errorName, QStringLiteral("no"));
        EXPECT_EQ(statusOf(registration), c.expected);
    }
}

TEST_F(SystemdLidHelperRegistrationTest, NoSystemdOnTheBusReadsAsNotRegistered) {
    const QDBusConnection nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                                  QStringLiteral("nowhere"));
    SystemdLidHelperRegistration registration(nowhere);
    EXPECT_EQ(statusOf(registration), LidHelperStatus::notRegistered);
    EXPECT_NE(registerAndWait(registration), std::nullopt);
}

TEST_F(SystemdLidHelperRegistrationTest, RegisteringEnablesTheUnitForGoodReloadsAndStartsIt) {
    SystemdLidHelperRegistration registration(systemd.bus());
    systemd.setListening(false);
    ASSERT_EQ(statusOf(registration), LidHelperStatus::notRegistered);
    systemd.takeCalls();

    EXPECT_EQ(registerAndWait(registration), std::nullopt);

    EXPECT_EQ(systemd.takeCalls(),
              (QStringList{QStringLiteral("EnableUnitFiles staywake-lidhelper.socket runtime=False force=True"),
                           QStringLiteral("Reload")}));
    EXPECT_EQ(systemd.activeState(), QStringLiteral("active"));
    EXPECT_EQ(statusOf(registration), LidHelperStatus::enabled);
}

TEST_F(SystemdLidHelperRegistrationTest, RegisteringPassesSystemdsOrPolkitsErrorOnAndStopsThere) {
    struct Case {
        QString method;
        QString errorName;
        QString message;
        QStringList calls;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("EnableUnitFiles"), QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
         QStringLiteral("Interactive authentication required."), {}},
        {QStringLiteral("EnableUnitFiles"), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
         QStringLiteral("Access denied"), {}},
        {QStringLiteral("Reload"), QStringLiteral("org.freedesktop.DBus.Error.Failed"),
         QStringLiteral("Reload failed: too many reloads"),
         {QStringLiteral("EnableUnitFiles staywake-lidhelper.socket runtime=False force=True")}},
    };
    SystemdLidHelperRegistration registration(systemd.bus());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        systemd.failNext(c.method, c.errorName, c.message);
        EXPECT_EQ(registerAndWait(registration), std::optional(c.message.toStdString()));
        EXPECT_EQ(systemd.takeCalls(), c.calls);
    }
}

std::optional<std::optional<std::string>> approveAndWait(const SystemdLidHelperRegistration& registration) {
    std::optional<std::optional<std::string>> outcome;
    registration.approve([&](std::optional<std::string> error) { outcome = std::move(error); });
    runUntil([&] { return outcome.has_value(); });
    return outcome;
}

TEST_F(SystemdLidHelperRegistrationTest, ApprovingUnmasksBothUnitsEnablesTheSocketAndReloadsInTurn) {
    const QString unmask =
        QStringLiteral("UnmaskUnitFiles staywake-lidhelper.socket staywake-lidhelper.service runtime=False");
    const QString enable = QStringLiteral("EnableUnitFiles staywake-lidhelper.socket runtime=False force=True");
    struct Case {
        QString failing; // empty: every step succeeds
        std::optional<std::string> error;
        QStringList calls;
    };
    const std::vector<Case> cases = {
        {QString(), std::nullopt, {unmask, enable, QStringLiteral("Reload")}},
        {QStringLiteral("UnmaskUnitFiles"), "Authentication is required.", {}},
        {QStringLiteral("EnableUnitFiles"), "Authentication is required.", {unmask}},
        {QStringLiteral("Reload"), "Authentication is required.", {unmask, enable}},
    };
    const SystemdLidHelperRegistration registration(systemd.bus());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing.toStdString());
        systemd.setUnitFileState(QStringLiteral("masked"));
        systemd.setUnitFileState(QStringLiteral("masked"), QStringLiteral("staywake-lidhelper.service"));
        if (!c.failing.isEmpty()) {
            systemd.failNext(c.failing, QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
                             QStringLiteral("Authentication is required."));
        }
        systemd.takeCalls();
        EXPECT_EQ(approveAndWait(registration), std::optional<std::optional<std::string>>(c.error));
        EXPECT_EQ(systemd.takeCalls(), c.calls);
    }
}


TEST_F(SystemdLidHelperRegistrationTest, TheClientReportsWhatARegistrationAttemptLeaves) {
    struct Case {
        QString stateBefore; // empty: no unit file
        QString stateAfterEnable;
        std::optional<std::string> expectedError; // what() of what prepare() throws
        QStringList calls;
    };
    const std::string approval = LidSleepBlockerError::helperRequiresApproval().what();
    const QString read = QStringLiteral("GetUnitFileState staywake-lidhelper.socket");
    const QString enable = QStringLiteral("EnableUnitFiles staywake-lidhelper.socket runtime=False force=True");
    const std::vector<Case> cases = {
        {QStringLiteral("enabled"), QStringLiteral("enabled"), std::nullopt, {read}},
        {QStringLiteral("masked"), QStringLiteral("masked"), approval, {read}},
        {QStringLiteral("disabled"), QStringLiteral("enabled"), std::nullopt,
         {read, enable, QStringLiteral("Reload"), read}},
        {QStringLiteral("disabled"), QStringLiteral("masked"), approval,
         {read, enable, QStringLiteral("Reload"), read}},
        {QString(), QStringLiteral("enabled"), "Unit file staywake-lidhelper.socket does not exist.",
         {read, enable, read}},
    };
    const auto requirement = LidHelperService::codeRequirement(LidHelperService::label, std::string("ABCDE12345"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stateBefore.toStdString() + " -> " + c.stateAfterEnable.toStdString());
        systemd.setUnitFileState(c.stateBefore);
        systemd.setStateAfterEnable(c.stateAfterEnable);
        systemd.takeCalls();
        SocketLidSleepBlocker client(std::make_shared<SystemdLidHelperRegistration>(systemd.bus()), requirement,
                                     2.0, std::make_shared<NoMainRunLoop>(), {});
        std::optional<std::optional<std::string>> answered;
        client.prepare([&](std::exception_ptr error) { answered = textOf(error); });
        ASSERT_TRUE(runUntil([&] { return answered.has_value(); }));
        EXPECT_EQ(*answered, c.expectedError);
        EXPECT_EQ(systemd.takeCalls(), c.calls);
    }
}

} // namespace
} // namespace staywake
