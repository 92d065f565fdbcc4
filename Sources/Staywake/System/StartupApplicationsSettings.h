#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace staywake {

/// Opens the desktop's settings for the programs started at login: KDE's
/// autostart page of System Settings on a KDE desktop that has it, else the
/// autostart folder in the file manager.
class StartupApplicationsSettings {
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    /// `currentDesktop` is XDG_CURRENT_DESKTOP ("KDE", "GNOME", "ubuntu:GNOME");
    /// `searchPath` the folders System Settings is looked for in; `configHome`
    /// the XDG config folder, whose "autostart" is opened; `openUrl` shows a
    /// folder (QDesktopServices::openUrl for the live app).
    StartupApplicationsSettings(QString currentDesktop, QStringList searchPath, QString configHome,
                                UrlOpener openUrl);

    /// For this session, from the environment.
    static StartupApplicationsSettings forThisSession();

    /// Opens the settings; false when nothing could be opened.
    bool open() const;

    QString autostartFolder() const;

private:
    QString currentDesktop_;
    QStringList searchPath_;
    QString configHome_;
    UrlOpener openUrl_;
};

} // namespace staywake
