#pragma once

#include "Staywake/Panel/AwakePanel.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantAnimation>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QVBoxLayout;
class QHBoxLayout;

namespace staywake {

class PanelHeader;
class PanelLink;
class PanelNote;
class PanelSwitch;

/// The panel's items and what keeps each of them current: one update per
/// item, run by the published values that item shows.
class AwakePanelContent final {
public:
    struct Controllers {
        std::shared_ptr<AwakeController> awake;
        std::shared_ptr<LoginItemController> loginItem;
        std::shared_ptr<PresetDurationsController> presets;
        std::shared_ptr<LidAwakeController> lid;
    };

    AwakePanelContent(AwakePanel& panel, Controllers controllers, QWidget* settingsRow, AwakePanel::Links links,
                      std::string locale, bool reduceMotion);
    ~AwakePanelContent();

    AwakePanelContent(const AwakePanelContent&) = delete;
    AwakePanelContent& operator=(const AwakePanelContent&) = delete;

    void refresh();
    void showProblem(const QString& sentence);
    void setHolders(const QStringList& holders);

private:
    enum class Motion { immediate, animated };

    void build(QWidget* settingsRow);
    void buildSessionItems(QVBoxLayout& layout);
    void buildNightBrewSection(QVBoxLayout& layout);
    void buildLoginSection(QVBoxLayout& layout);
    void observe();
    /// Runs `update` (then fits the height) each time `value` changes.
    template <typename T> void watch(const Published<T>& value, Motion motion, std::function<void()> update);

    void updateSession();
    void updateAwakeFailure();
    void updateSessionControls();
    void rebuildPresets();
    void updateRetryLink();
    void updateNightBrew();
    void updatePrecaution();
    void updateLidFailure();
    void updateLogin();

    void setShown(QWidget* item, bool shown);
    void fitHeight();

    AwakePanel& panel_;
    Controllers controllers_;
    AwakePanel::Links links_;
    std::string locale_;
    bool reduceMotion_;
    // Set while a change that animates is being applied.
    Motion motion_ = Motion::immediate;
    std::vector<std::function<void()>> stopObserving_;
    QVariantAnimation heightAnimation_;

    PanelNote* problem_ = nullptr;
    PanelNote* holders_ = nullptr;
    PanelHeader* header_ = nullptr;
    QLabel* explanation_ = nullptr;
    PanelNote* awakeFailure_ = nullptr;
    QPushButton* power_ = nullptr;
    QPushButton* cancelTimer_ = nullptr;
    QWidget* presets_ = nullptr;
    QHBoxLayout* presetRow_ = nullptr;
    std::vector<QPushButton*> presetButtons_;
    PanelSwitch* nightBrew_ = nullptr;
    QWidget* heatWarning_ = nullptr;
    PanelNote* noHeatPath_ = nullptr;
    PanelNote* lidFailure_ = nullptr;
    PanelLink* approveHelper_ = nullptr;
    PanelLink* dontRetry_ = nullptr;
    PanelSwitch* login_ = nullptr;
    QLabel* notInApplications_ = nullptr;
    QLabel* needsApproval_ = nullptr;
    PanelLink* openLoginItems_ = nullptr;
    PanelNote* loginFailure_ = nullptr;
};

} // namespace staywake
