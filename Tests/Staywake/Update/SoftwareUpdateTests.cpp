#include "Staywake/Update/SoftwareUpdate.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/TemporaryDirectory.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace staywake {
namespace {

/// The message boxes on screen, title and detail, closed once read.
std::string takeMessages() {
    QStringList shown;
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            shown << box->text() + u' ' + box->informativeText();
            box->close();
        }
    }
    return shown.join(u'|').toStdString();
}

QStringList logged;

void record(QtMsgType, const QMessageLogContext&, const QString& message) { logged << message; }

std::unique_ptr<SoftwareUpdate> updater(SoftwareUpdate::Configuration configuration,
                                        std::shared_ptr<UserDefaults> defaults) {
    return std::make_unique<SoftwareUpdate>(std::move(configuration), std::move(defaults),
                                            std::make_shared<testing::FakeDateProvider>(), Qt::LeftToRight);
}

TEST(SoftwareUpdate, InstallsOnlyAVerifiedPackageOfTheAnnouncedLengthAndAFailedInstallChangesNothing) {
    testing::TemporaryDirectory folder;
    const QDir dir(QString::fromStdString(folder.path().string()));
    const QString package = dir.filePath(QStringLiteral("staywake.deb"));
    // A key pair's public half and its signature of `signed_`.
    const QString key = QStringLiteral("GVAYaWLjtv2BaVgnzDnuXPyknU9F9+1YipA17PQqOnU=");
    const std::string signed_ = "!<arch>\ndebian-binary   " + std::string(100000, 'x');
    const QString deleted = QStringLiteral("Staywake deleted the downloaded update and installed nothing. ");
    const QString unchanged = QStringLiteral("The update was not installed; Staywake is unchanged. ");
    const struct {
        std::string written;
        int status; // the installer's; -1: it must not run
        QString told;
    } cases[] = {
        {signed_.substr(1) + "!", -1,
         deleted + "Its signature does not match the package: it is not the release that was signed."},
        {signed_.substr(1), -1, deleted + "The download has 100023 bytes, but the update announced 100024."},
        {signed_, 1, unchanged + "The installer ended with status 1."},
        {signed_, 126, unchanged + "The installation was not authorized."},
    };
    AppcastItem item;
    item.version = "2";
    item.length = signed_.size();
    item.edSignature = "YlZsIQobr+AmAN4zgdy5JRtpmDHN/w9cCXcLZJl/YCtV6weQxPkEMNpeIj/9P4zUBopB+Sqif5soL7BTSoP8Ag==";
    for (const auto& c : cases) {
        SoftwareUpdate::Configuration configuration;
        configuration.publicKey = key;
        configuration.installer = {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                   QStringLiteral("exit %1").arg(c.status), QStringLiteral("installer")};
        const auto update = updater(configuration, std::make_shared<InMemoryUserDefaults>());
        bool quit = false;
        update->quit = [&quit] { quit = true; };
        QFile file(package);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.written.data(), static_cast<qint64>(c.written.size()));
        file.close();
        update->downloaded(item, package);
        std::string told;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !(told = takeMessages()).empty(); }, 20000)) << c.status;
        EXPECT_EQ(told, c.told.toStdString());
        EXPECT_FALSE(QFile::exists(package)) << c.told.toStdString();
        if (c.status == -1) { // a started installer is a child until it ends
            EXPECT_EQ(update->findChild<QProcess*>(), nullptr) << c.told.toStdString();
        }
        EXPECT_FALSE(quit) << c.told.toStdString();
    }
}

TEST(SoftwareUpdate, AsksAtTheSecondLaunchAndTellsOnlyTheUserThatACheckFailed) {
    const auto defaults = std::make_shared<InMemoryUserDefaults>();
    const auto first = updater({}, defaults);
    first->start();
    QCoreApplication::processEvents();
    EXPECT_EQ(takeMessages(), "");

    const auto previous = qInstallMessageHandler(record);
    const auto second = updater({}, defaults); // no feed: every check fails
    second->start();
    QMessageBox* question = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (auto* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                question = box;
            }
        }
        return question != nullptr;
    }));
    EXPECT_EQ(question->text().toStdString(), "Check for updates automatically?");
    question->defaultButton()->click();
    EXPECT_TRUE(defaults->boolean(SoftwareUpdate::automaticChecksKey));
    EXPECT_TRUE(QTest::qWaitFor([] {
        return logged.contains("the scheduled update check failed: This copy of Staywake names no update feed.");
    }));
    qInstallMessageHandler(previous);
    EXPECT_EQ(takeMessages(), "");
    second->checkForUpdates();
    EXPECT_EQ(takeMessages(), "Staywake could not check for updates. This copy of Staywake names no update feed.");
}

} // namespace
} // namespace staywake
