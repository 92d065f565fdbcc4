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

std::optional<LidHelperStatus> statusOf(const SystemdLidHelperRegistration& which) {
    std::optional<LidHelperStatus> status;
    which.readStatus([&](LidHelperStatus answer) { status = answer; });
    waitUntil([&] { return status.has_value(); });
    return status;
}

/// A mocked systemd on a private system bus, steered through its com.staywake.Test controls.
class SystemdLidHelperRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { STAYWAKE_REQUIRE_BUSES(buses); }

    QVariant call(const QString& interface, const QString& method, const QVariantList& arguments) const {
        auto message =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.systemd1"),
                                           QStringLiteral("/org/freedesktop/systemd1"), interface, method);
        message.setArguments(arguments);
        const auto reply = buses.systemBus().call(message, QDBus::Block, 20000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method.toStdString();
        return reply.arguments().value(0);
    }
    QVariant control(const QString& method, const QVariantList& arguments = {}) const {
        return call(QStringLiteral("com.staywake.Test"), method, arguments);
    }
    /// The unit files' state, the socket started or stopped as systemd would, and no call recorded.
    void given(const QString& state, bool listening, const QString& failing = {}, const QString& error = {},
               const QString& message = {}) const {
        control(QStringLiteral("SetUnitFileState"), {unit, state});
        control(QStringLiteral("SetUnitFileState"), {QStringLiteral("staywake-lidhelper.service"), state});
        call(QStringLiteral("org.freedesktop.systemd1.Manager"),
             listening ? QStringLiteral("StartUnit") : QStringLiteral("StopUnit"),
             {unit, QStringLiteral("replace")});
        if (!failing.isEmpty()) {
            control(QStringLiteral("FailNext"), {failing, error, message});
        }
        control(QStringLiteral("TakeCalls"));
    }

    MockBuses buses{MockBuses::Options{.logind = false, .upower = false, .portal = false, .systemd = true}};
    SystemdLidHelperRegistration registration{buses.systemBus()};
};

// One state of each outcome that the mocked systemd below does not reach.
TEST(SystemdLidHelperRegistration, ReadsTheStatusFromTheUnitFileStateTheErrorAndTheSocketsActiveState) {
    using Registration = SystemdLidHelperRegistration;
    EXPECT_EQ(Registration::statusForUnitFileState("static"), LidHelperStatus::enabled);
    EXPECT_EQ(Registration::statusForUnitFileState("masked-runtime"), LidHelperStatus::requiresApproval);
    EXPECT_EQ(Registration::statusForUnitFileState("bad"), LidHelperStatus::notRegistered);
    EXPECT_TRUE(Registration::meansNoSuchUnit("org.freedesktop.systemd1.NoSuchUnit"));
    EXPECT_TRUE(Registration::isListening("activating"));
    EXPECT_FALSE(Registration::isListening("deactivating"));
}

TEST_F(SystemdLidHelperRegistrationTest,
       AsksSystemdEachTimeAndReadsAnEnabledSocketThatDoesNotListenAsNotRegistered) {
    const struct {
        QString state;     // empty: no unit file at all
        QString readError; // the read fails with this error instead
        bool listening;
        LidHelperStatus expected;
    } cases[] = {
        {"enabled", {}, true, LidHelperStatus::enabled},
        {"enabled", {}, false, LidHelperStatus::notRegistered},
        {{}, {}, true, LidHelperStatus::notFound},
        {"enabled", "org.freedesktop.DBus.Error.AccessDenied", true, LidHelperStatus::notRegistered},
    };
    for (const auto& c : cases) {
        given(c.state, c.listening, c.readError.isEmpty() ? QString() : QStringLiteral("GetUnitFileState"),
              c.readError, QStringLiteral("no"));
        EXPECT_EQ(statusOf(registration), c.expected) << c.state.toStdString() << c.readError.toStdString();
        EXPECT_EQ(control(QStringLiteral("TakeCalls")).toStringList().value(0),
                  c.readError.isEmpty() ? read : QString())
            << "nothing is cached";
    }
}

TEST_F(SystemdLidHelperRegistrationTest, RegisteringAndApprovingTakeTheirStepsInTurnAndStopAtAFailure) {
    const QString reload = QStringLiteral("Reload");
    const QString authorization = QStringLiteral("Authentication is required.");
    const struct {
        bool approving;
        QString failing; // empty: every step succeeds
        QString message;
        QStringList calls;
    } cases[] = {
        {false, {}, {}, {enable, reload}},
        {false, reload, "Reload failed: too many reloads", {enable}},
        {true, {}, {}, {unmask, enable, reload}},
        {true, "UnmaskUnitFiles", authorization, {}},
        {true, reload, authorization, {unmask, enable}},
    };
    for (const auto& c : cases) {
        given(c.approving ? QStringLiteral("masked") : QStringLiteral("disabled"), false, c.failing,
              QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"), c.message);
        std::optional<Outcome> outcome;
        if (c.approving) {
            registration.approve([&](Outcome error) { outcome = std::move(error); });
        } else {
            registration.registerHelper([&](std::exception_ptr error) { outcome = textOf(error); });
        }
        ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
        EXPECT_EQ(*outcome, c.failing.isEmpty() ? Outcome() : Outcome(c.message.toStdString()));
        EXPECT_EQ(control(QStringLiteral("TakeCalls")).toStringList(), c.calls) << c.failing.toStdString();
        if (!c.approving && c.failing.isEmpty()) {
            EXPECT_EQ(statusOf(registration), LidHelperStatus::enabled) << "enabled and listening";
        }
    }

    // Without a bus no answer ever comes: the status reads as not registered, and registering fails.
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
