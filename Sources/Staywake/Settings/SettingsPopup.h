#pragma once

#include "StaywakeCore/Durations/PresetDurationsController.h"

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

namespace staywake {

class StarToggleStyle;

/// The preset durations popover's content, 220 pixels wide: a title, a hint
/// and one star per candidate duration. Starring or unstarring stores the new
/// list through the controller at once, so the panel's quick buttons follow;
/// a fourth star cannot be added (its toggles are disabled), and a starred
/// duration can always be unstarred.
class SettingsPopup final : public QWidget {
public:
    /// `locale` is the ICU locale id the durations are worded in.
    SettingsPopup(std::shared_ptr<PresetDurationsController> presets, const std::string& locale,
                  QWidget* parent = nullptr);
    ~SettingsPopup() override;

    SettingsPopup(const SettingsPopup&) = delete;
    SettingsPopup& operator=(const SettingsPopup&) = delete;

private:
    void showPinned();

    std::shared_ptr<PresetDurationsController> presets_;
    std::vector<StarToggleStyle*> toggles_;
    Published<std::vector<AwakeDuration>>::ObserverId observer_;
};

} // namespace staywake
