#include "Staywake/System/StartupApplicationsSettings.h"
#include "Support/MockBusLauncher.h"
#include "Support/TemporaryDirectory.h"

#include <QDir>
#include <QFile>
#include <vector>

namespace staywake {
namespace {

TEST(StartupApplicationsSettings, OpensKdesAutostartPageElseTheAutostartFolder) {
    testing::TemporaryDirectory root("staywake-startup");
    const QDir folder(QString::fromStdString(root.path().string()));
    const QString bin = folder.filePath(QStringLiteral("bin"));
    const QString record = folder.filePath(QStringLiteral("ran"));
    const QString autostart = folder.filePath(QStringLiteral("config/autostart"));
    QDir().mkpath(bin);
    // Stands in for KDE's System Settings and writes down how it was started.
    QFile program(QDir(bin).filePath(QStringLiteral("systemsettings")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(record).toUtf8());
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const struct {
        QString desktop;
        QString searchPath;
        bool runsSystemSettings;
    } cases[] = {{"KDE", bin, true}, {"ubuntu:GNOME", bin, false}, {"KDE", folder.filePath("empty"), false}};
    for (const auto& each : cases) {
        SCOPED_TRACE((each.desktop + " " + each.searchPath).toStdString());
        std::vector<QUrl> opened;
        StartupApplicationsSettings settings(each.desktop, {each.searchPath}, folder.filePath("config"),
                                             [&](const QUrl& url) {
                                                 opened.push_back(url);
                                                 return true;
                                             });
        EXPECT_TRUE(settings.open());
        if (each.runsSystemSettings) {
            EXPECT_TRUE(opened.empty());
            QFile ran(record);
            ASSERT_TRUE(testing::waitUntil([&] { return ran.size() > 0; }));
            ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
            EXPECT_EQ(ran.readAll().trimmed(), "kcm_autostart");
        } else {
            EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(autostart)});
            EXPECT_TRUE(QDir(autostart).exists());
        }
    }
}

} // namespace
} // namespace staywake
