#include "Staywake/App/StaywakeShell.h"

#include "Staywake/App/DesktopNotice.h"
#include "Staywake/App/PanelWindow.h"
#include "Staywake/App/TrayItem.h"
#include "Staywake/Panel/AwakePanel.h"
#include "Staywake/Settings/AboutSources.h"
#include "Staywake/Settings/SettingsMenu.h"

#include <QCursor>

namespace staywake {

StaywakeShell::StaywakeShell(StaywakeApp::Controllers controllers, Options options, QObject* parent)
    : QObject(parent), controllers_(std::move(controllers)), options_(std::move(options)),
      quitConfirmation_(std::make_shared<QuitConfirmationDelegate>(options_.localization.locale,
                                                                   options_.localization.direction)) {
    quitConfirmation_->awake = controllers_.awake;
    quitConfirmation_->lid = controllers_.lid;
    if (options_.update) {
        update_ =
            std::make_unique<SoftwareUpdate>(std::move(options_.update->configuration), options_.update->defaults,
                                             options_.update->dates, options_.localization.direction);
        update_->quitConfirmation = quitConfirmation_;
        update_->quit = [this] { quitAtUsersRequest(); };
        options_.checkForUpdates = [update = update_.get()] { update->checkForUpdates(); };
    }
    // The tray menu's commands, without the panel: the two popovers open at
    // the settings row, so they build the panel first.
    commands_.reset(SettingsMenu::makeMenu(
        SettingsMenu::makeActions([this](SettingsMenu::Popup popup) { settingsRow().openPopup(popup); },
                                  options_.checkForUpdates, [] { return readAboutInfo(bundleInfoPlistPath()); },
                                  options_.localization.language.toStdString(), [this] { quitAtUsersRequest(); }),
        options_.localization.direction));

    if (options_.trayAvailable) {
        tray_ = std::make_unique<TrayItem>(controllers_.awake, controllers_.lid, options_.localization.direction);
        tray_->setContextMenu(commands_.get());
        connect(tray_.get(), &TrayItem::clicked, this,
                [this] { window().toggle(tray_->geometry(), QCursor::pos()); });
    }

    notice_ = new DesktopNotice(
        options_.sessionBus, [this](const QString& sentence) { showProblem(sentence); }, this);
}

StaywakeShell::~StaywakeShell() = default;

void StaywakeShell::start() {
    if (tray_) {
        tray_->show();
    } else {
        showPanel();
    }
    if (update_) {
        update_->start();
    }
}

void StaywakeShell::showPanel() { window().open(tray_ ? tray_->geometry() : QRect(), QCursor::pos()); }

void StaywakeShell::tellProblem(const QString& sentence) { notice_->show(sentence); }

void StaywakeShell::showProblem(const QString& sentence) {
    problem_ = sentence;
    if (panel_) {
        panel_->showProblem(sentence);
    }
}

void StaywakeShell::setHolders(const QStringList& holders) {
    holders_ = holders;
    if (panel_) {
        panel_->setHolders(holders);
    }
}

PanelWindow& StaywakeShell::window() {
    if (window_) {
        return *window_;
    }
    panel_ = new AwakePanel(controllers_.awake, controllers_.loginItem, controllers_.presets, controllers_.lid,
                            options_.checkForUpdates, makeSettingsRow(),
                            AwakePanel::Links{options_.openLoginItems, [this] { approveHelper(); }},
                            options_.localization.locale(), options_.reduceMotion && options_.reduceMotion());
    if (!problem_.isEmpty()) {
        panel_->showProblem(problem_);
    }
    if (!holders_.isEmpty()) {
        panel_->setHolders(holders_);
    }
    window_ = std::make_unique<PanelWindow>(panel_, options_.trayAvailable ? PanelWindow::Kind::popup
                                                                           : PanelWindow::Kind::window);
    window_->setLayoutDirection(options_.localization.direction);
    // Ctrl+Q works while the panel has the keyboard, not only in the menu
    // (Quit is the menu's last command).
    window_->addAction(commands_->actions().constLast());
    connect(window_.get(), &PanelWindow::userClosed, this, &StaywakeShell::quitAtUsersRequest);
    return *window_;
}

SettingsMenu& StaywakeShell::settingsRow() {
    window();
    return *settingsRow_;
}

void StaywakeShell::quitAtUsersRequest() { quitConfirmation_->requestQuit(QuitOrigin::user); }

void StaywakeShell::quitAtSystemsRequest() { quitConfirmation_->requestQuit(QuitOrigin::system); }

void StaywakeShell::approveHelper() {
    if (!options_.approveHelper) {
        return;
    }
    // The panel reads the helper's new state once the system has answered.
    options_.approveHelper([panel = panel_] {
        if (panel) {
            panel->refresh();
        }
    });
}

SettingsMenu* StaywakeShell::makeSettingsRow() {
    const auto& localization = options_.localization;
    auto* row = new SettingsMenu(
        controllers_.presets, options_.checkForUpdates, [this] { quitAtUsersRequest(); },
        SettingsMenu::Context{localization.direction, localization.locale(), localization.language.toStdString(),
                              readAboutInfo(bundleInfoPlistPath())});
    // A popover chosen in the tray's menu opens at the row, so the panel
    // comes up first.
    row->setRevealAnchor([this] { showPanel(); });
    settingsRow_ = row;
    return row;
}

} // namespace staywake
