#include "MockBuses.h"
#include "Staywake/Lid/SystemdLidHelperRegistration.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"
#include "Support/Fakes/ManualScheduling.h"
#include "Support/TestSupport.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace staywake {
namespace {

using testing::MockBuses;
using testing::waitUntil;
using Outcome = std::optional<std::string>; // the error's text; nothing for success

const QString unit = QStringLiteral("staywake-lidhelper.socket");
const QString read = QStringLiteral("GetUnitFileState staywake-lidhelper.socket");
const QString enable = QStringLiteral("EnableUnitFiles staywake-lidhelper.socket runtime=False force=True");
const QString unmask =
    QStringLiteral("UnmaskUnitFiles staywake-lidhelper.socket staywake-lidhelper.service runtime=False");
const QString reload = QStringLiteral("Reload");
const QString authorization = QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired");

Outcome textOf(const std::exception_ptr& error) {
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const std::exception& thrown) {
        return thrown.what();
    }
    return std::nullopt;
}

/// A mocked systemd on a private system bus; the lid helper's socket unit is
/// disabled and listening, and no call is recorded yet.
class SystemdLidHelperRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (buses.isMissingATool()) {
            STAYWAKE_SKIP(buses.failure().toStdString());
        }
        ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
        control(QStringLiteral("SetUnitFileState"), {unit, QStringLiteral("disabled")});
        setListening(true);
        control(QStringLiteral("TakeCalls"), {});
    }

    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments,
                      const QString& path = QStringLiteral("/org/freedesktop/systemd1")) const {
        auto message =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.systemd1"), path, interface, method);
        message.setArguments(arguments);
        const auto reply = buses.systemBus().call(message, QDBus::Block, 20000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method.toStdString();
        return reply;
    }
    /// The mock's own controls: SetUnitFileState, FailNext, SetStateAfterEnable, TakeCalls.
    QVariant control(const QString& method, const QVariantList& arguments) const {
        return call(QStringLiteral("com.staywake.Test"), method, arguments).arguments().value(0);
    }
    QStringList takeCalls() const { return control(QStringLiteral("TakeCalls"), {}).toStringList(); }
    /// Starts or stops the socket as systemd would, outside the registration.
    void setListening(bool listening) const {
        call(QStringLiteral("org.freedesktop.systemd1.Manager"),
             listening ? QStringLiteral("StartUnit") : QStringLiteral("StopUnit"),
             {unit, QStringLiteral("replace")});
    }
    QString activeState() const {
        return call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                    {QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState")},
                    QStringLiteral("/org/freedesktop/systemd1/unit/staywake_lidhelper_socket"))
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant()
            .toString();
    }
    std::optional<LidHelperStatus> statusOf(const SystemdLidHelperRegistration& which) const {
        std::optional<LidHelperStatus> status;
        which.readStatus([&](LidHelperStatus answer) { status = answer; });
        waitUntil([&] { return status.has_value(); });
        return status;
    }

    MockBuses buses{MockBuses::Options{.logind = false, .upower = false, .portal = false, .systemd = true}};
    SystemdLidHelperRegistration registration{buses.systemBus()};
};

TEST_F(SystemdLidHelperRegistrationTest, ReadsTheStatusFromTheUnitFileStateAskingEachTime) {
    const struct {
        QString state;     // empty: no unit file at all
        QString readError; // the read fails with this error instead
        LidHelperStatus expected;
    } cases[] = {
        {QStringLiteral("enabled"), {}, LidHelperStatus::enabled},
        {QStringLiteral("enabled-runtime"), {}, LidHelperStatus::enabled},
        {QStringLiteral("static"), {}, LidHelperStatus::enabled},
        {QStringLiteral("indirect"), {}, LidHelperStatus::enabled},
        {QStringLiteral("alias"), {}, LidHelperStatus::enabled},
        {QStringLiteral("linked"), {}, LidHelperStatus::enabled},
        {QStringLiteral("disabled"), {}, LidHelperStatus::notRegistered},
        {QStringLiteral("masked"), {}, LidHelperStatus::requiresApproval},
        {QStringLiteral("masked-runtime"), {}, LidHelperStatus::requiresApproval},
        {QStringLiteral("bad"), {}, LidHelperStatus::notRegistered},
        {QStringLiteral("a-state-of-a-later-systemd"), {}, LidHelperStatus::notRegistered},
        {QString(), {}, LidHelperStatus::notFound},
        {QStringLiteral("enabled"), QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
         LidHelperStatus::notFound},
        {QStringLiteral("enabled"), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
         LidHelperStatus::notRegistered},
        {QStringLiteral("enabled"), QStringLiteral("org.freedesktop.DBus.Error.Failed"),
         LidHelperStatus::notRegistered},
    };
    qsizetype answered = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state.toStdString() + " " + c.readError.toStdString());
        answered += c.readError.isEmpty() ? 1 : 0;
        control(QStringLiteral("SetUnitFileState"), {unit, c.state});
        if (!c.readError.isEmpty()) {
            control(QStringLiteral("FailNext"),
                    {QStringLiteral("GetUnitFileState"), c.readError, QStringLiteral("no")});
        }
        EXPECT_EQ(statusOf(registration), c.expected);
    }
    EXPECT_EQ(takeCalls().size(), answered) << "nothing is cached";

    // An enabled socket that does not listen was registered only in part.
    control(QStringLiteral("SetUnitFileState"), {unit, QStringLiteral("enabled")});
    setListening(false);
    EXPECT_EQ(statusOf(registration), LidHelperStatus::notRegistered);
}

TEST_F(SystemdLidHelperRegistrationTest, RegisteringAndApprovingTakeTheirStepsInTurnAndStopAtAFailure) {
    enum class Act { registering, approving };
    const struct {
        Act act;
        QString failing; // empty: every step succeeds
        QString message;
        QStringList calls;
    } cases[] = {
        {Act::registering, {}, {}, {enable, reload}},
        {Act::registering,
         QStringLiteral("EnableUnitFiles"),
         QStringLiteral("Interactive authentication required."),
         {}},
        {Act::registering, QStringLiteral("Reload"), QStringLiteral("Reload failed: too many reloads"), {enable}},
        {Act::approving, {}, {}, {unmask, enable, reload}},
        {Act::approving, QStringLiteral("UnmaskUnitFiles"), QStringLiteral("Authentication is required."), {}},
        {Act::approving,
         QStringLiteral("EnableUnitFiles"),
         QStringLiteral("Authentication is required."),
         {unmask}},
        {Act::approving,
         QStringLiteral("Reload"),
         QStringLiteral("Authentication is required."),
         {unmask, enable}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.act == Act::registering ? "registering, " : "approving, ") + c.failing.toStdString());
        const QString state = c.act == Act::registering ? QStringLiteral("disabled") : QStringLiteral("masked");
        control(QStringLiteral("SetUnitFileState"), {unit, state});
        control(QStringLiteral("SetUnitFileState"), {QStringLiteral("staywake-lidhelper.service"), state});
        setListening(false);
        if (!c.failing.isEmpty()) {
            control(QStringLiteral("FailNext"), {c.failing, authorization, c.message});
        }
        control(QStringLiteral("TakeCalls"), {});
        std::optional<Outcome> outcome;
        if (c.act == Act::registering) {
            registration.registerHelper([&](std::exception_ptr error) { outcome = textOf(error); });
        } else {
            registration.approve([&](Outcome error) { outcome = std::move(error); });
        }
        ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
        EXPECT_EQ(*outcome, c.failing.isEmpty() ? Outcome() : Outcome(c.message.toStdString()));
        EXPECT_EQ(takeCalls(), c.calls);
        if (c.act == Act::registering && c.failing.isEmpty()) {
            EXPECT_EQ(activeState(), QStringLiteral("active"));
            EXPECT_EQ(statusOf(registration), LidHelperStatus::enabled);
        }
    }

    // Without a bus the status reads as not registered, and registering fails.
    SystemdLidHelperRegistration nowhere(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere")));
    EXPECT_EQ(statusOf(nowhere), LidHelperStatus::notRegistered);
    std::optional<Outcome> outcome;
    nowhere.registerHelper([&](std::exception_ptr error) { outcome = textOf(error); });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    EXPECT_NE(*outcome, std::nullopt);
}

TEST_F(SystemdLidHelperRegistrationTest, TheClientReportsWhatARegistrationAttemptLeaves) {
    const std::string approval = LidSleepBlockerError::helperRequiresApproval().what();
    const struct {
        QString stateBefore; // empty: no unit file
        bool listening;
        QString stateAfterEnable;
        Outcome expectedError; // what() of what prepare() throws
        QStringList calls;
    } cases[] = {
        {QStringLiteral("enabled"), true, QStringLiteral("enabled"), std::nullopt, {read}},
        {QStringLiteral("enabled"), false, QStringLiteral("enabled"), std::nullopt, {read, enable, reload, read}},
        {QStringLiteral("masked"), true, QStringLiteral("masked"), approval, {read}},
        {QStringLiteral("disabled"), true, QStringLiteral("enabled"), std::nullopt, {read, enable, reload, read}},
        {QStringLiteral("disabled"), true, QStringLiteral("masked"), approval, {read, enable, reload, read}},
        {QString(),
         true,
         QStringLiteral("enabled"),
         "Unit file staywake-lidhelper.socket does not exist.",
         {read, enable, read}},
    };
    const auto requirement = LidHelperService::codeRequirement(LidHelperService::label, std::string("ABCDE12345"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stateBefore.toStdString() + (c.listening ? "" : " not listening") + " -> " +
                     c.stateAfterEnable.toStdString());
        control(QStringLiteral("SetUnitFileState"), {unit, c.stateBefore});
        setListening(c.listening);
        control(QStringLiteral("SetStateAfterEnable"), {unit, c.stateAfterEnable});
        control(QStringLiteral("TakeCalls"), {});
        const auto loop = std::make_shared<testing::ManualMainRunLoop>();
        SocketLidSleepBlocker client(std::make_shared<SystemdLidHelperRegistration>(buses.systemBus()),
                                     requirement, 2.0, loop, {});
        std::optional<Outcome> answered;
        client.prepare([&](std::exception_ptr error) { answered = textOf(error); });
        ASSERT_TRUE(waitUntil([&] { return answered.has_value(); }));
        EXPECT_EQ(*answered, c.expectedError);
        EXPECT_EQ(takeCalls(), c.calls);
        EXPECT_TRUE(loop->queued.empty()) << "preparing sends nothing, so it never needs the main loop";
        if (!c.expectedError) {
            EXPECT_EQ(activeState(), QStringLiteral("active"));
        }
    }
}

} // namespace
} // namespace staywake
