#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace staywake {

/// A plain read of the sleep setting that went wrong after `pmset -g` ran.
/// Two failures are equal when their kind, status and reason are.
class SleepSettingReadFailure : public std::runtime_error {
public:
    enum class Kind { pmsetExited, unreadable };

    /// "pmset -g exited <status>"
    static SleepSettingReadFailure pmsetExited(std::int32_t status);
    /// "pmset -g established nothing about the setting: <reason>"
    static SleepSettingReadFailure unreadable(const std::string& reason);

    Kind kind() const { return kind_; }
    std::int32_t status() const { return status_; }
    const std::string& reason() const { return reason_; }

    friend bool operator==(const SleepSettingReadFailure& a, const SleepSettingReadFailure& b) {
        return a.kind_ == b.kind_ && a.status_ == b.status_ && a.reason_ == b.reason_;
    }

private:
    SleepSettingReadFailure(Kind kind, std::int32_t status, const std::string& reason,
                            const std::string& description);

    Kind kind_;
    std::int32_t status_;
    std::string reason_;
};

} // namespace staywake
