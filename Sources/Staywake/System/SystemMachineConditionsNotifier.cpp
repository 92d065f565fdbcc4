#include "Staywake/System/SystemMachineConditionsNotifier.h"

#include <QGuiApplication>
#include <QScreen>
#include <utility>

namespace staywake {

namespace {

const QString upowerService = QStringLiteral("org.freedesktop.UPower");
const QString upowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString propertiesChanged = QStringLiteral("PropertiesChanged");
const QString onBattery = QStringLiteral("OnBattery");

} // namespace

SystemMachineConditionsNotifier::SystemMachineConditionsNotifier(QDBusConnection systemBus,
                                                                 QGuiApplication& application)
    : systemBus_(std::move(systemBus)), application_(&application) {}

SystemMachineConditionsNotifier::~SystemMachineConditionsNotifier() { stopObserving(); }

void SystemMachineConditionsNotifier::observe(Handler handler) {
    stopObserving();
    handler_ = std::move(handler);
    screenAdded_ = connect(application_, &QGuiApplication::screenAdded, this, [this] { notify(); });
    screenRemoved_ = connect(application_, &QGuiApplication::screenRemoved, this, [this] { notify(); });
    // Without a bus, power changes are simply not signalled.
    watchingPower_ = systemBus_.connect(upowerService, upowerPath, propertiesInterface, propertiesChanged, this,
                                        SLOT(powerPropertiesChanged(QString, QVariantMap, QStringList)));
}

void SystemMachineConditionsNotifier::stopObserving() {
    disconnect(screenAdded_);
    disconnect(screenRemoved_);
    if (watchingPower_) {
        systemBus_.disconnect(upowerService, upowerPath, propertiesInterface, propertiesChanged, this,
                              SLOT(powerPropertiesChanged(QString, QVariantMap, QStringList)));
        watchingPower_ = false;
    }
    handler_ = nullptr;
}

void SystemMachineConditionsNotifier::powerPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                             const QStringList& invalidated) {
    // UPower also announces lid and dock changes here; only the power source
    // matters to the conditions.
    if (interface == upowerService && (changed.contains(onBattery) || invalidated.contains(onBattery))) {
        notify();
    }
}

void SystemMachineConditionsNotifier::notify() {
    if (auto handler = handler_) {
        handler();
    }
}

} // namespace staywake
