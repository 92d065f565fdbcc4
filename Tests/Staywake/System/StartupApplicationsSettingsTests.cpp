#include "MockBuses.h"
#include "Staywake/System/StartupApplicationsSettings.h"
#include "Support/TemporaryDirectory.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <vector>

namespace staywake {
namespace {

TEST(StartupApplicationsSettings, OpensKdesAutostartPageElseTheAutostartFolder) {
    testing::TemporaryDirectory root("staywake-startup");
    const QDir folder(QString::fromStdString(root.path().string()));
    const QString bin = folder.filePath(QStringLiteral("bin"));
    const QString record = folder.filePath(QStringLiteral("ran"));
    QDir().mkpath(bin);
    // Stands in for KDE's System Settings and writes down how it was started.
    QFile program(QDir(bin).filePath(QStringLiteral("systemsettings")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(record).toUtf8());
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const struct {
        QString desktop;
        QStringList searchPath;
        bool runsSystemSettings;
    } cases[] = {
        {"KDE", {bin}, true},
        {"ubuntu:GNOME", {bin}, false},
        {"KDE", {folder.filePath(QStringLiteral("empty"))}, false},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.desktop.toStdString() + (each.searchPath.constFirst() == bin ? " with" : " without"));
        QFile::remove(record);
        std::vector<QUrl> opened;
        const QString config = folder.filePath(QStringLiteral("config"));
        StartupApplicationsSettings settings(each.desktop, each.searchPath, config, [&](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        EXPECT_TRUE(settings.open());
        if (each.runsSystemSettings) {
            EXPECT_TRUE(opened.empty());
            ASSERT_TRUE(testing::waitUntil([&] { return QFile(record).size() > 0; }));
            QFile ran(record);
            ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
            EXPECT_EQ(ran.readAll().trimmed(), "kcm_autostart");
        } else {
            ASSERT_EQ(opened.size(), 1U);
            EXPECT_EQ(opened[0], QUrl::fromLocalFile(config + QStringLiteral("/autostart")));
            EXPECT_TRUE(QDir(config + QStringLiteral("/autostart")).exists());
        }
    }
}

} // namespace
} // namespace staywake
