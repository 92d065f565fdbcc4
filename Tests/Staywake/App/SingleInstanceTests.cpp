#include "Staywake/App/SingleInstance.h"

#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace staywake {
namespace {

using Claim = SingleInstance::Claim;

TEST(SingleInstance, ASecondLaunchAndTheDesktopsOpenCallActivateTheFirst) {
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
        auto open = QDBusMessage::createMethodCall(
            QString::fromLatin1(SingleInstance::serviceName), QString::fromLatin1(SingleInstance::objectPath),
            QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
        open.setArguments({QStringList{QStringLiteral("file:///tmp/x")}, QVariantMap()});
        EXPECT_EQ(bus.call(open, QDBus::BlockWithGui, 5000).type(), QDBusMessage::ReplyMessage);
        EXPECT_EQ(activations, 2);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("staywake-second-launch"));
    SingleInstance alone(QDBusConnection(QStringLiteral("staywake-no-such-connection")));
    EXPECT_EQ(alone.claim(), Claim::noBus);
}

} // namespace
} // namespace staywake
