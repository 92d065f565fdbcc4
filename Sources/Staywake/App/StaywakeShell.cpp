#include "Staywake/App/StaywakeShell.h"

#include "Staywake/App/DesktopNotice.h"
#include "Staywake/App/PanelWindow.h"
#include "Staywake/App/TrayItem.h"
#include "Staywake/Panel/AwakePanel.h"

#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QKeySequence>
#include <QPushButton>

namespace staywake {

StaywakeShell::StaywakeShell(StaywakeApp::Controllers controllers, Options options, QObject* parent)
    : QObject(parent), controllers_(std::move(controllers)), options_(std::move(options)) {
    commands_.setLayoutDirection(options_.localization.direction);
    QAction* quit = commands_.addAction(QCoreApplication::translate("Localizable", "Quit Staywake"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &StaywakeShell::quitAtUsersRequest);

    panel_ = new AwakePanel(controllers_.awake, controllers_.loginItem, controllers_.presets, controllers_.lid,
                            options_.checkForUpdates, makeSettingsRow(),
                            AwakePanel::Links{options_.openLoginItems, [this] { approveHelper(); }},
                            options_.localization.locale, options_.reduceMotion);
    window_ = std::make_unique<PanelWindow>(
        panel_, options_.trayAvailable ? PanelWindow::Kind::popup : PanelWindow::Kind::window);
    window_->setLayoutDirection(options_.localization.direction);
    // Ctrl+Q works while the panel has the keyboard, not only in the menu.
    window_->addAction(quit);
    connect(window_.get(), &PanelWindow::userClosed, this, &StaywakeShell::quitAtUsersRequest);

    if (options_.trayAvailable) {
        tray_ = std::make_unique<TrayItem>(controllers_.awake, controllers_.lid, options_.localization.direction);
        tray_->setContextMenu(&commands_);
        connect(tray_.get(), &TrayItem::clicked, this,
                [this] { window_->toggle(tray_->geometry(), QCursor::pos()); });
    }

    notice_ = new DesktopNotice(
        options_.sessionBus, [this](const QString& sentence) { panel_->showProblem(sentence); }, this);
}

StaywakeShell::~StaywakeShell() = default;

void StaywakeShell::start() {
    if (tray_) {
        tray_->show();
    } else {
        showPanel();
    }
}

void StaywakeShell::showPanel() {
    window_->open(tray_ ? tray_->geometry() : QRect(), QCursor::pos());
}

void StaywakeShell::tellProblem(const QString& sentence) {
    notice_->show(sentence);
}

void StaywakeShell::quitAtUsersRequest() {
    QCoreApplication::quit();
}

void StaywakeShell::approveHelper() {
    if (!options_.approveHelper) {
        return;
    }
    // The panel reads the helper's new state once the system has answered.
    options_.approveHelper([panel = QPointer<AwakePanel>(panel_)] {
        if (panel) {
            panel->refresh();
        }
    });
}

QWidget* StaywakeShell::makeSettingsRow() {
    auto* row = new QPushButton(QIcon::fromTheme(QStringLiteral("configure")),
                                QCoreApplication::translate("Localizable", "Settings"));
    row->setFlat(true);
    row->setAccessibleName(row->text());
    connect(row, &QPushButton::clicked, this, [this, row] {
        commands_.popup(row->mapToGlobal(QPoint(0, row->height())));
    });
    return row;
}

} // namespace staywake
