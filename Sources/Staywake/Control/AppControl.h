#pragma once

#include "Staywake/App/StaywakeApp.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Control/HoldBook.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

class SingleInstance;

/// com.staywake.App1 at the app's object: the session's state as properties
/// (announced with PropertiesChanged), its operations as methods that call
/// the controllers' own, so every rule of the session applies, and holds.
///
/// A hold keeps the machine awake while it exists with a lock of its own,
/// apart from the user's session: turning the session off does not end it.
/// It ends on Release or when the bus connection that asked for it goes
/// away, so a script that crashes cannot leave the machine awake.
class AppControl final : public QObject {
    Q_OBJECT

public:
    /// Makes a blocker for the holds; `reason` says whom they are for.
    using HoldBlockerFactory = std::function<std::unique_ptr<SleepBlocker>(const QString& reason)>;

    /// Puts the interface on `instance`'s object: call it before claim().
    /// Until attach() every call is answered with an error.
    AppControl(SingleInstance& instance, QDBusConnection bus);
    ~AppControl() override;

    void attach(StaywakeApp::Controllers controllers, std::shared_ptr<const DateProvider> dates,
                std::function<std::string()> locale, HoldBlockerFactory holdBlocker);

    /// The properties as the bus shows them.
    QVariantMap properties() const;
    const HoldBook& holds() const { return holds_; }

    // The methods, for the adaptor. Each returns the error to answer with, or
    // an invalid one.
    QDBusError turnOn(double seconds);
    QDBusError turnOnUntil(qint64 secondsSince1970);
    QDBusError turnOff();
    QDBusError setNightBrew(bool on);
    QDBusError hold(const QString& owner, const QString& why, uint& id);
    QDBusError release(const QString& owner, uint id);

signals:
    /// Whom the holds are for, oldest first; empty when there are none.
    void holdersChanged(const QStringList& holders);

private:
    /// The properties but the status sentence, which is worded with ICU's
    /// measure format (a megabyte of its data and code) only when read or
    /// announced.
    QVariantMap state() const;
    QString status() const;
    void publish();
    void holdsChanged();
    void ownerGone(const QString& owner);

    QDBusConnection bus_;
    std::optional<StaywakeApp::Controllers> controllers_;
    std::shared_ptr<const DateProvider> dates_;
    std::function<std::string()> locale_;
    HoldBlockerFactory holdBlocker_;
    std::unique_ptr<SleepBlocker> holdLock_;
    HoldBook holds_;
    QDBusServiceWatcher owners_;
    /// The state last announced (no status sentence: it changes only with
    /// IsOn and ActiveUntil, and is announced with them).
    QVariantMap published_;
    bool publishQueued_ = false;
};

} // namespace staywake
