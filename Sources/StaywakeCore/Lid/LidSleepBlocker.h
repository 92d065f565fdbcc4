#pragma once

#include "StaywakeCore/Awake/LidSleepBlockerError.h"
#include "StaywakeCore/Clock/Date.h"

#include <exception>
#include <functional>
#include <optional>

namespace staywake {

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
