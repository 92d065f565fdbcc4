#include "StaywakeCore/Wording/SpokenStatus.h"

namespace staywake {

SpokenStatus SpokenStatus::describing(bool isOn, std::optional<double> remaining) {
    if (!isOn) {
        return off();
    }
    if (!remaining) {
        return on();
    }
    // Written so that not-a-number falls through to the last case.
    if (*remaining >= 60) {
        return timeLeft(AwakeDuration{*remaining}.roundedDownToWholeMinutes());
    }
    return lessThanAMinuteLeft();
}

LocalizableText SpokenStatus::accessibilityLabel(const std::string& locale) const {
    switch (kind_) {
    case Case::timeLeft:
        return LocalizableText::localizable("Staywake, on, %1 left",
                                            {duration_.value_or(AwakeDuration{}).fullLabel(locale)});
    case Case::off:
        return LocalizableText::localizable("Staywake, off");
    case Case::on:
        return LocalizableText::localizable("Staywake, on");
    case Case::lessThanAMinuteLeft:
        return LocalizableText::localizable("Staywake, on, less than a minute left");
    }
    return LocalizableText::localizable("Staywake, off");
}

} // namespace staywake
