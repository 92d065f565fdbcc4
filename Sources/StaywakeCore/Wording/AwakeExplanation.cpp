#include "StaywakeCore/Wording/AwakeExplanation.h"

namespace staywake {

AwakeExplanation AwakeExplanation::describing(bool isOn, std::optional<Date> activeUntil,
                                              bool keepsLidClosedAwake) {
    if (!isOn) {
        return sleepsNormally;
    }
    if (keepsLidClosedAwake) {
        return activeUntil ? awakeWithLidClosedUntilSessionEnds : awakeWithLidClosedIndefinitely;
    }
    return activeUntil ? awakeUntilSessionEnds : awakeIndefinitely;
}

bool AwakeExplanation::promisesLidCloseSleep() const {
    return value_ == awakeIndefinitely || value_ == awakeUntilSessionEnds;
}

LocalizableText AwakeExplanation::sentence() const {
    switch (value_) {
    case sleepsNormally:
        return LocalizableText::localizable("Your Mac can sleep as usual.");
    case awakeIndefinitely:
        return LocalizableText::localizable(
            "Your Mac won't fall asleep on its own. Closing the lid still puts it to sleep.");
    case awakeUntilSessionEnds:
        return LocalizableText::localizable(
            "Your Mac won't fall asleep until the session ends. Closing the lid still puts it to sleep.");
    case awakeWithLidClosedIndefinitely:
        return LocalizableText::nightBrew("Your Mac won't fall asleep, even with the lid closed.");
    case awakeWithLidClosedUntilSessionEnds:
        return LocalizableText::nightBrew(
            "Your Mac won't fall asleep until the session ends, even with the lid closed.");
    }
    return LocalizableText::localizable("Your Mac can sleep as usual.");
}

} // namespace staywake
