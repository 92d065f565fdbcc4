#include "Staywake/App/TrayItem.h"

#include "Staywake/App/AppLog.h"
#include "Staywake/App/TrayIconImage.h"
#include "Staywake/Translations/Localized.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace staywake {

TrayItem::TrayItem(std::shared_ptr<AwakeController> awake, std::shared_ptr<LidAwakeController> lid,
                   Qt::LayoutDirection direction, QObject* parent)
    : QObject(parent), awake_(std::move(awake)), lid_(std::move(lid)), direction_(direction) {
    awakeIsOnObserver_ = awake_->isOn().observe([this](const bool&) { update(); });
    activeUntilObserver_ = awake_->activeUntil().observe([this](const std::optional<Date>&) { update(); });
    lidIsOnObserver_ = lid_->isOn().observe([this](const bool&) { update(); });
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            emit clicked();
        }
    });
    update();
}

TrayItem::~TrayItem() {
    awake_->isOn().removeObserver(awakeIsOnObserver_);
    awake_->activeUntil().removeObserver(activeUntilObserver_);
    lid_->isOn().removeObserver(lidIsOnObserver_);
}

void TrayItem::setContextMenu(QMenu* menu) { tray_.setContextMenu(menu); }

void TrayItem::show() {
    tray_.show();
    nameTrayWindow();
    qCInfo(appLog) << "tray icon shown:" << label();
}

QString TrayItem::label() const { return localized(MenuBarIcon::text(icon_.spokenLabel())); }

void TrayItem::update() {
    const MenuBarIcon now = MenuBarIcon::current(awake_->isOn(), awake_->activeUntil(), lid_->isOn());
    if (now == icon_ && !tray_.icon().isNull()) {
        return;
    }
    icon_ = now;
    tray_.setIcon(iconFor(icon_));
    tray_.setToolTip(label());
    nameTrayWindow();
}

void TrayItem::nameTrayWindow() {
    // On an XEmbed tray Qt shows the item in a window of its own, which
    // assistive technologies read; QSystemTrayIcon offers no accessible name,
    // so the window gets the label directly.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qstrcmp(window->metaObject()->className(), "QSystemTrayIconSys") == 0) {
            window->setAccessibleName(label());
        }
    }
}

QIcon TrayItem::iconFor(const MenuBarIcon& icon) {
    const auto key = std::make_tuple(icon.isOn, icon.showsTimerBadge, icon.keepsLidClosedAwake);
    auto found = drawn_.find(key);
    if (found == drawn_.end()) {
        // Tray hosts show the pixels they are given (XEmbed paints them,
        // StatusNotifierItem hosts receive them as ARGB data): none tints a
        // mask, so the ink is the desktop palette's text colour.
        const QColor ink = QApplication::palette().color(QPalette::WindowText);
        found = drawn_.emplace(key, trayIcon(icon, direction_, ink)).first;
    }
    return found->second;
}

} // namespace staywake
