#pragma once

#include "StaywakeCore/Lid/LidHelperRegistration.h"

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QDBusMessage;

namespace staywake {

/// The lid helper's registration with systemd, through the service manager's
/// D-Bus API on the system bus: the helper is the socket unit
/// staywake-lidhelper.socket, which starts the helper service on the first
/// connection.
///
/// - readStatus reads GetUnitFileState: enabled, enabled-runtime, static,
///   indirect, alias and linked are enabled; disabled is notRegistered;
///   masked and masked-runtime are requiresApproval (an administrator, or
///   the user through one, has to unmask it); a unit systemd does not know is
///   notFound; any other state, and a failed call, reads as notRegistered.
///   An enabled socket that is not listening (ActiveState other than active,
///   reloading or activating: a registration cut short before its start)
///   also reads as notRegistered, so that the registration completes it.
/// - registerHelper enables the unit file, reloads systemd and starts the
///   socket. polkit decides whether the user may, and may ask for a password,
///   so these calls allow interactive authorisation and wait long for it.
///   Systemd's or polkit's error is passed on with its message.
///
/// Used on the main thread, which it never blocks: every call is sent
/// asynchronously and answered through the thread's event loop. Answers hold
/// copies only, so they may come after this object is gone.
class SystemdLidHelperRegistration final : public LidHelperRegistration {
public:
    static constexpr const char* unitName = "staywake-lidhelper.socket";
    /// The service the socket starts; masked and unmasked with it.
    static constexpr const char* serviceUnitName = "staywake-lidhelper.service";
    /// How long a status read waits for systemd.
    static constexpr int statusTimeoutMilliseconds = 5000;
    /// How long each registration step waits, a polkit password prompt
    /// included.
    static constexpr int registrationTimeoutMilliseconds = 120000;

    explicit SystemdLidHelperRegistration(QDBusConnection systemBus, QString unit = QString::fromLatin1(unitName));

    void readStatus(StatusHandler handler) const override;
    void registerHelper(Finished finished) override;

    /// Called once with nothing on success, or with systemd's or polkit's
    /// message.
    using Approved = std::function<void(std::optional<std::string> error)>;
    /// What the panel's approval link does for a helper whose units an
    /// administrator masked: unmasks the socket and the service, enables the
    /// socket and reloads systemd, letting polkit ask for a password. Returns
    /// at once; `finished` runs on this thread's event loop when systemd has
    /// answered every step or one failed (the later ones are then not sent).
    /// It may run after this object is gone.
    void approve(Approved finished) const;

    /// The status for a unit file state as systemd words it.
    static LidHelperStatus statusForUnitFileState(const QString& state);
    /// Whether a D-Bus error from GetUnitFileState means systemd knows no such
    /// unit.
    static bool meansNoSuchUnit(const QString& errorName);
    /// Whether a unit in this ActiveState is listening or about to.
    static bool isListening(const QString& activeState);

private:
    QDBusConnection bus_;
    QString unit_;
};

} // namespace staywake
