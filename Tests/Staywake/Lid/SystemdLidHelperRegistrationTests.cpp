#include "Staywake/Lid/SystemdLidHelperRegistration.h"
#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QDBusMessage>
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
        STAYWAKE_REQUIRE_BUSES(buses);
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
    std::optional<LidHelperStatus> statusOf(const SystemdLidHelperRegistration& which) const {
        std::optional<LidHelperStatus> status;
        which.readStatus([&](LidHelperStatus answer) { status = answer; });
        waitUntil([&] { return status.has_value(); });
        return status;
    }

    MockBuses buses{MockBuses::Options{.logind = false, .upower = false, .portal = false, .systemd = true}};
    SystemdLidHelperRegistration registration{buses.systemBus()};
};

TEST(SystemdLidHelperRegistration, ReadsTheStatusFromTheUnitFileStateTheErrorAndTheSocketsActiveState) {
    for (const char* state : {"enabled", "enabled-runtime", "static", "indirect", "alias", "linked"}) {
        EXPECT_EQ(SystemdLidHelperRegistration::statusForUnitFileState(state), LidHelperStatus::enabled) << state;
    }
    for (const char* state : {"masked", "masked-runtime"}) {
        EXPECT_EQ(SystemdLidHelperRegistration::statusForUnitFileState(state), LidHelperStatus::requiresApproval);
    }
    for (const char* state : {"disabled", "bad", "a-state-of-a-later-systemd", ""}) {
        EXPECT_EQ(SystemdLidHelperRegistration::statusForUnitFileState(state), LidHelperStatus::notRegistered);
    }
    for (const char* error : {"org.freedesktop.systemd1.NoSuchUnit", "org.freedesktop.DBus.Error.FileNotFound"}) {
        EXPECT_TRUE(SystemdLidHelperRegistration::meansNoSuchUnit(error)) << error;
    }
    EXPECT_FALSE(SystemdLidHelperRegistration::meansNoSuchUnit("org.freedesktop.DBus.Error.AccessDenied"));
    for (const char* state : {"active", "reloading", "activating"}) {
        EXPECT_TRUE(SystemdLidHelperRegistration::isListening(state)) << state;
    }
    for (const char* state : {"inactive", "failed", "deactivating"}) {
        EXPECT_FALSE(SystemdLidHelperRegistration::isListening(state)) << state;
    }
}

TEST_F(SystemdLidHelperRegistrationTest,
       AsksSystemdEachTimeAndReadsAnEnabledSocketThatDoesNotListenAsNotRegistered) {
    const struct {
        QString state;     // empty: no unit file at all
        QString readError; // the read fails with this error instead
        bool listening;
        LidHelperStatus expected;
    } cases[] = {
        {QStringLiteral("enabled"), {}, true, LidHelperStatus::enabled},
        {QStringLiteral("enabled"), {}, false, LidHelperStatus::notRegistered},
        {QStringLiteral("masked"), {}, true, LidHelperStatus::requiresApproval},
        {QString(), {}, true, LidHelperStatus::notFound},
        {QStringLiteral("enabled"), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), true,
         LidHelperStatus::notRegistered},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state.toStdString() + " " + c.readError.toStdString() +
                     (c.listening ? "" : " not listening"));
        control(QStringLiteral("SetUnitFileState"), {unit, c.state});
        setListening(c.listening);
        if (!c.readError.isEmpty()) {
            control(QStringLiteral("FailNext"),
                    {QStringLiteral("GetUnitFileState"), c.readError, QStringLiteral("no")});
        }
        control(QStringLiteral("TakeCalls"), {});
        EXPECT_EQ(statusOf(registration), c.expected);
        EXPECT_EQ(takeCalls().value(0), c.readError.isEmpty() ? read : QString()) << "nothing is cached";
    }
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
        {Act::registering, QStringLiteral("Reload"), QStringLiteral("Reload failed: too many reloads"), {enable}},
        {Act::approving, {}, {}, {unmask, enable, reload}},
        {Act::approving, QStringLiteral("UnmaskUnitFiles"), QStringLiteral("Authentication is required."), {}},
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
            EXPECT_EQ(statusOf(registration), LidHelperStatus::enabled) << "enabled and listening";
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

} // namespace
} // namespace staywake
