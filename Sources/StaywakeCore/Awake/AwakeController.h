#pragma once

#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/Awake/AwakeIntentStore.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Clock/Date.h"
#include "StaywakeCore/Clock/DeadlineRecheckNotifier.h"
#include "StaywakeCore/Clock/DeadlineScheduler.h"
#include "StaywakeCore/Support/Published.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace staywake {

/// Knows whether the machine is being kept awake, until when, and why it could
/// not be. Holds the idle-sleep lock through its blocker, keeps the session's
/// deadline on the wall and the continuous clock (whichever ends it first
/// wins, so neither sleep nor setting the clock stretches a session), records
/// the user's intent, and brings back a session that was running when the app
/// last quit.
///
/// Confined to the main thread. The deadline timer and the recheck handler
/// hold the controller weakly: once it is destroyed they do nothing.
/// Destroying it does not end the session: the stored intent stays, and the
/// blocker gives its lock back when it goes.
class AwakeController final {
public:
    using SessionObserver = std::function<void()>;

    /// With `restoringPreviousState`, brings back the session the store
    /// records: a session without a deadline or with a usable deadline still
    /// ahead is taken up again without writing anything; one that has expired
    /// or cannot be read is cleared (the store records off). Without it, the
    /// controller only mirrors the record in isRequested and activeUntil,
    /// taking no lock and writing nothing.
    AwakeController(std::shared_ptr<SleepBlocker> blocker, std::shared_ptr<AwakeIntentStore> store,
                    std::shared_ptr<const DateProvider> dates,
                    std::shared_ptr<const ContinuousTimeProvider> continuous,
                    std::shared_ptr<DeadlineScheduler> scheduler, std::shared_ptr<DeadlineRecheckNotifier> recheck,
                    bool restoringPreviousState);

    AwakeController(const AwakeController&) = delete;
    AwakeController& operator=(const AwakeController&) = delete;

    /// Starts or re-aims a session: without a duration it has no deadline; with
    /// one it ends that many seconds from now. A running session keeps its lock
    /// without a gap. A duration that is not a finite number above 0 turns the
    /// session off. Records the intent.
    void turnOn(std::optional<double> duration);
    /// Ends the session, gives the lock back and records off. Safe when idle.
    void turnOff();
    /// Off when the lock is held; otherwise a session without a deadline. After
    /// a refused lock this tries again.
    void toggle();
    /// Ends the session if its deadline has passed on either clock; otherwise
    /// re-arms the deadline timer. Call it before reading the state when it
    /// must be fresh.
    void checkExpiry();
    /// Adds a callback run once after every start or re-aim of a session and
    /// after every turnOff(), when the controller's state is final. Callbacks
    /// run in the order they were added and are never removed.
    void observeSession(SessionObserver observer);

    /// The idle-sleep lock is held right now.
    const Published<bool>& isOn() const { return isOn_; }
    /// Why the last attempt to take the lock failed; cleared by a successful
    /// attempt and by turnOff().
    const Published<std::optional<AwakeFailure>>& lastFailure() const { return lastFailure_; }
    /// The user asked for a session that has not ended or expired; may be true
    /// while isOn is false (the lock was refused).
    const Published<bool>& isRequested() const { return isRequested_; }
    /// The wall-clock deadline; absent for a session without one and when idle.
    const Published<std::optional<Date>>& activeUntil() const { return activeUntil_; }

    /// When the session really ends: the earlier of the wall-clock deadline
    /// and the continuous one, a tie going to the wall clock.
    std::optional<Date> endsAt() const;
    /// Seconds from now to endsAt, never below 0; absent without a deadline.
    std::optional<double> remaining() const;

private:
    void activate(std::optional<Date> until, bool recording);
    void arm(std::optional<Date> end);
    std::optional<Date> endsAt(Date now) const;
    void notifySessionObservers();
    /// A callback that runs checkExpiry() on this controller if it still exists.
    std::function<void()> expiryCheck() const;

    Published<bool> isOn_{false};
    Published<std::optional<AwakeFailure>> lastFailure_;
    Published<bool> isRequested_{false};
    Published<std::optional<Date>> activeUntil_;
    std::optional<double> activeUntilContinuous_;
    std::shared_ptr<SleepBlocker> blocker_;
    std::shared_ptr<AwakeIntentStore> store_;
    std::shared_ptr<const DateProvider> dates_;
    std::shared_ptr<const ContinuousTimeProvider> continuous_;
    std::shared_ptr<DeadlineScheduler> scheduler_;
    std::shared_ptr<DeadlineRecheckNotifier> recheck_;
    std::vector<SessionObserver> sessionObservers_;
    // Timer actions and recheck handlers hold this weakly; it expires with the
    // controller. It owns nothing (its deleter does nothing).
    std::shared_ptr<AwakeController> lifetime_;
};

} // namespace staywake
