#pragma once

#include "StaywakeCore/Machine/MachineConditions.h"

#include <QDBusConnection>
#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class QGuiApplication;

namespace staywake {

/// Calls its handler on the GUI thread when UPower's OnBattery changes
/// (PropertiesChanged on the system bus) and when a screen is added or removed.
/// observe() replaces the earlier observation; destruction ends it.
class SystemMachineConditionsNotifier final : public QObject, public MachineConditionsNotifier {
    Q_OBJECT

public:
    SystemMachineConditionsNotifier(QDBusConnection systemBus, QGuiApplication& application);
    ~SystemMachineConditionsNotifier() override;

    void observe(Handler handler) override;

private slots:
    void powerPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                const QStringList& invalidated);

private:
    void stopObserving();
    void notify();

    QDBusConnection systemBus_;
    QGuiApplication* application_;
    Handler handler_;
    bool watchingPower_ = false;
    QMetaObject::Connection screenAdded_;
    QMetaObject::Connection screenRemoved_;
};

} // namespace staywake
