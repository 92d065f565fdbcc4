#pragma once

#include "StaywakeCore/Awake/SleepBlocker.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace staywake {

/// Keeps the session from suspending on idle with two locks, each honoured by
/// different desktops:
/// - the desktop portal's Inhibit with the suspend flag (4) on the session bus
///   (GNOME, KDE), given back by closing its Request object;
/// - a logind "idle" lock in "block" mode on the system bus (logind's
///   IdleAction, KDE), held as a file descriptor: the lock lasts until every
///   copy of it is closed, so it also ends when the process dies.
/// Never a "sleep" or "handle-lid-switch" lock: closing the lid must still put
/// the machine to sleep.
///
/// A lock lives in the service that gave it: when logind or the portal
/// restarts (its bus name changes owner), the old lock is gone with it. While
/// engaged, the blocker watches both names, drops a lock whose service went
/// away and takes a new one from the service that takes the name, so that it
/// never holds nothing while it says it is engaged.
///
/// engage() succeeds when at least one lock was taken; once the portal has
/// inhibited, logind's lock is kept when its answer comes instead of being
/// awaited. When neither could be taken, it throws
/// SleepBlockerError::assertionFailed(code) with
///
///     code = -(10 * logind failure + portal failure)
///
/// where each failure is a LockFailure:
///
/// | failure | value | what happened                                              |
/// |---------|-------|------------------------------------------------------------|
/// | busUnavailable  | 1 | the bus is not connected                             |
/// | serviceMissing  | 2 | nothing on the bus provides the service              |
/// | callUnsupported | 3 | the service does not offer the call                  |
/// | refused         | 4 | the service answered with an error (denied, failed)  |
/// | noAnswer        | 5 | no answer within the time limit                      |
/// | badAnswer       | 6 | an answer that holds no lock                         |
///
/// For example -42: logind refused and no portal is running; -22: neither
/// service is running. The codes never change meaning.
class InhibitSleepBlocker final : public SleepBlocker {
public:
    enum class LockFailure : std::int32_t {
        busUnavailable = 1,
        serviceMissing = 2,
        callUnsupported = 3,
        refused = 4,
        noAnswer = 5,
        badAnswer = 6,
    };

    static constexpr std::int32_t failureCode(LockFailure logind, LockFailure portal) {
        return -(10 * static_cast<std::int32_t>(logind) + static_cast<std::int32_t>(portal));
    }

    /// `reason` is shown by the desktop and logind as why sleep is held off.
    InhibitSleepBlocker(QDBusConnection sessionBus, QDBusConnection systemBus, QString reason);
    ~InhibitSleepBlocker() override;

    InhibitSleepBlocker(const InhibitSleepBlocker&) = delete;
    InhibitSleepBlocker& operator=(const InhibitSleepBlocker&) = delete;

    void engage() override;
    void release() override;
    bool isEngaged() const override;

private:
    void watchGivers();
    std::optional<LockFailure> takeLogindLock();
    std::optional<LockFailure> takePortalInhibition();
    // Each lock is asked for, then its answer awaited and kept; engage() asks
    // for both before awaiting either, so the two round trips overlap.
    void keepLogindLockWhenAnswered(QDBusPendingCall asked);
    // Absent: the bus is not connected.
    std::optional<QDBusPendingCall> askLogind();
    std::optional<QDBusPendingCall> askPortal();
    std::optional<LockFailure> keepLogindLock(const QDBusMessage& reply);
    std::optional<LockFailure> keepPortalInhibition(const QDBusMessage& reply);
    std::optional<LockFailure>
    settle(std::optional<QDBusPendingCall> asked,
           std::optional<LockFailure> (InhibitSleepBlocker::*keep)(const QDBusMessage&));
    /// A lock of another service than the one now owning its name ended with
    /// it; while engaged, a new one is taken from the new owner.
    template <typename Lock>
    void ownerChanged(std::optional<Lock>& lock, const QString& giver, const QString& newOwner,
                      std::optional<LockFailure> (InhibitSleepBlocker::*take)(), const char* service);

    QDBusConnection sessionBus_;
    QDBusConnection systemBus_;
    QString reason_;
    std::optional<QDBusUnixFileDescriptor> logindLock_;
    std::optional<QString> portalRequest_;
    // The unique bus names of the services that gave the locks.
    QString logindGiver_;
    QString portalGiver_;
    // Engaged by the caller, whichever locks are held at the moment.
    bool wanted_ = false;
    // logind's answer, while it is kept rather than awaited.
    std::unique_ptr<QDBusPendingCallWatcher> logindAnswer_;
    std::unique_ptr<QDBusServiceWatcher> logindWatcher_;
    std::unique_ptr<QDBusServiceWatcher> portalWatcher_;
};

} // namespace staywake
