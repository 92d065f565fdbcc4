#include "Staywake/Update/UpdateFetch.h"

#include "Staywake/App/AppLog.h"

#include <QCoreApplication>

namespace staywake {

namespace {

QString text(const char* key) { return QCoreApplication::translate("Localizable", key); }

/// The fetcher gives up after its stall limit; past this much more, it is
/// stopped, so that a wedged one cannot hold a check for ever.
constexpr int silenceGraceSeconds = 3;

/// An event line longer than this is not the fetcher's: it is dropped.
constexpr qsizetype eventLimit = 16 * 1024;

} // namespace

std::string UpdateFetch::fetcherFor(const std::filesystem::path& program) {
    return (program.parent_path().parent_path() / "Helpers" / "StaywakeUpdateFetch").string();
}

UpdateFetch::UpdateFetch(const QString& fetcher, Request request, QObject* parent)
    : QObject(parent), request_(std::move(request)) {
    if (!request_.saveTo.isEmpty()) {
        file_ = std::make_unique<QFile>(request_.saveTo);
        if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const QString reason = file_->errorString();
            file_.reset();
            // Reported once the caller has connected.
            QMetaObject::invokeMethod(
                this, [this, reason] { fail(text("The download could not be saved: %1").arg(reason)); },
                Qt::QueuedConnection);
            return;
        }
    }
    connect(&fetcher_, &QProcess::readyReadStandardOutput, this, &UpdateFetch::take);
    connect(&fetcher_, &QProcess::readyReadStandardError, this, &UpdateFetch::hear);
    connect(&fetcher_, &QProcess::finished, this, &UpdateFetch::end);
    connect(&fetcher_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            fail(text("The downloader could not run: %1").arg(fetcher_.errorString()));
        }
    });
    silence_.setSingleShot(true);
    silence_.setInterval((request_.stallSeconds + silenceGraceSeconds) * 1000);
    connect(&silence_, &QTimer::timeout, this,
            [this] { fail(text("The server did not answer within %1 seconds.").arg(request_.stallSeconds)); });
    silence_.start();
    fetcher_.start(fetcher, {request_.url.toString(QUrl::FullyEncoded), QString::number(request_.sizeLimit),
                             QString::number(request_.stallSeconds), request_.userAgent});
}

UpdateFetch::~UpdateFetch() {
    // Gone before the end (its owner closed, the app quitting): nothing is
    // signalled, and neither the fetcher nor a partly written file is left.
    if (!ended_) {
        stop();
    }
}

void UpdateFetch::cancel() {
    if (ended_) {
        return;
    }
    stop();
    deleteLater();
}

void UpdateFetch::stop() {
    ended_ = true;
    silence_.stop();
    fetcher_.disconnect(this);
    if (fetcher_.state() != QProcess::NotRunning) {
        // Killed, it ends at once; it is reaped here rather than left to
        // QProcess's destructor, which would warn about it.
        fetcher_.kill();
        fetcher_.waitForFinished(1000);
    }
    if (file_) {
        file_->remove();
    }
}

void UpdateFetch::take() {
    const QByteArray part = fetcher_.readAllStandardOutput();
    if (ended_) {
        return;
    }
    silence_.start();
    received_ += part.size();
    if (received_ > request_.sizeLimit) {
        fail(text("The server sent more than the %1 bytes expected.").arg(request_.sizeLimit));
        return;
    }
    if (file_ && file_->write(part) != part.size()) {
        fail(text("The download could not be saved: %1").arg(file_->errorString()));
        return;
    }
    if (!file_) {
        body_ += part;
    }
    emit progress(received_);
}

void UpdateFetch::hear() {
    events_ += fetcher_.readAllStandardError();
    if (ended_) {
        return;
    }
    silence_.start();
    for (qsizetype newline; (newline = events_.indexOf('\n')) >= 0;) {
        const QByteArray event = events_.left(newline);
        events_.remove(0, newline + 1);
        if (event.startsWith("failed ")) {
            reason_ = reasonFor(event.mid(7));
        } else if (!event.isEmpty()) {
            qCInfo(appLog).noquote() << "the update fetcher said:"
                                     << QString::fromUtf8(event.startsWith("note ") ? event.mid(5) : event);
        }
    }
    if (events_.size() > eventLimit) {
        events_.clear();
    }
}

QString UpdateFetch::reasonFor(const QByteArray& event) const {
    const qsizetype blank = event.indexOf(' ');
    const QByteArray kind = blank < 0 ? event : event.left(blank);
    const QString detail = blank < 0 ? QString() : QString::fromUtf8(event.mid(blank + 1));
    if (kind == "address") {
        return text("%1 is not an https address.").arg(request_.url.toDisplayString());
    }
    if (kind == "redirect") {
        return text("The server sent Staywake on to %1, which is not an https address.").arg(detail);
    }
    if (kind == "offered") {
        return text("The server offered %1 bytes, more than the %2 expected.").arg(detail).arg(request_.sizeLimit);
    }
    if (kind == "exceeded") {
        return text("The server sent more than the %1 bytes expected.").arg(request_.sizeLimit);
    }
    if (kind == "status") {
        const qsizetype gap = detail.indexOf(u' ');
        return text("The server answered %1 %2.").arg(detail.left(gap), gap < 0 ? QString() : detail.mid(gap + 1));
    }
    if (kind == "stalled") {
        return text("The server did not answer within %1 seconds.").arg(request_.stallSeconds);
    }
    return detail; // the network's own reason
}

void UpdateFetch::end(int exitCode, QProcess::ExitStatus exitStatus) {
    take();
    hear();
    if (ended_) {
        return;
    }
    if (!reason_.isEmpty()) {
        fail(reason_);
        return;
    }
    if (exitStatus != QProcess::NormalExit) {
        fail(text("The downloader could not run: %1").arg(fetcher_.errorString()));
        return;
    }
    if (exitCode != 0) {
        fail(text("The downloader ended with status %1.").arg(exitCode));
        return;
    }
    if (file_ && !file_->flush()) {
        fail(text("The download could not be saved: %1").arg(file_->errorString()));
        return;
    }
    ended_ = true;
    silence_.stop();
    if (file_) {
        file_->close();
    }
    emit finished(body_);
    deleteLater();
}

void UpdateFetch::fail(const QString& reason) {
    if (ended_) {
        return;
    }
    stop();
    emit failed(reason);
    deleteLater();
}

} // namespace staywake
