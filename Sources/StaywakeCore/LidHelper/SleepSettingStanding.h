#pragma once

#include <ostream>
#include <string>
#include <utility>

namespace staywake {

/// What a fresh read says about the sleep setting compared with what the lease
/// keeper last wrote.
class SleepSettingStanding {
public:
    enum class Kind {
        /// The setting could not be read; `reason()` is the read failure's text.
        unread,
        /// The setting is as the keeper left it, or there was nothing to compare.
        asWritten,
        /// The keeper last wrote 0 but the setting reads 1.
        onElsewhere,
        /// The keeper last wrote 1 but the setting reads 0.
        offElsewhere,
    };

    static SleepSettingStanding unread(std::string reason) { return {Kind::unread, std::move(reason)}; }
    static SleepSettingStanding asWritten() { return {Kind::asWritten, {}}; }
    static SleepSettingStanding onElsewhere() { return {Kind::onElsewhere, {}}; }
    static SleepSettingStanding offElsewhere() { return {Kind::offElsewhere, {}}; }

    Kind kind() const { return kind_; }
    /// The read failure's text for `unread`; empty otherwise.
    const std::string& reason() const { return reason_; }

    friend bool operator==(const SleepSettingStanding&, const SleepSettingStanding&) = default;
    friend std::ostream& operator<<(std::ostream& out, const SleepSettingStanding& standing);

private:
    SleepSettingStanding(Kind kind, std::string reason) : kind_(kind), reason_(std::move(reason)) {}

    Kind kind_;
    std::string reason_;
};

} // namespace staywake
