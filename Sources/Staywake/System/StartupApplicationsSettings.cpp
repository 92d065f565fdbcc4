#include "Staywake/System/StartupApplicationsSettings.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace staywake {

StartupApplicationsSettings::StartupApplicationsSettings(QString currentDesktop, QStringList searchPath,
                                                         QString configHome, UrlOpener openUrl)
    : currentDesktop_(std::move(currentDesktop)), searchPath_(std::move(searchPath)),
      configHome_(std::move(configHome)), openUrl_(std::move(openUrl)) {}

StartupApplicationsSettings StartupApplicationsSettings::forThisSession() {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty()) {
        configHome = QDir::home().filePath(QStringLiteral(".config"));
    }
    return StartupApplicationsSettings(qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                                       qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts), configHome,
                                       [](const QUrl& url) { return QDesktopServices::openUrl(url); });
}

QString StartupApplicationsSettings::autostartFolder() const {
    return QDir(configHome_).filePath(QStringLiteral("autostart"));
}

bool StartupApplicationsSettings::open() const {
    // XDG_CURRENT_DESKTOP is a colon-separated list of names.
    if (currentDesktop_.split(u':').contains(QStringLiteral("KDE"), Qt::CaseInsensitive)) {
        // Plasma 5 names the program either way, depending on the release.
        for (const char* name : {"systemsettings", "systemsettings5"}) {
            const QString program = QStandardPaths::findExecutable(QString::fromLatin1(name), searchPath_);
            if (!program.isEmpty() && QProcess::startDetached(program, {QStringLiteral("kcm_autostart")})) {
                return true;
            }
        }
    }
    // A file manager cannot show a folder that does not exist yet.
    const QString folder = autostartFolder();
    QDir().mkpath(folder);
    return openUrl_ && openUrl_(QUrl::fromLocalFile(folder));
}

} // namespace staywake
