// StaywakeUpdateFetch URL SIZE_LIMIT STALL_SECONDS USER_AGENT: downloads URL
// and writes its body to standard output. Only https addresses are fetched
// (and plain http to 127.0.0.1, where the tests serve); a redirect anywhere
// else is refused, a transfer that stalls for STALL_SECONDS is given up, and
// one that grows past SIZE_LIMIT bytes is cut off.
//
// Standard error carries a line for each way it fails, for the app to read:
//   failed address              URL is not an address it fetches
//   failed redirect TARGET      the server sent it on to such an address
//   failed offered BYTES        the announced length is over the limit
//   failed exceeded             more than the limit arrived
//   failed status CODE PHRASE   the server answered with an error
//   failed stalled              nothing arrived for STALL_SECONDS
//   failed error TEXT           the network's own reason
//   note TEXT                   a warning of Qt's, for the app's log
// It exits 0 once the whole body is written, 1 after a "failed" line (or when
// its output is closed), and 2 for a wrong call.
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

bool isAllowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("https") ||
           (scheme == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1"));
}

/// One event line on standard error; line breaks inside `detail` (a server's
/// reason phrase, Qt's wording) become blanks so that a line is one event.
void report(const QByteArray& event, const QString& detail = {}) {
    QByteArray line = event;
    if (!detail.isEmpty()) {
        line += ' ' + detail.toUtf8().replace('\n', ' ').replace('\r', ' ');
    }
    line += '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
}

bool writeAll(const QByteArray& bytes) {
    const char* next = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, next, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

template <typename Number> bool parse(std::string_view text, Number& value, Number lowest, Number highest) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= lowest && value <= highest;
}

/// One transfer, from the request to the exit status.
class Fetch {
public:
    Fetch(QNetworkAccessManager& network, const QUrl& url, qint64 sizeLimit, int stallSeconds,
          const QString& userAgent)
        : sizeLimit_(sizeLimit) {
        QNetworkRequest get(url);
        get.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
        get.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
        get.setMaximumRedirectsAllowed(5);
        get.setTransferTimeout(stallSeconds * 1000);
        get.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        reply_ = network.get(get);
        QObject::connect(reply_, &QNetworkReply::redirected, [this](const QUrl& target) {
            if (isAllowed(target)) {
                emit reply_->redirectAllowed();
            } else {
                fail("failed redirect", target.toDisplayString());
            }
        });
        QObject::connect(reply_, &QNetworkReply::metaDataChanged, [this] {
            const auto announced = reply_->header(QNetworkRequest::ContentLengthHeader);
            if (announced.isValid() && announced.toLongLong() > sizeLimit_) {
                fail("failed offered", QString::number(announced.toLongLong()));
            }
        });
        QObject::connect(reply_, &QNetworkReply::readyRead, [this] { take(); });
        QObject::connect(reply_, &QNetworkReply::finished, [this] { end(); });
    }

private:
    void take() {
        if (ended_) {
            return;
        }
        const QByteArray part = reply_->readAll();
        received_ += part.size();
        if (received_ > sizeLimit_) {
            fail("failed exceeded");
        } else if (!writeAll(part)) {
            fail("failed error", QString::fromLocal8Bit(std::strerror(errno)));
        }
    }

    void end() {
        take();
        if (ended_) {
            return;
        }
        const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 400) {
            fail("failed status", QStringLiteral("%1 %2").arg(status).arg(
                                      reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        } else if (reply_->error() == QNetworkReply::OperationCanceledError ||
                   reply_->error() == QNetworkReply::TimeoutError) {
            fail("failed stalled");
        } else if (reply_->error() != QNetworkReply::NoError) {
            fail("failed error", reply_->errorString());
        } else {
            ended_ = true;
            QCoreApplication::exit(0);
        }
    }

    void fail(const QByteArray& event, const QString& detail = {}) {
        if (ended_) {
            return;
        }
        ended_ = true;
        report(event, detail);
        reply_->disconnect();
        reply_->abort();
        QCoreApplication::exit(1);
    }

    QNetworkReply* reply_ = nullptr;
    qint64 sizeLimit_;
    qint64 received_ = 0;
    bool ended_ = false;
};

} // namespace

int main(int argc, char** argv) {
    // It works for the app alone: it ends with it, and a closed output ends
    // it with a failed write rather than a signal.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1) {
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { report("note", message); });

    qint64 sizeLimit = 0;
    int stallSeconds = 0;
    if (argc != 5 || !parse<qint64>(argv[2], sizeLimit, 1, qint64{1} << 40) ||
        !parse(argv[3], stallSeconds, 1, 3600)) {
        std::fputs("usage: StaywakeUpdateFetch URL SIZE_LIMIT STALL_SECONDS USER_AGENT\n", stderr);
        return 2;
    }
    const QUrl url(QString::fromUtf8(argv[1]), QUrl::StrictMode);
    const QString userAgent = QString::fromUtf8(argv[4]);
    if (!isAllowed(url)) {
        report("failed address");
        return 1;
    }
    int appArgc = 1;
    QCoreApplication app(appArgc, argv);
    QNetworkAccessManager network;
    Fetch fetch(network, url, sizeLimit, stallSeconds, userAgent);
    return QCoreApplication::exec();
}
