#pragma once

#include "StaywakeCore/Clock/Date.h"

#include <exception>
#include <functional>
#include <optional>
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

/// The app's side of the lid helper's lease: make the helper ready, keep the
/// system sleep setting held until a time, and give it back.
///
/// Called on the main thread. `renew` and `revoke` never throw: each completes
/// exactly once, on the main thread, with no error or a LidSleepBlockerError.
/// A completion may run before the call returns (an implementation that
/// answers at once) or later.
class LidSleepBlocker {
public:
    using Completion = std::function<void(std::optional<LidSleepBlockerError> error)>;
    /// Nothing when ready; else a LidSleepBlockerError or the registration's own error.
    using Prepared = std::function<void(std::exception_ptr error)>;

    virtual ~LidSleepBlocker() = default;

    /// Makes the helper ready to take leases (registered and allowed), without
    /// blocking; `prepared` runs once on the main thread, perhaps before this
    /// returns. Ready at once unless an implementation needs more.
    virtual void prepare(Prepared prepared) { prepared(nullptr); }
    /// Asks for the lease to run until `until`.
    virtual void renew(Date until, Completion completion) = 0;
    /// Gives the lease back.
    virtual void revoke(Completion completion) = 0;
    /// The last renewal was granted and nothing has ended it since.
    virtual bool isEngaged() const = 0;
};

} // namespace staywake
