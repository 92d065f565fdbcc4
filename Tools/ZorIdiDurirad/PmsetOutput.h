#pragma once

#include "ZorIdiDurirad/SleepDisabledReading.h"

#include <string_view>

namespace staywake {

/// Reads the sleep setting out of the listing that `pmset -g` prints.
class PmsetOutput {
public:
    PmsetOutput() = delete;

    /// The listing is split into lines at every line break (LF, VT, FF, CR,
    /// CR LF, U+0085, U+2028, U+2029) and each line into words at Unicode
    /// white space. Lines whose first word is exactly "SleepDisabled" decide:
    /// each must carry exactly one more word, "0" or "1", and all must agree;
    /// the first line that breaks a rule names the reason. Without such a
    /// line, a "Currently in use:" header (however spaced) means the setting
    /// is off; anything else is not a pmset listing at all. Pure.
    static SleepDisabledReading sleepDisabled(std::string_view listing);
};

} // namespace staywake
