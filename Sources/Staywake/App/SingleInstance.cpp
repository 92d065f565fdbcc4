#include "Staywake/App/SingleInstance.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace staywake {

namespace {

constexpr int activateTimeoutMilliseconds = 5000;
const QString applicationInterface = QStringLiteral("org.freedesktop.Application");

/// org.freedesktop.Application as a tray app reads it: there is one thing to
/// show, the panel, and no documents or actions of its own.
class ApplicationAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(SingleInstance* instance) : QDBusAbstractAdaptor(instance), instance_(instance) {}

public slots:
    void Activate(const QVariantMap& platformData) {
        Q_UNUSED(platformData);
        emit instance_->activated();
    }

    // Staywake opens no documents; being asked to is still a request to show
    // the app.
    void Open(const QStringList& uris, const QVariantMap& platformData) {
        Q_UNUSED(uris);
        Q_UNUSED(platformData);
        emit instance_->activated();
    }

    void ActivateAction(const QString& actionName, const QVariantList& parameter,
                        const QVariantMap& platformData) {
        Q_UNUSED(parameter);
        Q_UNUSED(platformData);
        instance_->sendErrorReply(QDBusError::InvalidArgs,
                                  QStringLiteral("Staywake has no action \"%1\"").arg(actionName));
    }

private:
    SingleInstance* instance_;
};

} // namespace

SingleInstance::SingleInstance(QDBusConnection sessionBus, QObject* parent)
    : QObject(parent), bus_(std::move(sessionBus)) {
    new ApplicationAdaptor(this);
}

SingleInstance::~SingleInstance() {
    if (registered_) {
        bus_.unregisterService(QString::fromLatin1(serviceName));
        bus_.unregisterObject(QString::fromLatin1(objectPath));
    }
}

SingleInstance::Claim SingleInstance::claim() {
    if (!bus_.isConnected() || bus_.interface() == nullptr) {
        return Claim::noBus;
    }
    // The object first, so that whoever sees the name can already call it.
    const QString path = QString::fromLatin1(objectPath);
    if (!bus_.registerObject(path, this, QDBusConnection::ExportAdaptors)) {
        return Claim::noBus;
    }
    const auto reply = bus_.interface()->registerService(QString::fromLatin1(serviceName),
                                                         QDBusConnectionInterface::DontQueueService,
                                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        registered_ = true;
        return Claim::owned;
    }
    bus_.unregisterObject(path);
    if (!reply.isValid()) {
        return Claim::noBus;
    }

    auto activate = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), path, applicationInterface,
                                                   QStringLiteral("Activate"));
    activate << QVariantMap();
    // BlockWithGui: the first instance may live in this very process (tests).
    const QDBusMessage answer = bus_.call(activate, QDBus::BlockWithGui, activateTimeoutMilliseconds);
    return answer.type() == QDBusMessage::ReplyMessage ? Claim::activatedOther : Claim::otherUnresponsive;
}

QString SingleInstance::describe(Claim claim) {
    switch (claim) {
    case Claim::owned:
        return QStringLiteral("this is the running instance");
    case Claim::activatedOther:
        return QStringLiteral("Staywake is already running; its panel was opened");
    case Claim::otherUnresponsive:
        return QStringLiteral("Staywake is already running but does not answer");
    case Claim::noBus:
        return QStringLiteral("no session bus: running without single-instance checks");
    }
    return {};
}

} // namespace staywake

#include "SingleInstance.moc"
