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

/// A write of the sleep setting that went wrong after its commands ran. A
/// failed write leaves the setting as the tool left it; retrying is the lease
/// keeper's business. Two failures are equal when all their fields are.
class SleepSettingWriteFailure : public std::runtime_error {
public:
    enum class Kind { pmsetExited, readBackFailed, readBackUnreadable, notApplied };

    /// "pmset exited <status>"
    static SleepSettingWriteFailure pmsetExited(std::int32_t status);
    /// "pmset -g exited <status>, so the setting was never read back"
    static SleepSettingWriteFailure readBackFailed(std::int32_t status);
    /// "pmset -g established nothing about the setting: <reason>"
    static SleepSettingWriteFailure readBackUnreadable(const std::string& reason);
    /// "asked for disablesleep <wanted 1/0>, read back <found 1/0>"
    static SleepSettingWriteFailure notApplied(bool wanted, bool found);

    Kind kind() const { return kind_; }
    std::int32_t status() const { return status_; }
    const std::string& reason() const { return reason_; }
    bool wanted() const { return wanted_; }
    bool found() const { return found_; }

    friend bool operator==(const SleepSettingWriteFailure& a, const SleepSettingWriteFailure& b) {
        return a.kind_ == b.kind_ && a.status_ == b.status_ && a.reason_ == b.reason_ && a.wanted_ == b.wanted_ &&
               a.found_ == b.found_;
    }

private:
    SleepSettingWriteFailure(Kind kind, const std::string& description);

    Kind kind_;
    std::int32_t status_ = 0;
    std::string reason_;
    bool wanted_ = false;
    bool found_ = false;
};

} // namespace staywake
