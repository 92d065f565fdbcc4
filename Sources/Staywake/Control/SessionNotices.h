#pragma once

#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Clock/DeadlineScheduler.h"
#include "StaywakeCore/Defaults/UserDefaults.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

namespace staywake {

/// Desktop notifications about the end of a timed session: "5 minutes left"
/// (with "Add 30 minutes" and "Turn Off Now") ahead of the end of a session
/// of a quarter hour or more, and a notice once a session has run out. The
/// setting NotifySessionEnd (on when absent) turns both off.
class SessionNotices final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* settingKey = "NotifySessionEnd";

    /// `scheduler` is this object's own; it times the warning.
    SessionNotices(QDBusConnection sessionBus, std::shared_ptr<AwakeController> awake,
                   std::shared_ptr<const DateProvider> dates, std::shared_ptr<DeadlineScheduler> scheduler,
                   std::shared_ptr<UserDefaults> defaults, QObject* parent = nullptr);

signals:
    /// The daemon took the warning (for tests and the log).
    void warningShown(uint id);

private slots:
    void actionInvoked(uint id, const QString& action);

private:
    void sessionChanged();
    void warn();
    bool isWanted() const;
    void close(uint id);
    void notify(const QString& summary, const QStringList& actions, bool isWarning);

    QDBusConnection bus_;
    std::shared_ptr<AwakeController> awake_;
    std::shared_ptr<const DateProvider> dates_;
    std::shared_ptr<DeadlineScheduler> scheduler_;
    std::shared_ptr<UserDefaults> defaults_;
    std::optional<Date> end_;
    /// Counts the session's starts, re-aims and ends.
    std::uint64_t sessions_ = 0;
    uint warningId_ = 0;
};

} // namespace staywake
