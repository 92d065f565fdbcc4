#pragma once

#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Clock/Date.h"
#include "StaywakeCore/LidHelper/LidLeaseTerm.h"
#include "StaywakeCore/LidHelper/SleepSettingStanding.h"
#include "StaywakeCore/LidHelper/SystemSleepSetting.h"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

/// The one owner of the system sleep setting inside the lid helper. It turns
/// the setting on while a lease stands and off when none does, remembers what
/// it wrote, spaces out retries of a failed write, notices when something else
/// has changed the setting, and puts it back before the helper exits.
///
/// It knows nothing of clients: the lease service folds their leases into the
/// one term it holds. Nothing here throws; a failure of the setting is kept in
/// `lastError()` and repeated by the next request that calls for a write.
/// Main thread only: it holds no lock, and each call may block for as long as
/// the setting's own time limits.
class LidSleepLeaseKeeper {
public:
    /// Starts with no lease and nothing written, then writes 0 at once: a
    /// freshly started helper turns the setting off, whoever set it. The three
    /// references must not be null.
    LidSleepLeaseKeeper(std::shared_ptr<SystemSleepSetting> setting, std::shared_ptr<const DateProvider> dates,
                        std::shared_ptr<const UptimeProvider> uptime);

    LidSleepLeaseKeeper(const LidSleepLeaseKeeper&) = delete;
    LidSleepLeaseKeeper& operator=(const LidSleepLeaseKeeper&) = delete;

    /// The term for a deadline: at most `LidSleepLease::duration` ahead of the
    /// wall clock, mirrored onto the uptime clock. Absent when the deadline is
    /// not in the future (a deadline that is not a number never is).
    std::optional<LidLeaseTerm> term(Date until) const;
    /// Whether either clock has reached the term's end.
    bool hasLapsed(const LidLeaseTerm& term) const;

    /// Holds `term` and turns the setting on.
    void hold(const LidLeaseTerm& term);
    /// Holds the term for `until`, or revokes when there is none.
    void renew(Date until);
    /// Drops the lease and puts the setting back.
    void revoke();
    /// The periodic check: drops a lapsed lease, and repeats a failed write of
    /// whatever the lease state calls for. Runs nothing while the setting is
    /// as wanted.
    void checkLease();
    /// Compares a fresh read of the setting with what was last written. Reads
    /// nothing while a write failure stands or before anything was written.
    /// Finding the setting turned off elsewhere drops the lease and records 0
    /// as written (without writing).
    SleepSettingStanding readStanding();
    /// Drops the lease and insists on putting the setting back: one attempt
    /// at once, then, for as long as they fail and `until()` says to go on,
    /// `pause()` followed by another attempt. Returns whether the setting is
    /// back at 0.
    bool revokeBeforeExit(const std::function<bool()>& until, const std::function<void()>& pause);

    /// The wall-clock end of the lease held; absent when none is held.
    std::optional<Date> leaseExpiry() const { return leaseExpiry_; }
    /// The uptime end of the lease held; absent exactly when `leaseExpiry()` is.
    std::optional<double> leaseUptimeExpiry() const { return leaseUptimeExpiry_; }
    /// True only when the value last written and confirmed is 1.
    bool isSleepDisabled() const { return written_ == true; }
    /// The failure of the most recent write attempt; null once a write has
    /// succeeded since.
    std::exception_ptr lastError() const { return lastError_; }
    /// The text of `lastError()`: the failure's own description.
    std::optional<std::string> lastErrorDescription() const;

    /// The text form of a failure: what() of a std::exception.
    static std::string describe(const std::exception_ptr& error);

private:
    struct FailedAttempt {
        bool disabled;
        double at;
    };

    void write(bool disabled, bool evenIfJustFailed);
    /// One attempt at the setting; true on success.
    bool attempt(bool disabled);
    void clearLease();

    std::optional<Date> leaseExpiry_;
    std::optional<double> leaseUptimeExpiry_;
    std::optional<bool> written_;
    std::exception_ptr lastError_;
    std::optional<FailedAttempt> failed_;
    std::shared_ptr<SystemSleepSetting> setting_;
    std::shared_ptr<const DateProvider> dates_;
    std::shared_ptr<const UptimeProvider> uptime_;
};

} // namespace staywake
