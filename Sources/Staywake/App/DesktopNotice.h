#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

namespace staywake {

/// Tells the user something once, as a desktop notification
/// (org.freedesktop.Notifications on the session bus), or through
/// `fallback` when no notification daemon takes it: no bus, no daemon, or
/// the daemon refused.
class DesktopNotice final : public QObject {
    Q_OBJECT

public:
    using Fallback = std::function<void(const QString& sentence)>;

    DesktopNotice(QDBusConnection sessionBus, Fallback fallback, QObject* parent = nullptr);

    /// Sends without waiting; the fallback, if needed, runs on the GUI
    /// thread once the daemon has answered.
    void show(const QString& sentence);

signals:
    /// The daemon took the notification (for tests and the log).
    void delivered(uint id);

private:
    QDBusConnection bus_;
    Fallback fallback_;
};

} // namespace staywake
