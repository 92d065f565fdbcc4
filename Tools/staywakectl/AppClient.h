#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <optional>

namespace staywake {

/// The running app's com.staywake.App1, reached on the session bus (which
/// starts the app when it is installed and not running).
class AppClient {
public:
    explicit AppClient(QDBusConnection bus) : bus_(std::move(bus)) {}

    /// Empty when the bus is there; otherwise the sentence to print.
    QString problem() const;

    /// Calls `method`; the answer, or absent with `error` set to a sentence.
    std::optional<QVariantList> call(const QString& method, const QVariantList& arguments, QString& error) const;
    /// Every property; absent with `error` set to a sentence.
    std::optional<QVariantMap> properties(QString& error) const;

private:
    std::optional<QVariantList> send(QDBusMessage message, QString& error) const;

    QDBusConnection bus_;
};

} // namespace staywake
