#include "StaywakeCore/Wording/FailureSentence.h"

#include <string>

namespace staywake {

namespace {

LocalizableText verbatim(std::string text) { return {FailureSentence::verbatimTable, std::move(text), {}}; }

} // namespace

LocalizableText FailureSentence::of(const AwakeFailure& failure) {
    switch (failure.kind()) {
    case AwakeFailure::Kind::assertionRefused:
        return LocalizableText::localizable("macOS couldn't keep your Mac awake (IOKit error %1).",
                                            {std::to_string(failure.code().value_or(0))});
    case AwakeFailure::Kind::lidHelperRefused:
        if (const auto refusal = failure.refusal()) {
            return of(*refusal);
        }
        break;
    case AwakeFailure::Kind::reported:
        return verbatim(failure.message().value_or(std::string()));
    case AwakeFailure::Kind::lidHelperUnavailable:
        return LocalizableText::nightBrew("Night Brew can't start because its helper is unavailable.");
    case AwakeFailure::Kind::lidHelperRequiresApproval:
        return LocalizableText::nightBrew(
            "To use Night Brew, allow Staywake in System Settings, then turn it on again.");
    }
    return verbatim(failure.message().value_or(std::string()));
}

LocalizableText FailureSentence::of(const LidHelperRefusal& refusal) {
    const std::string detail = refusal.detail().value_or(std::string());
    switch (refusal.kind()) {
    case LidHelperRefusal::Kind::settingUnreadable:
        return LocalizableText::nightBrew("Night Brew can't start because its helper couldn't read the sleep "
                                          "setting, so nothing was changed (%1).",
                                          {detail});
    case LidHelperRefusal::Kind::settingUnwritten:
        return LocalizableText::nightBrew(
            "Night Brew can't start because its helper couldn't change the sleep setting (%1).", {detail});
    case LidHelperRefusal::Kind::settingNotPutBack:
        return LocalizableText::nightBrew("Your Mac may stay awake with the lid closed. Night Brew's helper "
                                          "couldn't restore the sleep setting and is still trying (%1).",
                                          {detail});
    case LidHelperRefusal::Kind::unrecognized:
        return verbatim(refusal.reason());
    case LidHelperRefusal::Kind::deadlineNotANumber:
        return LocalizableText::nightBrew(
            "Night Brew can't start because its helper was sent an end time it couldn't read.");
    case LidHelperRefusal::Kind::settingOnElsewhere:
        return LocalizableText::nightBrew(
            "Night Brew can't start because something other than Staywake already "
            "keeps your Mac awake with the lid closed. That setting was left as it is.");
    case LidHelperRefusal::Kind::settingTurnedOffElsewhere:
        return LocalizableText::nightBrew("Night Brew stopped because something other than Staywake changed the "
                                          "sleep setting. Closing the lid works as usual again.");
    }
    return verbatim(refusal.reason());
}

} // namespace staywake
