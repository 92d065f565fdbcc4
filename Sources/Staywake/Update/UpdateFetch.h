#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <string>

namespace staywake {

/// One download for the updater: the feed, release notes or a package. The
/// transfer runs in the bundle's StaywakeUpdateFetch, so that the network
/// stack is loaded only while something is fetched; that program refuses
/// anything but https (and plain http to 127.0.0.1, where the tests serve),
/// a redirect anywhere else, a stall of `stallSeconds` and a body past
/// `sizeLimit`. Every way it ends is one signal, once; the object deletes
/// itself afterwards.
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

    /// "<directory of program>/../Helpers/StaywakeUpdateFetch": the fetcher
    /// of the bundle around `program`.
    static std::string fetcherFor(const std::filesystem::path& program);

    /// Starts `fetcher` at once.
    UpdateFetch(const QString& fetcher, Request request, QObject* parent = nullptr);
    ~UpdateFetch() override;

    /// Stops without `failed`; a partly written file is removed.
    void cancel();

signals:
    /// Bytes received so far.
    void progress(qint64 received);
    /// The body (empty when it was written to a file).
    void finished(const QByteArray& body);
    /// Why not, in words for the user.
    void failed(const QString& reason);

private:
    void take();
    void hear();
    void end(int exitCode, QProcess::ExitStatus exitStatus);
    void fail(const QString& reason);
    /// Ends the fetcher and removes a partly written file.
    void stop();
    QString reasonFor(const QByteArray& event) const;

    Request request_;
    QProcess fetcher_;
    /// Ends a fetcher that says nothing for longer than its own stall limit.
    QTimer silence_;
    QByteArray body_;
    std::unique_ptr<QFile> file_;
    QByteArray events_;
    QString reason_;
    qint64 received_ = 0;
    bool ended_ = false;
};

} // namespace staywake
