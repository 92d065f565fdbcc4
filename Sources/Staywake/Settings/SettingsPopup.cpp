#include "Staywake/Settings/SettingsPopup.h"

#include "Staywake/Panel/TextStyle.h"
#include "Staywake/Settings/StarToggleStyle.h"
#include "StaywakeCore/Durations/PresetDurations.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace staywake {

SettingsPopup::SettingsPopup(std::shared_ptr<PresetDurationsController> presets, const std::string& locale,
                             QWidget* parent)
    : QWidget(parent), presets_(std::move(presets)) {
    setFixedWidth(220);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);

    auto* title = new QLabel(QCoreApplication::translate("Localizable", "Preset durations"), this);
    applyTextStyle(*title, TextStyle::headline, PanelColor::primary);
    layout->addWidget(title);
    const QString hint = QCoreApplication::translate(
        "Localizable", "Star up to three. If you don't star any, the panel shows no presets.");
    auto* hintLabel = new QLabel(hint, this);
    hintLabel->setWordWrap(true);
    applyTextStyle(*hintLabel, TextStyle::footnote, PanelColor::secondary);
    layout->addWidget(hintLabel);

    auto* stars = new QVBoxLayout;
    stars->setSpacing(6);
    for (const AwakeDuration duration : PresetDurations::candidates) {
        auto* toggle = new StarToggleStyle(QString::fromStdString(duration.label(locale)), this);
        toggle->setAccessibleDescription(hint);
        // Whatever the new value, the working copy flips this one duration:
        // the click has already flipped the button, the controller decides.
        connect(toggle, &QAbstractButton::clicked, this, [this, duration] {
            PresetDurations working(presets_->pinned().get());
            working.toggle(duration);
            presets_->pin(working.pinned());
            showPinned();
        });
        stars->addWidget(toggle);
        toggles_.push_back(toggle);
    }
    layout->addLayout(stars);
    observer_ = presets_->pinned().observe([this](const auto&) { showPinned(); });
    showPinned();
}

SettingsPopup::~SettingsPopup() { presets_->pinned().removeObserver(observer_); }

void SettingsPopup::showPinned() {
    const PresetDurations current(presets_->pinned().get());
    for (std::size_t i = 0; i < toggles_.size(); ++i) {
        toggles_[i]->setChecked(current.isChosen(PresetDurations::candidates[i]));
        toggles_[i]->setEnabled(current.canToggle(PresetDurations::candidates[i]));
    }
}

} // namespace staywake
