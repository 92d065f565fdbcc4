#include "Staywake/Update/UpdateFetch.h"

#include <QCoreApplication>
#include <QNetworkRequest>

namespace staywake {

namespace {

QString text(const char* key) { return QCoreApplication::translate("Localizable", key); }

} // namespace

bool UpdateFetch::isAllowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("https") ||
           (scheme == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1"));
}

UpdateFetch::UpdateFetch(QNetworkAccessManager& network, Request request, QObject* parent)
    : QObject(parent), request_(std::move(request)) {
    if (!isAllowed(request_.url)) {
        // Reported once the caller has connected.
        QMetaObject::invokeMethod(
            this, [this] { fail(text("%1 is not an https address.").arg(request_.url.toDisplayString())); },
            Qt::QueuedConnection);
        return;
    }
    if (!request_.saveTo.isEmpty()) {
        file_ = std::make_unique<QFile>(request_.saveTo);
        if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const QString reason = file_->errorString();
            file_.reset();
            QMetaObject::invokeMethod(
                this, [this, reason] { fail(text("The download could not be saved: %1").arg(reason)); },
                Qt::QueuedConnection);
            return;
        }
    }
    QNetworkRequest get(request_.url);
    get.setHeader(QNetworkRequest::UserAgentHeader, request_.userAgent);
    get.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    get.setMaximumRedirectsAllowed(5);
    get.setTransferTimeout(request_.stallSeconds * 1000);
    get.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    reply_ = network.get(get);
    connect(reply_, &QNetworkReply::redirected, this, [this](const QUrl& target) {
        if (isAllowed(target)) {
            emit reply_->redirectAllowed();
        } else {
            fail(text("The server sent Staywake on to %1, which is not an https address.")
                     .arg(target.toDisplayString()));
        }
    });
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        const auto announced = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() > request_.sizeLimit) {
            fail(text("The server offered %1 bytes, more than the %2 expected.")
                     .arg(announced.toLongLong())
                     .arg(request_.sizeLimit));
        }
    });
    connect(reply_, &QNetworkReply::readyRead, this, &UpdateFetch::take);
    connect(reply_, &QNetworkReply::downloadProgress, this, &UpdateFetch::progress);
    connect(reply_, &QNetworkReply::finished, this, &UpdateFetch::end);
}

UpdateFetch::~UpdateFetch() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

void UpdateFetch::cancel() {
    if (ended_) {
        return;
    }
    ended_ = true;
    if (file_) {
        file_->remove();
    }
    deleteLater();
}

void UpdateFetch::take() {
    if (ended_ || !reply_) {
        return;
    }
    const QByteArray part = reply_->readAll();
    received_ += part.size();
    if (received_ > request_.sizeLimit) {
        fail(text("The server sent more than the %1 bytes expected.").arg(request_.sizeLimit));
        return;
    }
    if (file_) {
        if (file_->write(part) != part.size()) {
            fail(text("The download could not be saved: %1").arg(file_->errorString()));
        }
    } else {
        body_ += part;
    }
}

void UpdateFetch::end() {
    if (ended_ || !reply_) {
        return;
    }
    take();
    if (ended_) {
        return;
    }
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        fail(text("The server answered %1 %2.")
                 .arg(status)
                 .arg(reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        return;
    }
    if (reply_->error() == QNetworkReply::OperationCanceledError ||
        reply_->error() == QNetworkReply::TimeoutError) {
        fail(text("The server did not answer within %1 seconds.").arg(request_.stallSeconds));
        return;
    }
    if (reply_->error() != QNetworkReply::NoError) {
        fail(reply_->errorString());
        return;
    }
    if (file_ && !file_->flush()) {
        fail(text("The download could not be saved: %1").arg(file_->errorString()));
        return;
    }
    ended_ = true;
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
    ended_ = true;
    if (file_) {
        file_->remove();
    }
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
    emit failed(reason);
    deleteLater();
}

} // namespace staywake
