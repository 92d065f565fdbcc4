#pragma once

#include <QByteArray>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

namespace staywake {

/// One download for the updater: the feed, release notes or a package.
/// Only https addresses are fetched (and plain http to 127.0.0.1, where the
/// tests serve), a redirect anywhere else is refused, a transfer that stalls
/// for `stallSeconds` is given up, and one that grows past `sizeLimit` is cut
/// off. Every way it ends is one signal, once; the object deletes itself
/// afterwards.
class UpdateFetch final : public QObject {
    Q_OBJECT

public:
    struct Request {
        QUrl url;
        qint64 sizeLimit = 0;
        QString userAgent;
        int stallSeconds = 30;
        /// Writes the body into this file instead of keeping it in memory.
        QString saveTo;
    };

    /// Whether the updater may fetch from `url`.
    static bool isAllowed(const QUrl& url);

    /// Starts at once.
    UpdateFetch(QNetworkAccessManager& network, Request request, QObject* parent = nullptr);
    ~UpdateFetch() override;

    /// Stops without `failed`; a partly written file is removed.
    void cancel();

signals:
    void progress(qint64 received, qint64 total);
    /// The body (empty when it was written to a file).
    void finished(const QByteArray& body);
    /// Why not, in words for the user.
    void failed(const QString& reason);

private:
    void take();
    void end();
    void fail(const QString& reason);

    Request request_;
    QPointer<QNetworkReply> reply_;
    QByteArray body_;
    std::unique_ptr<QFile> file_;
    qint64 received_ = 0;
    bool ended_ = false;
};

} // namespace staywake
