#include "pmset/PmsetListing.h"

namespace staywake {

std::string PmsetListing::text(const SleepTargetMasks::Reading& reading) {
    std::string listing = "System-wide power settings:\n";
    listing += " SleepDisabled\t\t";
    listing += reading.isSleepDisabled() ? "1" : "0";
    listing += "\nCurrently in use:\n";
    for (const auto& target : reading.targets) {
        listing += " " + target.unit + "\t\t" + target.state + "\n";
    }
    listing += " lidswitch\t\t";
    listing += reading.lidDropInInstalled ? "ignored" : "logind";
    listing += "\n";
    return listing;
}

} // namespace staywake
