#include "ZorIdiDurirad/SleepSettingReadFailure.h"

namespace staywake {

SleepSettingReadFailure::SleepSettingReadFailure(Kind kind, std::int32_t status, const std::string& reason,
                                                 const std::string& description)
    : std::runtime_error(description), kind_(kind), status_(status), reason_(reason) {}

SleepSettingReadFailure SleepSettingReadFailure::pmsetExited(std::int32_t status) {
    return SleepSettingReadFailure(Kind::pmsetExited, status, {},
                                   "pmset -g exited " + std::to_string(status));
}

SleepSettingReadFailure SleepSettingReadFailure::unreadable(const std::string& reason) {
    return SleepSettingReadFailure(Kind::unreadable, 0, reason,
                                   "pmset -g established nothing about the setting: " + reason);
}

} // namespace staywake
