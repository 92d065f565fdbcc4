#include "Staywake/Update/SoftwareUpdate.h"
#include "Staywake/Update/UpdateFetch.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/TemporaryDirectory.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>

namespace staywake {
namespace {

/// What `fetcher` fetching `url` ended in: the saved file's contents, or why not.
QString fetched(const QString& fetcher, const QString& url, const QString& saved) {
    QPointer fetch = new UpdateFetch(fetcher, {QUrl(url), 5, QStringLiteral("Staywake/1.0"), 1, saved});
    QStringList outcomes;
    QObject::connect(fetch, &UpdateFetch::finished, [&] {
        QFile file(saved);
        outcomes << (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : file.errorString());
    });
    QObject::connect(fetch, &UpdateFetch::failed, [&](const QString& reason) { outcomes << reason; });
    // Gone, it can send nothing more.
    EXPECT_TRUE(QTest::qWaitFor([&] { return fetch.isNull(); }, 20000)) << url.toStdString();
    return outcomes.join(u'|');
}

TEST(UpdateFetch, EndsInOneSignalWithTheFileOrWhyNotAndLeavesNoPartialFile) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QByteArray answer;  // empty: the server never answers
    QByteArray request; // what the server read of the last request
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        auto* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &answer, &request] {
            request += socket->readAll();
            if (request.endsWith("\r\n\r\n") && !answer.isEmpty()) {
                socket->write(answer);
                socket->disconnectFromHost();
            }
        });
    });
    const QString local = QStringLiteral("http://127.0.0.1:%1/feed").arg(server.serverPort());
    testing::TemporaryDirectory folder("staywake-update");
    const auto script = [&folder](const char* name, const std::string& body) {
        const auto path = folder.path() / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return QString::fromStdString(path.string());
    };
    const QString fetcher = STAYWAKE_UPDATE_FETCH;
    const struct {
        QString fetcher;
        QString url;
        QByteArray answer;
        QString outcome; // the file's contents, or the reason
    } cases[] = {
        {fetcher, local, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello"},
        {fetcher, local, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
         "The server answered 500 Internal Server Error."},
        {fetcher, local, "HTTP/1.1 302 Found\r\nLocation: http://localhost:1/feed\r\nContent-Length: 0\r\n\r\n",
         "The server sent Staywake on to http://localhost:1/feed, which is not an https address."},
        {fetcher, local, "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nhello!",
         "The server offered 6 bytes, more than the 5 expected."},
        {fetcher, local, "HTTP/1.1 200 OK\r\n\r\nhello!", "The server sent more than the 5 bytes expected."},
        {fetcher, local, "", "The server did not answer within 1 seconds."},
        {fetcher, "http://localhost:1/feed", "", "http://localhost:1/feed is not an https address."},
        {fetcher, "https://user@127.0.0.1:1/feed", "", "https://user@127.0.0.1:1/feed is not an https address."},
        // The fetcher itself failing: missing, ending without a reason, or
        // falling silent after part of the body (stopped past its own limit).
        {QString::fromStdString((folder.path() / "missing").string()), local, "",
         "The downloader could not run: execvp: No such file or directory"},
        {script("quits", "exit 3"), local, "", "The downloader ended with status 3."},
        {script("hangs", "printf hel; exec sleep 60"), local, "", "The server did not answer within 1 seconds."},
    };
    const QString saved = QString::fromStdString((folder.path() / "download").string());
    for (const auto& c : cases) {
        answer = c.answer;
        request.clear();
        EXPECT_EQ(fetched(c.fetcher, c.url, saved).toStdString(), c.outcome.toStdString());
        EXPECT_EQ(QFile::exists(saved), c.outcome == "hello") << c.outcome.toStdString();
        EXPECT_TRUE(c.fetcher != fetcher || !c.url.startsWith(local) ||
                    request.contains("\r\nUser-Agent: Staywake/1.0\r\n"))
            << request.data();
        QFile::remove(saved);
    }
    // Deleted mid-transfer (its dialog closed, the app quitting), it leaves
    // no partial file.
    auto* abandoned =
        new UpdateFetch(script("slow", "printf hel; exec sleep 60"), {QUrl(local), 5, {}, 30, saved});
    qint64 received = 0;
    QObject::connect(abandoned, &UpdateFetch::progress, [&received](qint64 bytes) { received = bytes; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == 3; }, 20000));
    ASSERT_TRUE(QFile::exists(saved));
    delete abandoned;
    EXPECT_FALSE(QFile::exists(saved));
}

/// The message box on screen, title and detail, closed once read.
std::string takeMessage() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box) {
        box->close();
    }
    return box ? (box->text() + u' ' + box->informativeText()).toStdString() : "";
}

QStringList logged;

/// An updater with no feed, so every check fails, and an installer that runs `script`.
std::unique_ptr<SoftwareUpdate> updater(std::shared_ptr<UserDefaults> defaults, const QString& script = {}) {
    SoftwareUpdate::Configuration configuration;
    configuration.publicKey = QStringLiteral("GVAYaWLjtv2BaVgnzDnuXPyknU9F9+1YipA17PQqOnU=");
    configuration.verifier = STAYWAKE_UPDATE_VERIFY;
    configuration.fetcher = STAYWAKE_UPDATE_FETCH;
    configuration.installer = {QStringLiteral("/bin/sh"), QStringLiteral("-c"), script,
                               QStringLiteral("installer")};
    return std::make_unique<SoftwareUpdate>(configuration, std::move(defaults),
                                            std::make_shared<testing::FakeDateProvider>(), Qt::LeftToRight);
}

TEST(SoftwareUpdate, InstallsOnlyAVerifiedPackageOfTheAnnouncedLengthAndAFailedInstallChangesNothing) {
    testing::TemporaryDirectory folder;
    const auto package = folder.path() / "staywake.deb";
    const std::string signed_ = "!<arch>\ndebian-binary   " + std::string(100000, 'x');
    const struct {
        std::string written;
        int status; // the installer's; -1: it must not start
        std::string told;
    } cases[] = {
        {signed_.substr(1) + "!", -1,
         "Staywake deleted the downloaded update and installed nothing. Its signature does not match the package: "
         "it is not the release that was signed."},
        {signed_.substr(1), -1,
         "Staywake deleted the downloaded update and installed nothing. The download has 100023 bytes, but the "
         "update announced 100024."},
        {signed_, 1, "The update was not installed; Staywake is unchanged. The installer ended with status 1."},
    };
    AppcastItem item;
    item.length = signed_.size();
    // The key's signature of `signed_`.
    item.edSignature = "YlZsIQobr+AmAN4zgdy5JRtpmDHN/w9cCXcLZJl/YCtV6weQxPkEMNpeIj/9P4zUBopB+Sqif5soL7BTSoP8Ag==";
    for (const auto& c : cases) {
        const auto update =
            updater(std::make_shared<InMemoryUserDefaults>(), QStringLiteral("exit %1").arg(c.status));
        bool quit = false;
        update->quit = [&quit] { quit = true; };
        std::ofstream(package, std::ios::binary) << c.written;
        update->downloaded(item, QString::fromStdString(package.string()));
        std::string told;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !(told = takeMessage()).empty(); })) << c.told;
        EXPECT_EQ(told, c.told);
        EXPECT_FALSE(std::filesystem::exists(package)) << c.told;
        // A started installer is a child until it ends.
        EXPECT_TRUE(c.status != -1 || !update->findChild<QProcess*>()) << c.told;
        EXPECT_FALSE(quit) << c.told;
    }
}

TEST(SoftwareUpdate, AsksAtTheSecondLaunchAndTellsOnlyTheUserThatACheckFailed) {
    const auto defaults = std::make_shared<InMemoryUserDefaults>();
    const auto first = updater(defaults);
    first->start();
    QCoreApplication::processEvents();
    EXPECT_EQ(takeMessage(), "");

    const auto previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { logged << message; });
    const auto second = updater(defaults);
    second->start();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
    auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    EXPECT_EQ(question->text().toStdString(), "Check for updates automatically?");
    question->defaultButton()->click();
    EXPECT_TRUE(defaults->boolean(SoftwareUpdate::automaticChecksKey));
    EXPECT_TRUE(QTest::qWaitFor([] {
        return logged.contains("the scheduled update check failed: This copy of Staywake names no update feed.");
    }));
    qInstallMessageHandler(previous);
    EXPECT_EQ(takeMessage(), "");
    second->checkForUpdates();
    EXPECT_EQ(takeMessage(), "Staywake could not check for updates. This copy of Staywake names no update feed.");
}

} // namespace
} // namespace staywake
