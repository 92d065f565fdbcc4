#include "Staywake/Update/UpdateFetch.h"
#include "Support/TemporaryDirectory.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(UpdateFetch, EndsInOneSignalWithTheFileOrWhyNotAndLeavesNoPartialFile) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QByteArray answer; // empty: the server never answers
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        auto* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &answer] {
            if (socket->readAll().endsWith("\r\n\r\n") && !answer.isEmpty()) {
                socket->write(answer);
                socket->disconnectFromHost();
            }
        });
    });
    const QString local = QStringLiteral("http://127.0.0.1:%1/feed").arg(server.serverPort());
    const struct {
        QString url;
        QByteArray answer;
        QString outcome; // the file's contents, or the reason
    } cases[] = {
        {local, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello"},
        {local, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
         "The server answered 500 Internal Server Error."},
        {local, "HTTP/1.1 302 Found\r\nLocation: http://localhost:1/feed\r\nContent-Length: 0\r\n\r\n",
         "The server sent Staywake on to http://localhost:1/feed, which is not an https address."},
        {local, "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nhello!",
         "The server offered 6 bytes, more than the 5 expected."},
        {local, "HTTP/1.1 200 OK\r\n\r\nhello!", "The server sent more than the 5 bytes expected."},
        {local, "", "The server did not answer within 1 seconds."},
        {"http://localhost:1/feed", "", "http://localhost:1/feed is not an https address."},
        {"https://user@127.0.0.1:1/feed", "", "https://user@127.0.0.1:1/feed is not an https address."},
    };
    testing::TemporaryDirectory folder("staywake-update");
    const QString saved =
        QDir(QString::fromStdString(folder.path().string())).filePath(QStringLiteral("download"));
    for (const auto& c : cases) {
        answer = c.answer;
        QNetworkAccessManager network;
        QPointer fetch = new UpdateFetch(network, {QUrl(c.url), 5, QStringLiteral("Staywake/1.0"), 1, saved});
        QStringList outcomes;
        QObject::connect(fetch, &UpdateFetch::finished, [&] {
            QFile file(saved);
            outcomes << (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : file.errorString());
        });
        QObject::connect(fetch, &UpdateFetch::failed, [&](const QString& reason) { outcomes << reason; });
        // Gone, it can send nothing more.
        ASSERT_TRUE(QTest::qWaitFor([&] { return fetch.isNull(); }, 20000));
        EXPECT_EQ(outcomes.join(u'|').toStdString(), c.outcome.toStdString());
        EXPECT_EQ(QFile::exists(saved), c.outcome == "hello");
        QFile::remove(saved);
    }
}

} // namespace
} // namespace staywake
