#include "ZorIdiDurirad/SleepSettingFailures.h"

namespace staywake {

SleepSettingWriteFailure::SleepSettingWriteFailure(Kind kind, const std::string& description)
    : std::runtime_error(description), kind_(kind) {}

SleepSettingWriteFailure SleepSettingWriteFailure::pmsetExited(std::int32_t status) {
    SleepSettingWriteFailure failure(Kind::pmsetExited, "pmset exited " + std::to_string(status));
    failure.status_ = status;
    return failure;
}

SleepSettingWriteFailure SleepSettingWriteFailure::readBackFailed(std::int32_t status) {
    SleepSettingWriteFailure failure(Kind::readBackFailed, "pmset -g exited " + std::to_string(status) +
                                                               ", so the setting was never read back");
    failure.status_ = status;
    return failure;
}

SleepSettingWriteFailure SleepSettingWriteFailure::readBackUnreadable(const std::string& reason) {
    SleepSettingWriteFailure failure(Kind::readBackUnreadable,
                                     "pmset -g established nothing about the setting: " + reason);
    failure.reason_ = reason;
    return failure;
}

SleepSettingWriteFailure SleepSettingWriteFailure::notApplied(bool wanted, bool found) {
    SleepSettingWriteFailure failure(Kind::notApplied, std::string("asked for disablesleep ") +
                                                           (wanted ? "1" : "0") + ", read back " +
                                                           (found ? "1" : "0"));
    failure.wanted_ = wanted;
    failure.found_ = found;
    return failure;
}

SleepSettingReadFailure::SleepSettingReadFailure(Kind kind, std::int32_t status, const std::string& reason,
                                                 const std::string& description)
    : std::runtime_error(description), kind_(kind), status_(status), reason_(reason) {}

SleepSettingReadFailure SleepSettingReadFailure::pmsetExited(std::int32_t status) {
    return SleepSettingReadFailure(Kind::pmsetExited, status, {}, "pmset -g exited " + std::to_string(status));
}

SleepSettingReadFailure SleepSettingReadFailure::unreadable(const std::string& reason) {
    return SleepSettingReadFailure(Kind::unreadable, 0, reason,
                                   "pmset -g established nothing about the setting: " + reason);
}

} // namespace staywake
