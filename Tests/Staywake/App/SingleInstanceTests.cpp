#include "Staywake/App/SingleInstance.h"

#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace staywake {
namespace {

using Claim = SingleInstance::Claim;

TEST(SingleInstance, ASecondLaunchActivatesTheFirstAndAnswersOnlyToTheApplicationInterface) {
    testing::MockBuses buses({.logind = false, .upower = false, .portal = false});
    STAYWAKE_REQUIRE_BUSES(buses);
    SingleInstance first(buses.sessionBus());
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activated, [&] { ++activations; });
    ASSERT_EQ(first.claim(), Claim::owned);
    {
        auto bus = QDBusConnection::connectToBus(QString::fromStdString(buses.sessionAddress()),
                                                 QStringLiteral("staywake-second-launch"));
        SingleInstance second(bus);
        EXPECT_EQ(second.claim(), Claim::activatedOther);
        EXPECT_EQ(activations, 1);
        EXPECT_EQ(bus.interface()->serviceOwner(QString::fromLatin1(SingleInstance::serviceName)).value(),
                  buses.sessionBus().baseService());
        const auto call = [&](const QString& method, const QVariantList& arguments) {
            auto message = QDBusMessage::createMethodCall(QString::fromLatin1(SingleInstance::serviceName),
                                                          QString::fromLatin1(SingleInstance::objectPath),
                                                          QStringLiteral("org.freedesktop.Application"), method);
            message.setArguments(arguments);
            return bus.call(message, QDBus::BlockWithGui, 5000).type();
        };
        EXPECT_EQ(call(QStringLiteral("Open"), {QStringList{QStringLiteral("file:///tmp/x")}, QVariantMap()}),
                  QDBusMessage::ReplyMessage);
        EXPECT_EQ(activations, 2);
        EXPECT_EQ(call(QStringLiteral("ActivateAction"), {QStringLiteral("quit"), QVariantList(), QVariantMap()}),
                  QDBusMessage::ErrorMessage);
        EXPECT_EQ(activations, 2);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("staywake-second-launch"));
    SingleInstance alone(QDBusConnection(QStringLiteral("staywake-no-such-connection")));
    EXPECT_EQ(alone.claim(), Claim::noBus);
}

} // namespace
} // namespace staywake
