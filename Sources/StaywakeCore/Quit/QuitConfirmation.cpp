#include "StaywakeCore/Quit/QuitConfirmation.h"

#include "StaywakeCore/Durations/AwakeDuration.h"

#include <cmath>

namespace staywake {

QuitConfirmation QuitConfirmation::asked(bool isAwakeOn, bool keepsLidClosedAwake,
                                         std::optional<double> remaining) {
    std::optional<double> whole;
    if (remaining && std::isfinite(*remaining)) {
        const double minutes = std::floor(*remaining / 60) * 60;
        if (minutes >= 60) {
            whole = minutes;
        }
    }
    if (keepsLidClosedAwake) {
        return {Kind::nightBrew, whole};
    }
    if (!isAwakeOn) {
        return {Kind::quitNow, std::nullopt};
    }
    return {Kind::awakeMode, whole};
}

std::optional<QuitConfirmation::Copy> QuitConfirmation::copy(const std::string& locale) const {
    std::optional<LocalizableText> remainingLine;
    if (remaining) {
        remainingLine =
            LocalizableText::localizable("%1 left in this session.", {AwakeDuration{*remaining}.label(locale)});
    }
    const auto cancel = LocalizableText::localizable("Cancel");
    switch (kind) {
    case Kind::awakeMode:
        return Copy{
            LocalizableText::localizable("Quit and stop awake mode?"), remainingLine,
            LocalizableText::localizable("Your Mac can fall asleep on its own again. Awake mode turns back on "
                                         "the next time you open Staywake."),
            LocalizableText::localizable("Quit"), cancel};
    case Kind::nightBrew:
        return Copy{
            LocalizableText::nightBrew("Quit and end Night Brew?"), remainingLine,
            LocalizableText::nightBrew("Your Mac can sleep again with the lid open or closed. Awake mode "
                                       "turns back on the next time you open Staywake. Night Brew stays off."),
            LocalizableText::nightBrew("Quit and end Night Brew"), cancel};
    case Kind::quitNow:
        break;
    }
    return std::nullopt;
}

} // namespace staywake
