#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace staywake {

/// What one listing of `pmset -g` says about the sleep setting.
class SleepDisabledReading {
public:
    enum class Kind { unreadable, disabled, enabled };

    /// The listing establishes nothing; `reason` says why.
    static SleepDisabledReading unreadable(std::string reason) {
        return SleepDisabledReading(Kind::unreadable, std::move(reason));
    }
    /// Sleep is disabled: the listing's SleepDisabled line says 1.
    static SleepDisabledReading disabled() { return SleepDisabledReading(Kind::disabled, {}); }
    /// Sleep is not disabled: the line says 0, or a real listing has no such line.
    static SleepDisabledReading enabled() { return SleepDisabledReading(Kind::enabled, {}); }

    Kind kind() const { return kind_; }
    bool isUnreadable() const { return kind_ == Kind::unreadable; }
    /// Why the listing establishes nothing; empty for the other kinds.
    const std::string& reason() const { return reason_; }

    friend bool operator==(const SleepDisabledReading&, const SleepDisabledReading&) = default;

private:
    SleepDisabledReading(Kind kind, std::string reason) : kind_(kind), reason_(std::move(reason)) {}

    Kind kind_;
    std::string reason_;
};

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
