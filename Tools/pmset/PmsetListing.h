#pragma once

#include "pmset/SleepLockSetting.h"

#include <string>

namespace staywake {

/// The listing `pmset -g` prints, in the power-management tool's shape: the
/// setting line " SleepDisabled\t\t0|1" under "System-wide power settings:",
/// then under "Currently in use:" what it rests on: our holder's process id
/// (or none) and whether logind lists its lock. Nothing another program named
/// its lock is printed, so no such text can pass for a line of the listing.
class PmsetListing {
public:
    PmsetListing() = delete;

    static std::string text(const SleepLockSetting::Reading& reading);
};

} // namespace staywake
