#include "Staywake/Update/SoftwareUpdate.h"

#include "Staywake/App/AppLog.h"
#include "Staywake/Settings/AboutSources.h"
#include "Staywake/Update/UpdateDialog.h"
#include "StaywakeLinux/Bundle/BundleInfo.h"
#include "StaywakeLinux/Update/RelaunchAfterExit.h"
#include "ZorIdiDurirad/UpdateSignature.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace staywake {

namespace {

QString text(const char* key) { return QCoreApplication::translate("Localizable", key); }

/// Release notes are a page of text; anything bigger is not shown.
constexpr qint64 releaseNotesLimit = 256 * 1024;

QString stringIn(const PropertyValue::Dictionary& info, const char* key) {
    const auto found = info.find(key);
    if (found == info.end()) {
        return {};
    }
    const auto* value = found->second.as<std::string>();
    return value ? QString::fromStdString(*value).trimmed() : QString();
}

/// os-release's VERSION_ID, the part of "debian-12" after the ID.
std::optional<std::string> runningSystemVersion() {
    const auto system = readOperatingSystem();
    if (!system) {
        return std::nullopt;
    }
    const auto dash = system->rfind('-');
    if (dash == std::string::npos || dash + 1 == system->size()) {
        return std::nullopt;
    }
    return system->substr(dash + 1);
}

QString refusalSentence(const UpdateSignature::Refusal& refusal) {
    using Reason = UpdateSignature::Refusal::Reason;
    switch (refusal.reason) {
    case Reason::noKey:
        return text("This copy of Staywake has no valid key to check updates with.");
    case Reason::unsigned_:
        return text("The update is not signed.");
    case Reason::malformedSignature:
        return text("The update's signature is malformed.");
    case Reason::unreadable:
        return text("The download could not be read: %1").arg(QString::fromStdString(refusal.detail));
    case Reason::mismatch:
        break;
    }
    return text("Its signature does not match the package: it is not the release that was signed.");
}

} // namespace

SoftwareUpdate::Configuration SoftwareUpdate::Configuration::fromBundle(const std::filesystem::path& program) {
    Configuration configuration;
    configuration.program = program;
    configuration.verifier = UpdateSignature::verifierFor(program);
    configuration.fetcher = UpdateFetch::fetcherFor(program);
    configuration.systemVersion = runningSystemVersion();
    configuration.downloads = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                              QStringLiteral("/staywake/updates");
    const auto info = BundleInfo::around(program);
    if (!info) {
        return configuration;
    }
    configuration.feed = QUrl(stringIn(*info, "SUFeedURL"));
    configuration.publicKey = stringIn(*info, "SUPublicEDKey");
    configuration.version = stringIn(*info, "CFBundleVersion");
    configuration.shortVersion = stringIn(*info, "CFBundleShortVersionString");
    if (const auto found = info->find("StaywakeUpdateInstaller"); found != info->end()) {
        if (const auto* words = found->second.as<PropertyValue::Array>(); words && !words->empty()) {
            QStringList installer;
            for (const auto& word : *words) {
                if (const auto* part = word.as<std::string>()) {
                    installer << QString::fromStdString(*part);
                }
            }
            if (installer.size() == static_cast<qsizetype>(words->size())) {
                configuration.installer = installer;
            }
        }
    }
    return configuration;
}

SoftwareUpdate::SoftwareUpdate(Configuration configuration, std::shared_ptr<UserDefaults> defaults,
                               std::shared_ptr<const DateProvider> dates, Qt::LayoutDirection direction,
                               QObject* parent)
    : QObject(parent), configuration_(std::move(configuration)), defaults_(std::move(defaults)),
      dates_(std::move(dates)), direction_(direction) {
    schedule_.setSingleShot(true);
    schedule_.setTimerType(Qt::VeryCoarseTimer);
    connect(&schedule_, &QTimer::timeout, this, [this] { check(Origin::scheduled); });
}

SoftwareUpdate::~SoftwareUpdate() = default;

UpdateFetch* SoftwareUpdate::fetch(const UpdateFetch::Request& request, QObject* parent) {
    return new UpdateFetch(QString::fromStdString(configuration_.fetcher), request, parent);
}

void SoftwareUpdate::start() {
    if (const auto agreed = defaults_->object(automaticChecksKey)) {
        if (defaults_->boolean(automaticChecksKey)) {
            scheduleNextCheck();
        }
        return;
    }
    // The first launch is for the app itself; the question waits for the second.
    if (!defaults_->boolean(hasLaunchedBeforeKey)) {
        defaults_->set(hasLaunchedBeforeKey, true);
        return;
    }
    QMetaObject::invokeMethod(this, &SoftwareUpdate::askAboutAutomaticChecks, Qt::QueuedConnection);
}

void SoftwareUpdate::askAboutAutomaticChecks() {
    auto* box = new QMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("Staywake"));
    box->setIcon(QMessageBox::Question);
    box->setLayoutDirection(direction_);
    box->setText(text("Check for updates automatically?"));
    box->setInformativeText(text("Staywake can look for a newer version once a day. You can always check with "
                                 "“Check for Updates…” in the settings menu."));
    auto* yes = box->addButton(text("Check Automatically"), QMessageBox::AcceptRole);
    auto* no = box->addButton(text("Don't Check"), QMessageBox::RejectRole);
    box->setDefaultButton(yes);
    box->setEscapeButton(no);
    connect(box, &QMessageBox::buttonClicked, this, [this, yes](QAbstractButton* button) {
        const bool agreed = button == yes;
        defaults_->set(automaticChecksKey, agreed);
        qCInfo(appLog) << "automatic update checks" << (agreed ? "turned on" : "turned off");
        if (agreed) {
            scheduleNextCheck();
        }
    });
    box->open();
}

void SoftwareUpdate::scheduleNextCheck() {
    double wait = 0;
    if (const auto last = defaults_->object(lastCheckTimeKey)) {
        if (const auto* date = last->as<Date>()) {
            // A last check in the future (a clock set back) counts as now.
            wait = std::clamp(checkInterval - (dates_->now() - *date), 0.0, checkInterval);
        }
    }
    schedule_.start(static_cast<int>(std::ceil(wait)) * 1000);
}

void SoftwareUpdate::checkForUpdates() { check(Origin::user); }

void SoftwareUpdate::check(Origin origin) {
    // An update already on screen, downloading or installing is the answer.
    for (QWidget* shown : {static_cast<QWidget*>(dialog_.data()), static_cast<QWidget*>(progress_.data())}) {
        if (shown && shown->isVisible()) {
            if (origin == Origin::user) {
                shown->raise();
                shown->activateWindow();
            }
            return;
        }
    }
    if (installer_) {
        return;
    }
    if (origin == Origin::user) {
        userIsWaiting_ = true;
    }
    if (checking_) {
        return; // the running check answers the user too
    }
    if (!configuration_.feed.isValid() || configuration_.feed.isEmpty()) {
        checkFailed(text("This copy of Staywake names no update feed."));
        return;
    }
    defaults_->set(lastCheckTimeKey, dates_->now());
    checking_ = fetch({configuration_.feed, static_cast<qint64>(Appcast::sizeLimit), userAgent(), 30, {}}, this);
    connect(checking_, &UpdateFetch::finished, this, &SoftwareUpdate::checked);
    connect(checking_, &UpdateFetch::failed, this, &SoftwareUpdate::checkFailed);
}

void SoftwareUpdate::checked(const QByteArray& feed) {
    const bool userIsWaiting = std::exchange(userIsWaiting_, false);
    if (defaults_->boolean(automaticChecksKey)) {
        scheduleNextCheck();
    }
    const auto parsed = Appcast::parse(std::string_view(feed.constData(), static_cast<std::size_t>(feed.size())));
    if (const auto* error = std::get_if<Appcast::Error>(&parsed)) {
        userIsWaiting_ = userIsWaiting;
        checkFailed(QString::fromStdString(error->reason));
        return;
    }
    const auto& appcast = std::get<Appcast>(parsed);
    for (const auto& reason : appcast.skipped) {
        qCInfo(appLog).noquote() << "the update feed's" << QString::fromStdString(reason);
    }
    std::optional<std::string> skipped;
    if (!userIsWaiting) {
        if (const auto value = defaults_->object(skippedVersionKey); value && value->as<std::string>()) {
            skipped = *value->as<std::string>();
        }
    }
    const auto choice =
        appcast.newestApplicable(configuration_.version.toStdString(), configuration_.systemVersion, skipped);
    if (choice.update) {
        offer(*choice.update);
    } else if (userIsWaiting && choice.needsNewerSystem) {
        tell(text("You're up to date!"),
             text("Staywake %1 is available, but it needs system version %2 or newer.")
                 .arg(QString::fromStdString(choice.needsNewerSystem->shortVersion),
                      QString::fromStdString(choice.needsNewerSystem->minimumSystemVersion.value_or(""))));
    } else if (userIsWaiting) {
        tell(text("You're up to date!"),
             text("Staywake %1 is currently the newest version available.").arg(configuration_.shortVersion));
    } else {
        qCInfo(appLog) << "the scheduled update check found nothing newer";
    }
}

void SoftwareUpdate::checkFailed(const QString& reason) {
    if (defaults_->boolean(automaticChecksKey)) {
        scheduleNextCheck();
    }
    if (std::exchange(userIsWaiting_, false)) {
        tell(text("Staywake could not check for updates."), reason);
    } else {
        qCWarning(appLog).noquote() << "the scheduled update check failed:" << reason;
    }
}

void SoftwareUpdate::offer(const AppcastItem& item) {
    dialog_ = new UpdateDialog(item, configuration_.shortVersion, direction_);
    connect(dialog_, &UpdateDialog::answered, this, [this, item](UpdateDialog::Answer answer) {
        switch (answer) {
        case UpdateDialog::Answer::install:
            install(item);
            break;
        case UpdateDialog::Answer::skip:
            defaults_->set(skippedVersionKey, item.version);
            break;
        case UpdateDialog::Answer::remindLater:
            break;
        }
    });
    if (!item.description.empty()) {
        dialog_->setReleaseNotes(QString::fromStdString(item.description));
    } else if (item.releaseNotesLink) {
        auto* notes =
            fetch({QUrl(QString::fromStdString(*item.releaseNotesLink)), releaseNotesLimit, userAgent(), 30, {}},
                  dialog_);
        connect(notes, &UpdateFetch::finished, dialog_,
                [dialog = dialog_](const QByteArray& html) { dialog->setReleaseNotes(QString::fromUtf8(html)); });
        connect(notes, &UpdateFetch::failed, this, [](const QString& reason) {
            qCInfo(appLog).noquote() << "the release notes could not be fetched:" << reason;
        });
    }
    dialog_->show();
}

void SoftwareUpdate::install(const AppcastItem& item) {
    const QString version = QString::fromStdString(item.shortVersion);
    if (configuration_.publicKey.isEmpty()) {
        tell(text("Staywake cannot install this update."),
             text("This copy of Staywake was built without the key that checks update packages, so it installs "
                  "none. Download Staywake %1 from its website instead.")
                 .arg(version));
        return;
    }
    if (!QDir().mkpath(configuration_.downloads)) {
        tell(text("Staywake cannot install this update."),
             text("The download could not be saved: %1").arg(configuration_.downloads));
        return;
    }
    const QString name = QFileInfo(QUrl(QString::fromStdString(item.url)).path()).fileName();
    const QString path = QDir(configuration_.downloads)
                             .absoluteFilePath(QStringLiteral("staywake-%1-%2")
                                                   .arg(QString::fromStdString(item.version),
                                                        name.isEmpty() ? QStringLiteral("update.deb") : name));
    downloading_ = fetch(
        {QUrl(QString::fromStdString(item.url)), static_cast<qint64>(item.length), userAgent(), 60, path}, this);

    progress_ = new QProgressDialog(text("Downloading Staywake %1…").arg(version), text("Cancel"), 0, 100);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->setWindowTitle(text("Software Update"));
    progress_->setLayoutDirection(direction_);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    progress_->show();
    connect(progress_, &QProgressDialog::canceled, this, [this] {
        if (downloading_) {
            downloading_->cancel();
            qCInfo(appLog) << "the update download was cancelled";
        }
        progress_->close();
    });
    connect(downloading_, &UpdateFetch::progress, progress_, [this, item](qint64 received) {
        progress_->setValue(static_cast<int>(100 * received / static_cast<qint64>(item.length)));
    });
    // Closing the progress dialog counts as its Cancel, so it is closed
    // without that once the download has ended.
    const auto closeProgress = [this] {
        if (progress_) {
            progress_->disconnect(this);
            progress_->close();
        }
    };
    connect(downloading_, &UpdateFetch::finished, this, [this, item, path, closeProgress] {
        closeProgress();
        downloaded(item, path);
    });
    connect(downloading_, &UpdateFetch::failed, this, [this, closeProgress](const QString& reason) {
        closeProgress();
        tell(text("The update could not be downloaded."), reason);
    });
}

void SoftwareUpdate::downloaded(const AppcastItem& item, const QString& path) {
    const qint64 size = QFileInfo(path).size();
    if (size != static_cast<qint64>(item.length)) {
        QFile::remove(path);
        tell(text("Staywake deleted the downloaded update and installed nothing."),
             text("The download has %1 bytes, but the update announced %2.").arg(size).arg(item.length));
        return;
    }
    if (const auto refusal = UpdateSignature::problem(configuration_.verifier, path.toStdString(),
                                                      item.edSignature, configuration_.publicKey.toStdString())) {
        QFile::remove(path);
        qCWarning(appLog).noquote() << "refused the update" << QString::fromStdString(item.version) << "from"
                                    << QString::fromStdString(item.url) + u':'
                                    << QString::fromStdString(refusal->detail);
        tell(text("Staywake deleted the downloaded update and installed nothing."), refusalSentence(*refusal));
        return;
    }
    qCInfo(appLog).noquote() << "the update" << QString::fromStdString(item.version)
                             << "is verified; handing it to" << configuration_.installer.join(u' ');
    installer_ = new QProcess(this);
    installer_->setProgram(configuration_.installer.first());
    installer_->setArguments(configuration_.installer.mid(1) << path);
    installer_->setProcessChannelMode(QProcess::ForwardedChannels);
    installer_->setStandardInputFile(QProcess::nullDevice());
    connect(installer_, &QProcess::finished, this, [this, item, path](int status, QProcess::ExitStatus how) {
        installer_->deleteLater();
        installed(item, how == QProcess::NormalExit ? status : -1, path);
    });
    connect(installer_, &QProcess::errorOccurred, this, [this, item, path](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            installer_->deleteLater();
            QFile::remove(path);
            tell(text("The update was not installed; Staywake is unchanged."),
                 text("The installer %1 could not be started.").arg(configuration_.installer.first()));
        }
    });
    installer_->start();
}

void SoftwareUpdate::installed(const AppcastItem& item, int status, const QString& path) {
    QFile::remove(path);
    if (status != 0) {
        qCWarning(appLog) << "the installer ended with status" << status;
        tell(text("The update was not installed; Staywake is unchanged."),
             status == 126 ? text("The installation was not authorized.")
                           : text("The installer ended with status %1.").arg(status));
        return;
    }
    if (const auto problem = RelaunchAfterExit::arrange(configuration_.program)) {
        qCWarning(appLog).noquote() << "cannot relaunch:" << QString::fromStdString(*problem);
        tell(text("Staywake %1 is installed.").arg(QString::fromStdString(item.shortVersion)),
             text("Quit Staywake and start it again to use it."));
        return;
    }
    qCInfo(appLog).noquote() << "installed"
                             << QString::fromStdString(item.version) + QStringLiteral("; relaunching");
    if (const auto confirmation = quitConfirmation.lock()) {
        confirmation->isRelaunchingForUpdate = true;
    }
    if (quit) {
        quit();
    }
}

void SoftwareUpdate::tell(const QString& title, const QString& detail) {
    auto* box = new QMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(text("Software Update"));
    box->setIcon(QMessageBox::Information);
    box->setLayoutDirection(direction_);
    box->setText(title);
    box->setInformativeText(detail);
    box->addButton(QMessageBox::Ok)->setText(text("OK"));
    box->open();
}

QString SoftwareUpdate::userAgent() const {
    return QStringLiteral("Staywake/%1 (%2; Linux)").arg(configuration_.shortVersion, configuration_.version);
}

} // namespace staywake
