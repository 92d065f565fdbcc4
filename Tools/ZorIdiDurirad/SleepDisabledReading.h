#pragma once

#include <string>
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

} // namespace staywake
