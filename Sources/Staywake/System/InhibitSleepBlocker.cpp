#include "Staywake/System/InhibitSleepBlocker.h"

#include "StaywakeCore/Awake/SleepBlocker.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>
#include <utility>

namespace staywake {

namespace {

// Long enough for the portal to be started on demand, short enough that a hung
// service does not freeze the panel for Qt's default 25 s.
constexpr int callTimeoutMilliseconds = 5000;
constexpr unsigned portalSuspendFlag = 4;

using LockFailure = InhibitSleepBlocker::LockFailure;

LockFailure failureOf(const QDBusMessage& reply) {
    const QDBusError error = reply.type() == QDBusMessage::ErrorMessage ? QDBusError(reply) : QDBusError();
    // Qt has no type of its own for this one.
    if (error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return LockFailure::serviceMissing;
    }
    switch (error.type()) {
    case QDBusError::Disconnected:
        return LockFailure::busUnavailable;
    case QDBusError::ServiceUnknown:
        return LockFailure::serviceMissing;
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
        return LockFailure::callUnsupported;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return LockFailure::noAnswer;
    case QDBusError::NoError:
        return LockFailure::badAnswer;
    default:
        return LockFailure::refused;
    }
}

} // namespace

InhibitSleepBlocker::InhibitSleepBlocker(QDBusConnection sessionBus, QDBusConnection systemBus,
                                         QString reason)
    : sessionBus_(std::move(sessionBus)), systemBus_(std::move(systemBus)), reason_(std::move(reason)) {}

InhibitSleepBlocker::~InhibitSleepBlocker() {
    release();
}

bool InhibitSleepBlocker::isEngaged() const {
    return logindLock_.has_value() || portalRequest_.has_value();
}

void InhibitSleepBlocker::engage() {
    if (isEngaged()) {
        return;
    }
    const auto logind = takeLogindLock();
    const auto portal = takePortalInhibition();
    if (logind && portal) {
        throw SleepBlockerError::assertionFailed(failureCode(*logind, *portal));
    }
}

void InhibitSleepBlocker::release() {
    if (portalRequest_) {
        // Fire and forget: release never fails or waits, and the portal also
        // drops the inhibition when this connection goes away.
        auto close = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), *portalRequest_,
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
        close.setAutoStartService(false);
        sessionBus_.send(close);
        portalRequest_.reset();
    }
    // The reply that carried the descriptor is gone by now, so this is the
    // last copy: logind sees the lock end as soon as it is closed.
    logindLock_.reset();
}

std::optional<LockFailure> InhibitSleepBlocker::takeLogindLock() {
    if (!systemBus_.isConnected()) {
        return LockFailure::busUnavailable;
    }
    auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("idle") << QStringLiteral("Staywake") << reason_ << QStringLiteral("block");
    const QDBusMessage reply = systemBus_.call(call, QDBus::Block, callTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return failureOf(reply);
    }
    auto lock = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!lock.isValid()) {
        return LockFailure::badAnswer;
    }
    logindLock_ = std::move(lock);
    return std::nullopt;
}

std::optional<LockFailure> InhibitSleepBlocker::takePortalInhibition() {
    if (!sessionBus_.isConnected()) {
        return LockFailure::busUnavailable;
    }
    auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    const QVariantMap options{
        {QStringLiteral("reason"), reason_},
        {QStringLiteral("handle_token"), QStringLiteral("staywake%1").arg(++requestCount_)},
    };
    call << QString() << portalSuspendFlag << options;
    const QDBusMessage reply = sessionBus_.call(call, QDBus::Block, callTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return failureOf(reply);
    }
    const auto request = qdbus_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    if (request.isEmpty() || request == QStringLiteral("/")) {
        return LockFailure::badAnswer;
    }
    portalRequest_ = request;
    return std::nullopt;
}

} // namespace staywake
