#include "Staywake/Control/SessionNotices.h"

#include "StaywakeCore/Control/SessionEndNotice.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace staywake {

namespace {

const QString notifications = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString addAction = QStringLiteral("add-30-minutes");
const QString offAction = QStringLiteral("turn-off");
constexpr double addedSeconds = 30 * 60;

QString text(const char* key) { return QCoreApplication::translate("Localizable", key); }

} // namespace

SessionNotices::SessionNotices(QDBusConnection sessionBus, std::shared_ptr<AwakeController> awake,
                               std::shared_ptr<const DateProvider> dates,
                               std::shared_ptr<DeadlineScheduler> scheduler,
                               std::shared_ptr<UserDefaults> defaults, QObject* parent)
    : QObject(parent), bus_(std::move(sessionBus)), awake_(std::move(awake)), dates_(std::move(dates)),
      scheduler_(std::move(scheduler)), defaults_(std::move(defaults)) {
    bus_.connect(notifications, notificationsPath, notifications, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    // The controller keeps its observers for its whole life; this one may go first.
    awake_->observeSession([self = QPointer<SessionNotices>(this)] {
        if (self) {
            self->sessionChanged();
        }
    });
    sessionChanged();
}

void SessionNotices::sessionChanged() {
    // A warning speaks of one session: its actions must not revive or stretch
    // a later one.
    ++sessions_;
    if (warningId_ != 0) {
        close(std::exchange(warningId_, 0u));
    }
    const Date now = dates_->now();
    const auto previousEnd = std::exchange(end_, awake_->endsAt());
    // A session that is over at or after its end ran out; one that ends
    // before it was turned off by someone who knows.
    if (previousEnd && !awake_->isRequested() && now >= *previousEnd && isWanted()) {
        notify(text("Your computer can sleep again"), {}, false);
    }
    const auto warning = end_ ? SessionEndNotice::warningAt(now, *end_) : std::nullopt;
    if (warning) {
        scheduler_->schedule(*warning, [self = QPointer<SessionNotices>(this)] {
            if (self) {
                self->warn();
            }
        });
    } else {
        scheduler_->cancel();
    }
}

void SessionNotices::warn() {
    if (awake_->isRequested() && end_ && isWanted()) {
        notify(text("5 minutes left"), {addAction, text("Add 30 minutes"), offAction, text("Turn Off Now")}, true);
    }
}

bool SessionNotices::isWanted() const { return !defaults_->object(settingKey) || defaults_->boolean(settingKey); }

void SessionNotices::notify(const QString& summary, const QStringList& actions, bool isWarning) {
    auto message =
        QDBusMessage::createMethodCall(notifications, notificationsPath, notifications, QStringLiteral("Notify"));
    message << QStringLiteral("Staywake") << (isWarning ? warningId_ : 0u) << QStringLiteral("com.staywake.app")
            << summary << QString() << actions << QVariantMap() << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, isWarning, session = sessions_](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<uint> reply = *call;
                if (isWarning && reply.isValid()) {
                    if (session != sessions_) {
                        close(reply.value());
                    } else {
                        warningId_ = reply.value();
                        emit warningShown(warningId_);
                    }
                }
                call->deleteLater();
            });
}

void SessionNotices::close(uint id) {
    auto message = QDBusMessage::createMethodCall(notifications, notificationsPath, notifications,
                                                  QStringLiteral("CloseNotification"));
    message << id;
    bus_.asyncCall(message);
}

void SessionNotices::actionInvoked(uint id, const QString& action) {
    if (id == 0 || id != warningId_) {
        return;
    }
    if (action == addAction) {
        awake_->turnOn(awake_->remaining().value_or(0) + addedSeconds);
    } else if (action == offAction) {
        awake_->turnOff();
    }
}

} // namespace staywake
