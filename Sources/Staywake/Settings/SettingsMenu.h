#pragma once

#include "StaywakeCore/Durations/PresetDurationsController.h"
#include "StaywakeCore/Settings/AboutInfo.h"

#include <QAbstractButton>
#include <QMenu>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

/// The panel's last row: a gear, "Settings" and a chevron. Clicking anywhere
/// on it opens the settings menu just under it: choose preset durations,
/// about, check for updates, send feedback and quit. The first two open a
/// popover anchored to the row. Assistive technology sees a menu button named
/// "Settings" whose actions are the five commands.
class SettingsMenu final : public QAbstractButton {
    // The class name is what the row's accessibility factory recognises.
    Q_OBJECT

public:
    /// The five commands, in menu order.
    struct Actions {
        std::function<void()> settings;
        std::function<void()> about;
        std::function<void()> checkForUpdates;
        std::function<void()> sendFeedback;
        std::function<void()> quit;
    };

    /// What the row is shown in.
    struct Context {
        Qt::LayoutDirection direction = Qt::LeftToRight;
        /// The ICU locale id durations are worded in.
        std::string locale = "en";
        /// The localization the app runs in ("de"), which picks the feedback
        /// page's language; absent when there is none.
        std::optional<std::string> localization;
        /// The bundle's version; absent when it cannot be read.
        std::optional<AboutInfo> about;
    };

    enum class Popup { settings, about };

    /// `quit` asks the application to quit (the quit confirmation decides);
    /// `activate`, when given, runs on a click instead of opening the menu.
    SettingsMenu(std::shared_ptr<PresetDurationsController> presets, std::function<void()> checkForUpdates,
                 std::function<void()> quit, Context context, std::function<void()> activate = {},
                 QWidget* parent = nullptr);
    ~SettingsMenu() override;

    /// The row's five commands, for another menu that offers them (the tray
    /// item's). A popover opened from there first runs `revealAnchor` when
    /// the row is not on screen, and opens at the cursor if it still is not.
    Actions actions();
    /// The five commands for whoever shows them: the two popovers open
    /// through `openPopup`; feedback goes out with the version `about` reads
    /// when it is sent, on the page for `localization`.
    static Actions makeActions(std::function<void(Popup)> openPopup, std::function<void()> checkForUpdates,
                               std::function<std::optional<AboutInfo>()> about,
                               std::optional<std::string> localization, std::function<void()> quit);
    void setRevealAnchor(std::function<void()> revealAnchor) { revealAnchor_ = std::move(revealAnchor); }

    /// The menu of the five commands, at least 260 pixels wide, laid out in
    /// `direction`; Ctrl+Q is Quit's shortcut. The menu owns its items and
    /// their handlers.
    static QMenu* makeMenu(const Actions& actions, Qt::LayoutDirection direction, QWidget* parent = nullptr);

    /// Where the menu's top-left corner goes for the row at `row` (global
    /// coordinates): 14 pixels below the row, with the menu's leading edge 14
    /// pixels outside the row's: left of its left edge (left to right), right
    /// of its right edge (right to left).
    static QPoint menuPosition(const QRect& row, int menuWidth, Qt::LayoutDirection direction);

    /// Opens the feedback page in the browser, with the app's version, the
    /// operating system and the page's language. A browser that cannot be
    /// started is logged.
    static void openFeedbackForm(const std::optional<AboutInfo>& about,
                                 const std::optional<std::string>& localization);

    /// Opens the menu under the row; nothing while the row is not on screen.
    /// Returns at once; the menu deletes itself when it closes.
    void showMenu();
    /// The menu that showMenu() opened, while it is open.
    QMenu* openMenu() const { return menu_; }

    /// Opens a popover anchored to the row, closing the other one.
    void openPopup(Popup popup);
    std::optional<Popup> popup() const;
    /// The popover's window while one is open.
    QWidget* popupWindow() const { return popupWindow_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    std::shared_ptr<PresetDurationsController> presets_;
    std::function<void()> checkForUpdates_;
    std::function<void()> quit_;
    Context context_;
    std::function<void()> activate_;
    std::function<void()> revealAnchor_;
    QPointer<QMenu> menu_;
    QPointer<QWidget> popupWindow_;
    std::optional<Popup> popup_;
};

} // namespace staywake
