#include "Staywake/System/InhibitSleepBlocker.h"

#include "StaywakeCore/Awake/SleepBlocker.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>
#include <atomic>
#include <utility>

namespace staywake {

namespace {

// Long enough for the portal to be started on demand, short enough that a hung
// service does not freeze the panel for Qt's default 25 s.
constexpr int callTimeoutMilliseconds = 5000;
constexpr unsigned portalSuspendFlag = 4;
const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");

using LockFailure = InhibitSleepBlocker::LockFailure;

// The portal makes its Request object's path from the caller's bus name and
// this token, which the caller is to keep unique: every blocker on a
// connection (the awake session, each holder of the control interface) needs
// tokens of its own, so the count is the process's, not the blocker's.
std::atomic<unsigned> requestCount{0};

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

InhibitSleepBlocker::InhibitSleepBlocker(QDBusConnection sessionBus, QDBusConnection systemBus, QString reason)
    : sessionBus_(std::move(sessionBus)), systemBus_(std::move(systemBus)), reason_(std::move(reason)) {}

void InhibitSleepBlocker::watchGivers() {
    if (logindWatcher_) {
        return;
    }
    logindWatcher_ =
        std::make_unique<QDBusServiceWatcher>(logindService, systemBus_, QDBusServiceWatcher::WatchForOwnerChange);
    portalWatcher_ = std::make_unique<QDBusServiceWatcher>(portalService, sessionBus_,
                                                           QDBusServiceWatcher::WatchForOwnerChange);
    // The watchers die with this object, and their connections with them.
    QObject::connect(logindWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, logindWatcher_.get(),
                     [this](const QString&, const QString&, const QString& newOwner) {
                         ownerChanged(logindLock_, logindGiver_, newOwner, &InhibitSleepBlocker::takeLogindLock,
                                      "logind");
                     });
    QObject::connect(portalWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, portalWatcher_.get(),
                     [this](const QString&, const QString&, const QString& newOwner) {
                         ownerChanged(portalRequest_, portalGiver_, newOwner,
                                      &InhibitSleepBlocker::takePortalInhibition, "the desktop portal");
                     });
}

InhibitSleepBlocker::~InhibitSleepBlocker() { release(); }

bool InhibitSleepBlocker::isEngaged() const { return logindLock_.has_value() || portalRequest_.has_value(); }

void InhibitSleepBlocker::engage() {
    if (isEngaged()) {
        return;
    }
    // Watched from the first engage on, before the first lock is asked for,
    // so that no restart after it goes unseen.
    watchGivers();
    auto logindCall = askLogind();
    auto portalCall = askPortal();
    // Either lock alone keeps the machine awake, and a service holds its lock
    // from the moment it handles the call, answered or not. So once the
    // portal, the desktop's own service, has inhibited, logind's answer is
    // kept when it comes rather than awaited: logind asks polkit first, and
    // the caller (a restored session at start, a click in the panel) does
    // not wait on that.
    const auto portal = settle(std::move(portalCall), &InhibitSleepBlocker::keepPortalInhibition);
    std::optional<LockFailure> logind;
    if (!portal && logindCall) {
        keepLogindLockWhenAnswered(std::move(*logindCall));
    } else {
        logind = settle(std::move(logindCall), &InhibitSleepBlocker::keepLogindLock);
    }
    if (logind && portal) {
        throw SleepBlockerError::assertionFailed(failureCode(*logind, *portal));
    }
    wanted_ = true;
}

void InhibitSleepBlocker::keepLogindLockWhenAnswered(QDBusPendingCall asked) {
    logindAnswer_ = std::make_unique<QDBusPendingCallWatcher>(std::move(asked));
    QObject::connect(logindAnswer_.get(), &QDBusPendingCallWatcher::finished, logindAnswer_.get(),
                     [this](QDBusPendingCallWatcher* answered) {
                         logindAnswer_.release()->deleteLater();
                         // Released meanwhile, or a lock taken since from a
                         // restarted logind: this descriptor closes with the
                         // answer, which gives the lock back.
                         if (!wanted_ || logindLock_) {
                             return;
                         }
                         if (const auto failure = keepLogindLock(answered->reply())) {
                             qWarning("Staywake: logind gave no idle lock (failure %d); the desktop portal's "
                                      "inhibition holds alone",
                                      static_cast<int>(*failure));
                         }
                     });
}

void InhibitSleepBlocker::release() {
    wanted_ = false;
    // An answer still to come is dropped with its watcher, and its descriptor
    // with it.
    logindAnswer_.reset();
    if (portalRequest_) {
        // Fire and forget: release never fails or waits, and the portal also
        // drops the inhibition when this connection goes away.
        auto close = QDBusMessage::createMethodCall(portalService, *portalRequest_,
                                                    QStringLiteral("org.freedesktop.portal.Request"),
                                                    QStringLiteral("Close"));
        close.setAutoStartService(false);
        sessionBus_.send(close);
        portalRequest_.reset();
    }
    // The reply that carried the descriptor is gone by now, so this is the
    // last copy: logind sees the lock end as soon as it is closed.
    logindLock_.reset();
}

template <typename Lock>
void InhibitSleepBlocker::ownerChanged(std::optional<Lock>& lock, const QString& giver, const QString& newOwner,
                                       std::optional<LockFailure> (InhibitSleepBlocker::*take)(),
                                       const char* service) {
    // The lock was the old service's and ended with it, whatever its
    // descriptor or Request object says; nothing to give back. A service
    // started by the very call that took the lock is announced after the
    // answer: that lock stays.
    if (lock && giver != newOwner) {
        lock.reset();
    }
    if (wanted_ && !lock && !newOwner.isEmpty()) {
        if (const auto failure = (this->*take)()) {
            qWarning("Staywake: %s restarted and refused a new lock (failure %d)", service,
                     static_cast<int>(*failure));
        }
    }
}

std::optional<LockFailure> InhibitSleepBlocker::takeLogindLock() {
    return settle(askLogind(), &InhibitSleepBlocker::keepLogindLock);
}

std::optional<LockFailure> InhibitSleepBlocker::takePortalInhibition() {
    return settle(askPortal(), &InhibitSleepBlocker::keepPortalInhibition);
}

std::optional<LockFailure>
InhibitSleepBlocker::settle(std::optional<QDBusPendingCall> asked,
                            std::optional<LockFailure> (InhibitSleepBlocker::*keep)(const QDBusMessage&)) {
    if (!asked) {
        return LockFailure::busUnavailable;
    }
    // Blocks without running the event loop, as a blocking call does.
    asked->waitForFinished();
    return (this->*keep)(asked->reply());
}

std::optional<QDBusPendingCall> InhibitSleepBlocker::askLogind() {
    if (!systemBus_.isConnected()) {
        return std::nullopt;
    }
    auto call = QDBusMessage::createMethodCall(logindService, QStringLiteral("/org/freedesktop/login1"),
                                               QStringLiteral("org.freedesktop.login1.Manager"),
                                               QStringLiteral("Inhibit"));
    call << QStringLiteral("idle") << QStringLiteral("Staywake") << reason_ << QStringLiteral("block");
    return systemBus_.asyncCall(call, callTimeoutMilliseconds);
}

std::optional<LockFailure> InhibitSleepBlocker::keepLogindLock(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return failureOf(reply);
    }
    auto lock = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!lock.isValid()) {
        return LockFailure::badAnswer;
    }
    logindLock_ = std::move(lock);
    logindGiver_ = reply.service();
    return std::nullopt;
}

std::optional<QDBusPendingCall> InhibitSleepBlocker::askPortal() {
    if (!sessionBus_.isConnected()) {
        return std::nullopt;
    }
    auto call = QDBusMessage::createMethodCall(portalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                               QStringLiteral("org.freedesktop.portal.Inhibit"),
                                               QStringLiteral("Inhibit"));
    const QVariantMap options{
        {QStringLiteral("reason"), reason_},
        {QStringLiteral("handle_token"), QStringLiteral("staywake%1").arg(++requestCount)},
    };
    call << QString() << portalSuspendFlag << options;
    return sessionBus_.asyncCall(call, callTimeoutMilliseconds);
}

std::optional<LockFailure> InhibitSleepBlocker::keepPortalInhibition(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return failureOf(reply);
    }
    const auto request = qdbus_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    if (request.isEmpty() || request == QStringLiteral("/")) {
        return LockFailure::badAnswer;
    }
    portalRequest_ = request;
    portalGiver_ = reply.service();
    return std::nullopt;
}

} // namespace staywake
