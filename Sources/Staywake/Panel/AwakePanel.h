#pragma once

#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Durations/PresetDurationsController.h"
#include "StaywakeCore/Lid/LidAwakeController.h"
#include "StaywakeCore/LoginItem/LoginItemController.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace staywake {

class AwakePanelContent;

/// What the tray item opens: whether the machine is kept awake and until when,
/// the power button, quick durations, Night Brew with its heat precautions,
/// open at login and, last, the settings row. Every failure a controller
/// publishes is shown as a sentence.
///
/// The panel reads the controllers and calls their operations; the core
/// decides every case. It observes the controllers' published values and
/// rebuilds only the items a change touches; the header's countdown is
/// repainted once a second while the panel is visible, and nothing else is.
///
/// The panel is exactly 260 pixels wide and sets its own height to fit its
/// items (animated over 150 ms unless `reduceMotion`); as a window, or inside
/// a window whose layout has the fixed-size constraint, the window follows.
///
/// Confined to the GUI thread. The panel shares ownership of the controllers.
class AwakePanel final : public QWidget {
    Q_OBJECT

public:
    /// What the links of the panel do; each may be empty (the link then does
    /// nothing).
    struct Links {
        /// Opens the desktop's startup-applications settings.
        std::function<void()> openLoginItems;
        /// Asks the system to approve (enable) Night Brew's helper.
        std::function<void()> approveHelper;
    };

    /// `settingsRow` is shown as the last item and owned by the panel (may be
    /// null: no settings row). `locale` is the ICU locale id the countdown,
    /// durations and spoken status are formatted in; the layout direction is
    /// the widget's own (inherited from the application).
    AwakePanel(std::shared_ptr<AwakeController> controller, std::shared_ptr<LoginItemController> loginItem,
               std::shared_ptr<PresetDurationsController> presets, std::shared_ptr<LidAwakeController> lid,
               std::function<void()> checkForUpdates,
               QWidget* settingsRow /* takes ownership; shown as the last item */, Links links,
               std::string locale /* ICU id */, bool reduceMotion, QWidget* parent = nullptr);
    ~AwakePanel() override;

    /// The opening refresh: the login item, the session's expiry, the lease,
    /// then the acknowledgement and machine conditions. The panel runs it
    /// itself every time its window is activated.
    void refresh();

    /// Shows a one-line notice at the top of the panel (for example that the
    /// settings file could not be read); an empty sentence removes it.
    void showProblem(const QString& sentence);

    /// Shows "Kept awake for …" naming the scripts' holds below the header
    /// while `holders` is not empty.
    void setHolders(const QStringList& holders);

    /// The action handed on to the settings row.
    const std::function<void()>& checkForUpdates() const { return checkForUpdates_; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindow();
    void windowChanged(QEvent::Type type);

    std::function<void()> checkForUpdates_;
    std::unique_ptr<AwakePanelContent> content_;
    QPointer<QWidget> watchedWindow_;
    bool refreshedSinceShown_ = false;
};

} // namespace staywake
