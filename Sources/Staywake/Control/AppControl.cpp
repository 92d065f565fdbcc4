#include "Staywake/Control/AppControl.h"

#include "Staywake/App/SingleInstance.h"
#include "Staywake/Translations/Localized.h"
#include "StaywakeCore/Control/ControlInput.h"
#include "StaywakeCore/Wording/FailureSentence.h"
#include "StaywakeCore/Wording/SpokenStatus.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTimer>
#include <cmath>

namespace staywake {

namespace {

const QString controlInterface = QStringLiteral("com.staywake.App1");
QDBusError invalid(const QString& sentence) { return QDBusError(QDBusError::InvalidArgs, sentence); }
QDBusError failed(const QString& sentence) { return QDBusError(QDBusError::Failed, sentence); }
const QString notReady = QStringLiteral("Staywake is still starting; try again in a moment.");

class ControlAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.staywake.App1")
    Q_PROPERTY(bool IsOn READ isOn)
    Q_PROPERTY(bool IsRequested READ isRequested)
    Q_PROPERTY(bool NightBrew READ nightBrew)
    Q_PROPERTY(qlonglong ActiveUntil READ activeUntil)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QString LastFailure READ lastFailure)
    Q_PROPERTY(QList<QVariantMap> Holds READ holdList)

public:
    ControlAdaptor(SingleInstance& instance, AppControl& control)
        : QDBusAbstractAdaptor(&instance), instance_(instance), control_(control) {
        setAutoRelaySignals(false);
    }

    bool isOn() const { return read("IsOn").toBool(); }
    bool isRequested() const { return read("IsRequested").toBool(); }
    bool nightBrew() const { return read("NightBrew").toBool(); }
    qlonglong activeUntil() const { return read("ActiveUntil").toLongLong(); }
    QString status() const { return read("Status").toString(); }
    QString lastFailure() const { return read("LastFailure").toString(); }
    QList<QVariantMap> holdList() const { return read("Holds").value<QList<QVariantMap>>(); }

public slots:
    void TurnOn(double seconds) { answer(control_.turnOn(seconds)); }
    void TurnOnUntil(qlonglong secondsSince1970) { answer(control_.turnOnUntil(secondsSince1970)); }
    void TurnOff() { answer(control_.turnOff()); }
    void SetNightBrew(bool on) { answer(control_.setNightBrew(on)); }
    uint Hold(const QString& why) {
        uint id = 0;
        answer(control_.hold(instance_.message().service(), why, id));
        return id;
    }
    void Release(uint id) { answer(control_.release(instance_.message().service(), id)); }

private:
    QVariant read(const char* name) const { return control_.properties().value(QString::fromLatin1(name)); }
    void answer(const QDBusError& error) const {
        if (error.isValid()) {
            instance_.sendErrorReply(error.name(), error.message());
        }
    }

    SingleInstance& instance_;
    AppControl& control_;
};

} // namespace

AppControl::AppControl(SingleInstance& instance, QDBusConnection bus) : QObject(&instance), bus_(std::move(bus)) {
    qDBusRegisterMetaType<QList<QVariantMap>>();
    new ControlAdaptor(instance, *this);
    owners_.setConnection(bus_);
    owners_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&owners_, &QDBusServiceWatcher::serviceUnregistered, this, &AppControl::ownerGone);
}

AppControl::~AppControl() = default;

void AppControl::attach(StaywakeApp::Controllers controllers, std::shared_ptr<const DateProvider> dates,
                        std::function<std::string()> locale, HoldBlockerFactory holdBlocker) {
    controllers_ = std::move(controllers);
    dates_ = std::move(dates);
    locale_ = std::move(locale);
    holdBlocker_ = std::move(holdBlocker);
    // Any change is announced once, after the controllers have settled.
    const auto changed = [this](const auto&) {
        if (!publishQueued_) {
            publishQueued_ = true;
            QTimer::singleShot(0, this, &AppControl::publish);
        }
    };
    const auto& awake = *controllers_->awake;
    const auto& lid = *controllers_->lid;
    awake.isOn().observe(changed);
    awake.isRequested().observe(changed);
    awake.activeUntil().observe(changed);
    awake.lastFailure().observe(changed);
    lid.isOn().observe(changed);
    lid.lastFailure().observe(changed);
    published_ = state();
}

QVariantMap AppControl::properties() const {
    QVariantMap values = state();
    if (controllers_) {
        values.insert(QStringLiteral("Status"), status());
    }
    return values;
}

QString AppControl::status() const {
    const auto& awake = *controllers_->awake;
    return localized(SpokenStatus::describing(awake.isOn(), awake.remaining()).accessibilityLabel(locale_()));
}

QVariantMap AppControl::state() const {
    QList<QVariantMap> holdList;
    for (const auto& hold : holds_.holds()) {
        holdList.append(QVariantMap{{QStringLiteral("id"), QVariant::fromValue(uint(hold.id))},
                                    {QStringLiteral("owner"), QString::fromStdString(hold.owner)},
                                    {QStringLiteral("why"), QString::fromStdString(hold.why)}});
    }
    QVariantMap values{{QStringLiteral("Holds"), QVariant::fromValue(holdList)}};
    if (!controllers_) {
        return values;
    }
    const auto& awake = *controllers_->awake;
    const auto& lid = *controllers_->lid;
    const auto until = awake.activeUntil().get();
    std::optional<AwakeFailure> failure = awake.lastFailure().get();
    if (!failure) {
        failure = lid.lastFailure().get();
    }
    values.insert(QStringLiteral("IsOn"), awake.isOn().get());
    values.insert(QStringLiteral("IsRequested"), awake.isRequested().get());
    values.insert(QStringLiteral("NightBrew"), lid.isOn().get());
    values.insert(QStringLiteral("ActiveUntil"), until ? std::llround(until->secondsSince1970) : 0LL);
    values.insert(QStringLiteral("LastFailure"), failure ? localized(FailureSentence::of(*failure)) : QString());
    return values;
}

QDBusError AppControl::turnOn(double seconds) {
    if (!controllers_) {
        return failed(notReady);
    }
    if (seconds != 0 && !ControlInput::isSessionLength(seconds)) {
        return invalid(QStringLiteral("A session lasts more than 0 and at most %1 seconds, or 0 for no limit.")
                           .arg(ControlInput::longestSession));
    }
    controllers_->awake->turnOn(seconds == 0 ? std::nullopt : std::optional<double>(seconds));
    return QDBusError();
}

QDBusError AppControl::turnOnUntil(qint64 secondsSince1970) {
    if (!controllers_) {
        return failed(notReady);
    }
    const double seconds = Date{double(secondsSince1970)} - dates_->now();
    if (!ControlInput::isSessionLength(seconds)) {
        return invalid(QStringLiteral("The end must lie after now and at most %1 seconds ahead.")
                           .arg(ControlInput::longestSession));
    }
    controllers_->awake->turnOn(seconds);
    return QDBusError();
}

QDBusError AppControl::turnOff() {
    if (!controllers_) {
        return failed(notReady);
    }
    controllers_->awake->turnOff();
    return QDBusError();
}

QDBusError AppControl::setNightBrew(bool on) {
    if (!controllers_) {
        return failed(notReady);
    }
    if (!on) {
        controllers_->lid->turnOff();
        return QDBusError();
    }
    if (controllers_->lid->turnOnJoiningSessionOr(std::nullopt)) {
        return QDBusError();
    }
    const auto failure = controllers_->lid->lastFailure().get();
    return failed(
        failure ? localized(FailureSentence::of(*failure))
                : QStringLiteral("Night Brew cannot turn on until its precautions are confirmed in the panel."));
}

QDBusError AppControl::hold(const QString& owner, const QString& why, uint& id) {
    if (!controllers_) {
        return failed(notReady);
    }
    const QString name = why.trimmed().isEmpty() ? owner : why.trimmed();
    const auto added = holds_.add(owner.toStdString(), name.toStdString());
    if (!added) {
        return QDBusError(QDBusError::LimitsExceeded,
                          QStringLiteral("This connection already has %1 holds; release one first.")
                              .arg(HoldBook::perOwnerLimit));
    }
    if (!holdLock_) {
        const auto holders = holds_.holders();
        holdLock_ = holdBlocker_(localized(LocalizableText::localizable(
            QT_TRANSLATE_NOOP("Localizable", "Kept awake for %1"), {holders.front()})));
        try {
            holdLock_->engage();
        } catch (const std::exception& error) {
            holdLock_.reset();
            holds_.release(owner.toStdString(), *added);
            return failed(QStringLiteral("The system refused to keep the computer awake: %1")
                              .arg(QString::fromUtf8(error.what())));
        }
    }
    owners_.addWatchedService(owner);
    // A client that left before the watch was in place would hold forever:
    // the bus answers this only after it has the watch.
    if (const auto present = bus_.interface()->isServiceRegistered(owner); present.isValid() && !present.value()) {
        ownerGone(owner);
        return failed(QStringLiteral("The connection that asked for the hold has gone."));
    }
    id = *added;
    holdsChanged();
    return QDBusError();
}

QDBusError AppControl::release(const QString& owner, uint id) {
    if (!holds_.release(owner.toStdString(), id)) {
        return invalid(QStringLiteral("This connection has no hold %1.").arg(id));
    }
    holdsChanged();
    return QDBusError();
}

void AppControl::ownerGone(const QString& owner) {
    owners_.removeWatchedService(owner);
    if (holds_.releaseAll(owner.toStdString()) > 0) {
        holdsChanged();
    }
}

void AppControl::holdsChanged() {
    if (holds_.isEmpty()) {
        holdLock_.reset();
    }
    QStringList holders;
    for (const auto& name : holds_.holders()) {
        holders.append(QString::fromStdString(name));
    }
    emit holdersChanged(holders);
    publish();
}

void AppControl::publish() {
    publishQueued_ = false;
    const QVariantMap now = state();
    QVariantMap changed;
    for (auto value = now.begin(); value != now.end(); ++value) {
        if (published_.value(value.key()) != value.value()) {
            changed.insert(value.key(), value.value());
        }
    }
    published_ = now;
    if (changed.isEmpty()) {
        return;
    }
    if (controllers_ &&
        (changed.contains(QStringLiteral("IsOn")) || changed.contains(QStringLiteral("ActiveUntil")))) {
        changed.insert(QStringLiteral("Status"), status());
    }
    auto signal = QDBusMessage::createSignal(QString::fromLatin1(SingleInstance::objectPath),
                                             QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("PropertiesChanged"));
    signal << controlInterface << changed << QStringList();
    bus_.send(signal);
}

} // namespace staywake

#include "AppControl.moc"
