#include "StaywakeCore/Lid/LidSleepBlocker.h"

#include <utility>

namespace staywake {

LidSleepBlockerError::LidSleepBlockerError(Kind kind, std::string reason, const std::string& description)
    : std::runtime_error(description), kind_(kind), reason_(std::move(reason)) {}

LidSleepBlockerError LidSleepBlockerError::helperRefused(std::string reason) {
    const std::string description = "the lid helper refused: " + reason;
    return {Kind::helperRefused, std::move(reason), description};
}

LidSleepBlockerError LidSleepBlockerError::helperUnavailable() {
    return {Kind::helperUnavailable, {}, "the lid helper could not be reached"};
}

LidSleepBlockerError LidSleepBlockerError::helperRequiresApproval() {
    return {Kind::helperRequiresApproval, {}, "the lid helper waits for the user's approval"};
}

} // namespace staywake
