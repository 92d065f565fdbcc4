#pragma once

#include "Staywake/Quit/QuitConfirmationDelegate.h"
#include "Staywake/Update/UpdateFetch.h"
#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Defaults/UserDefaults.h"
#include "StaywakeCore/Update/Appcast.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QProcess;
class QProgressDialog;

namespace staywake {

class UpdateDialog;

/// The app's updater: checks the release feed named in the bundle's
/// Info.plist when the user asks and, once the user has agreed, once a day;
/// offers a newer release; downloads it, checks its length and Ed25519
/// signature, hands it to the system installer, and relaunches into it
/// through the ordinary quit. The shell creates the one instance at start.
class SoftwareUpdate final : public QObject {
    Q_OBJECT

public:
    /// The updater's settings, from the bundle's Info.plist.
    struct Configuration {
        /// SUFeedURL.
        QUrl feed;
        /// SUPublicEDKey, base64; empty: updates are offered but not installed.
        QString publicKey;
        /// CFBundleVersion, compared with the feed's versions.
        QString version;
        /// CFBundleShortVersionString, shown.
        QString shortVersion;
        /// The running system's version, compared with an item's minimum.
        std::optional<std::string> systemVersion;
        /// The command the verified package's path is appended to
        /// (StaywakeUpdateInstaller in Info.plist; tests put a stand-in there).
        QStringList installer = {QStringLiteral("pkexec"), QStringLiteral("apt-get"), QStringLiteral("install")};
        /// The bundle's StaywakeUpdateVerify, which checks each package's signature.
        std::string verifier;
        /// The bundle's StaywakeUpdateFetch, which downloads the feed, notes and packages.
        std::string fetcher;
        /// What is started once this process has ended.
        std::filesystem::path program;
        /// Where packages are downloaded to.
        QString downloads;

        /// The configuration of the bundle around `program`.
        static Configuration fromBundle(const std::filesystem::path& program);
    };

    static constexpr const char* automaticChecksKey = "SUEnableAutomaticChecks";
    static constexpr const char* lastCheckTimeKey = "SULastCheckTime";
    static constexpr const char* hasLaunchedBeforeKey = "SUHasLaunchedBefore";
    static constexpr const char* skippedVersionKey = "SUSkippedVersion";
    /// Seconds between scheduled checks.
    static constexpr double checkInterval = 24 * 60 * 60;

    SoftwareUpdate(Configuration configuration, std::shared_ptr<UserDefaults> defaults,
                   std::shared_ptr<const DateProvider> dates, Qt::LayoutDirection direction,
                   QObject* parent = nullptr);
    ~SoftwareUpdate() override;

    /// Told just before the app quits to relaunch into an installed update.
    std::weak_ptr<QuitConfirmationDelegate> quitConfirmation;
    /// Quits the app the ordinary way.
    std::function<void()> quit;

    /// At launch: asks about automatic checks at the second launch, and
    /// schedules them when the user agreed.
    void start();
    /// The user's check: always ends in an answer on screen.
    void checkForUpdates();
    /// The package downloaded for `item` at `path`: deleted unless it has the
    /// announced length and signature, else handed to the installer.
    void downloaded(const AppcastItem& item, const QString& path);

private:
    enum class Origin { user, scheduled };

    void askAboutAutomaticChecks();
    void scheduleNextCheck();
    void check(Origin origin);
    void checked(const QByteArray& feed);
    void checkFailed(const QString& reason);
    void offer(const AppcastItem& item);
    void install(const AppcastItem& item);
    void installed(const AppcastItem& item, int status, const QString& path);
    void tell(const QString& title, const QString& detail);
    QString userAgent() const;
    UpdateFetch* fetch(const UpdateFetch::Request& request, QObject* parent);

    Configuration configuration_;
    std::shared_ptr<UserDefaults> defaults_;
    std::shared_ptr<const DateProvider> dates_;
    Qt::LayoutDirection direction_;
    QTimer schedule_;
    QPointer<UpdateFetch> checking_;
    bool userIsWaiting_ = false;
    QPointer<UpdateDialog> dialog_;
    QPointer<UpdateFetch> downloading_;
    QPointer<QProgressDialog> progress_;
    QPointer<QProcess> installer_;
};

} // namespace staywake
