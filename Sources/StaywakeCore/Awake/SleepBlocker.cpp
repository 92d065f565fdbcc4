#include "StaywakeCore/Awake/SleepBlocker.h"

#include <string>

namespace staywake {

SleepBlockerError::SleepBlockerError(std::int32_t code)
    : std::runtime_error("the idle-sleep lock was refused (code " + std::to_string(code) + ")"), code_(code) {}

} // namespace staywake
