#include "Staywake/App/DesktopNotice.h"

#include "Staywake/App/AppLog.h"
#include <QCoreApplication>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace staywake {

namespace {

/// A notification daemon may first have to be started by the bus.
constexpr int notifyTimeoutMilliseconds = 10000;

} // namespace

DesktopNotice::DesktopNotice(QDBusConnection sessionBus, Fallback fallback, QObject* parent)
    : QObject(parent), bus_(std::move(sessionBus)), fallback_(std::move(fallback)) {}

void DesktopNotice::show(const QString& sentence) {
    if (!bus_.isConnected()) {
        fallback_(sentence);
        return;
    }
    auto notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString title = QCoreApplication::translate("Localizable", "Staywake");
    notify << title << uint(0) << QStringLiteral("com.staywake.app") << title << sentence << QStringList()
           << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("com.staywake.app")}} << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify, notifyTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, sentence] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            qCInfo(appLog) << "no desktop notification:" << reply.error().message();
            fallback_(sentence);
            return;
        }
        emit delivered(reply.value());
    });
}

} // namespace staywake
