#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>

namespace staywake {

/// One Staywake per user session. The first instance owns the session-bus
/// name com.staywake.app and serves org.freedesktop.Application at
/// /com/staywake/app; a later launch asks it to Activate (it opens its panel)
/// and ends. Every interface the app offers on the bus is an adaptor of this
/// one object, registered here and nowhere else.
/// (Qt sets the context of a call on the object, not on its adaptors: hence
/// the QDBusContext here.)
class SingleInstance final : public QObject, public QDBusContext {
    Q_OBJECT

public:
    static constexpr const char* serviceName = "com.staywake.app";
    static constexpr const char* objectPath = "/com/staywake/app";

    enum class Claim {
        /// This process owns the name; activated() tells of later launches.
        owned,
        /// Another instance runs and has been activated: end this one.
        activatedOther,
        /// Another instance holds the name but did not answer.
        otherUnresponsive,
        /// No session bus: run alone, unreachable.
        noBus,
    };

    explicit SingleInstance(QDBusConnection sessionBus, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Adaptors for the app's object are made as children of this before
    /// claim(), so that they are exported with it.
    Claim claim();

    /// The name to show in a message about a claim.
    static QString describe(Claim claim);

signals:
    /// Someone (a second launch, a desktop) asked for the app's window.
    void activated();

private:
    QDBusConnection bus_;
    bool registered_ = false;
};

} // namespace staywake
