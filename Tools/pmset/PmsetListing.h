#pragma once

#include "pmset/SleepTargetMasks.h"

#include <string>

namespace staywake {

/// The listing `pmset -g` prints, in the power-management tool's shape: the
/// setting line " SleepDisabled\t\t0|1" under "System-wide power settings:",
/// then under "Currently in use:" what it rests on (each sleep target's state
/// and whether logind ignores the lid).
class PmsetListing {
public:
    PmsetListing() = delete;

    static std::string text(const SleepTargetMasks::Reading& reading);
};

} // namespace staywake
