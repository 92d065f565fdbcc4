#pragma once

#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Lid/LidAwakeController.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

#include <map>
#include <memory>
#include <tuple>

class QMenu;

namespace staywake {

/// The app's item in the tray: the menu-bar icon for the awake session as it
/// is now (cup or mug pair, solid while on, with the clock badge while a
/// deadline runs), and its spoken label as the tooltip, which is also the
/// name tray hosts give the item. Follows every change of the two
/// controllers; each icon state is drawn once and kept.
///
/// A left click is clicked(); the right button opens the context menu.
class TrayItem final : public QObject {
    Q_OBJECT

public:
    TrayItem(std::shared_ptr<AwakeController> awake, std::shared_ptr<LidAwakeController> lid,
             Qt::LayoutDirection direction, QObject* parent = nullptr);
    ~TrayItem() override;

    TrayItem(const TrayItem&) = delete;
    TrayItem& operator=(const TrayItem&) = delete;

    /// `menu` stays the caller's.
    void setContextMenu(QMenu* menu);
    void show();

    MenuBarIcon icon() const { return icon_; }
    /// The spoken label of the current icon, translated.
    QString label() const;
    /// Where the host shows the item; empty when it does not say.
    QRect geometry() const { return tray_.geometry(); }

    /// What the tray shows right now (for tests and screenshots).
    const QSystemTrayIcon& systemTrayIcon() const { return tray_; }

signals:
    void clicked();

private:
    void update();
    void nameTrayWindow();
    QIcon iconFor(const MenuBarIcon& icon);

    std::shared_ptr<AwakeController> awake_;
    std::shared_ptr<LidAwakeController> lid_;
    Qt::LayoutDirection direction_;
    QSystemTrayIcon tray_;
    MenuBarIcon icon_;
    std::map<std::tuple<bool, bool, bool>, QIcon> drawn_;
    Published<bool>::ObserverId awakeIsOnObserver_ = 0;
    Published<std::optional<Date>>::ObserverId activeUntilObserver_ = 0;
    Published<bool>::ObserverId lidIsOnObserver_ = 0;
};

} // namespace staywake
