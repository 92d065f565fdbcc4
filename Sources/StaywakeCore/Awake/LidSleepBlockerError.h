#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace staywake {

/// What the lid helper's client throws or delivers. Two errors are equal when
/// they are the same case with the same reason text.
class LidSleepBlockerError : public std::runtime_error {
public:
    enum class Kind {
        /// The helper answered with a refusal; `reason()` is the text it sent.
        helperRefused,
        /// The helper could not be reached, did not answer in time, or there is
        /// no helper requirement to hold it to.
        helperUnavailable,
        /// The helper's registration waits for the user's approval.
        helperRequiresApproval,
    };

    static LidSleepBlockerError helperRefused(std::string reason);
    static LidSleepBlockerError helperUnavailable();
    static LidSleepBlockerError helperRequiresApproval();

    Kind kind() const { return kind_; }
    /// The helper's text for helperRefused, exactly as received; empty for the
    /// other cases.
    const std::string& reason() const { return reason_; }

    friend bool operator==(const LidSleepBlockerError& a, const LidSleepBlockerError& b) {
        return a.kind_ == b.kind_ && a.reason_ == b.reason_;
    }

private:
    LidSleepBlockerError(Kind kind, std::string reason, const std::string& description);

    Kind kind_;
    std::string reason_;
};

} // namespace staywake
