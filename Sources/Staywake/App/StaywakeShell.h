#pragma once

#include "Staywake/App/AppLocalization.h"
#include "Staywake/App/StaywakeApp.h"
#include "Staywake/Quit/QuitConfirmationDelegate.h"
#include "Staywake/Update/SoftwareUpdate.h"

#include <QDBusConnection>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace staywake {

class AwakePanel;
class DesktopNotice;
class PanelWindow;
class SettingsMenu;
class TrayItem;

/// What the user sees of the app: the tray item and the panel it opens, or,
/// without a tray, the panel as an ordinary window whose closing quits. Owns
/// the views; the controllers are shared with them.
///
/// Beside a tray the panel and its window are built on their first opening:
/// an app that sits in the tray all day never pays for widgets, text layout
/// and duration wording it does not show. The tray menu's commands stand on
/// their own, and a problem or a list of holders that arrives first is
/// handed to the panel when it is built.
class StaywakeShell final : public QObject {
    Q_OBJECT

public:
    struct Options {
        AppLocalization localization;
        /// Whether the desktop asks for less motion: asked when the panel is
        /// first built, so that start-up does not wait on the desktop portal.
        std::function<bool()> reduceMotion;
        /// Whether the desktop has a tray to put the item in.
        bool trayAvailable = true;
        QDBusConnection sessionBus = QDBusConnection(QString());
        /// The panel's "Open Login Items…" link and the settings menu's
        /// update check.
        std::function<void()> openLoginItems;
        std::function<void()> checkForUpdates;
        /// Asks the system to approve Night Brew's helper; calls `finished`
        /// once the system has answered, whatever it said.
        std::function<void(std::function<void()> finished)> approveHelper;
        /// What the updater needs; with it the shell owns the updater, which
        /// "Check for Updates…" then calls (checkForUpdates is not used).
        struct Update {
            SoftwareUpdate::Configuration configuration;
            std::shared_ptr<UserDefaults> defaults;
            std::shared_ptr<const DateProvider> dates;
        };
        std::optional<Update> update;
    };

    StaywakeShell(StaywakeApp::Controllers controllers, Options options, QObject* parent = nullptr);
    ~StaywakeShell() override;

    /// Shows the tray item, or the window when there is no tray, and starts
    /// the updater.
    void start();
    /// Opens the panel (a second launch, the desktop's Activate).
    void showPanel();
    /// Tells the user about a problem once: a desktop notification, else a
    /// line in the panel.
    void tellProblem(const QString& sentence);
    /// The scripts' holds the panel names ("Kept awake for …").
    void setHolders(const QStringList& holders);
    /// The user asked to quit: the menu's Quit, or closing the window when
    /// there is no tray. The quit confirmation decides.
    void quitAtUsersRequest();
    /// The system asked to quit (a termination signal, the session manager):
    /// no question, but the lid helper's last answer is still awaited.
    void quitAtSystemsRequest();
    /// Decides every quit; the updater announces its relaunch here.
    QuitConfirmationDelegate& quitConfirmation() { return *quitConfirmation_; }

    /// The settings row's commands, which the tray's context menu offers too.
    QMenu& commands() { return *commands_; }
    /// Absent until the panel is first opened.
    PanelWindow* panelWindow() { return window_.get(); }
    /// Absent without a tray.
    TrayItem* trayItem() { return tray_.get(); }

private:
    /// The panel's window, built on the first call.
    PanelWindow& window();
    SettingsMenu* makeSettingsRow();
    SettingsMenu& settingsRow();
    void approveHelper();
    void showProblem(const QString& sentence);

    StaywakeApp::Controllers controllers_;
    Options options_;
    // Shared so that the updater can hold it weakly.
    std::shared_ptr<QuitConfirmationDelegate> quitConfirmation_;
    std::unique_ptr<SoftwareUpdate> update_;
    std::unique_ptr<QMenu> commands_;
    std::unique_ptr<TrayItem> tray_;
    std::unique_ptr<PanelWindow> window_;
    QPointer<AwakePanel> panel_;
    QPointer<SettingsMenu> settingsRow_;
    DesktopNotice* notice_ = nullptr;
    // What the panel shows once it is built.
    QString problem_;
    QStringList holders_;
};

} // namespace staywake
