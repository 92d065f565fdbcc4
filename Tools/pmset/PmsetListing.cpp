#include "pmset/PmsetListing.h"

#include "pmset/InhibitorLock.h"

namespace staywake {

std::string PmsetListing::text(const SleepLockSetting::Reading& reading) {
    std::string listing = "System-wide power settings:\n SleepDisabled\t\t";
    listing += reading.isSleepDisabled() ? "1" : "0";
    listing += "\nCurrently in use:\n holder\t\t";
    listing += reading.holder ? "process " + std::to_string(*reading.holder) : std::string("none");
    listing += "\n lock\t\t";
    listing += std::string(NightBrewLock::mode) + " " + NightBrewLock::what;
    listing += reading.isLockListed ? ", listed by logind\n" : ", not listed by logind\n";
    return listing;
}

} // namespace staywake
