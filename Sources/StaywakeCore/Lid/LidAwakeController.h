#pragma once

#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Clock/DeadlineScheduler.h"
#include "StaywakeCore/Lid/LidAwakeStore.h"
#include "StaywakeCore/Lid/LidClosePrecaution.h"
#include "StaywakeCore/Lid/LidSleepBlocker.h"
#include "StaywakeCore/Machine/MachineConditions.h"
#include "StaywakeCore/Support/Published.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace staywake {

/// Why turning Night Brew on is refused before anything is asked of the
/// helper.
enum class LidAwakeRefusal {
    /// The user has not yet acknowledged the heat warning.
    unacknowledged,
};

inline constexpr std::array<LidAwakeRefusal, 1> allLidAwakeRefusals = {LidAwakeRefusal::unacknowledged};

/// Night Brew: keeps the machine awake with its lid closed by holding the lid
/// helper's lease, always riding on an awake session of the AwakeController.
///
/// While on, the lease is renewed to 30 s ahead every 10 s, so a lease left by
/// an app that hangs or dies runs out on its own. Night Brew ends with its
/// awake session, when the user turns it off, or when a renewal is refused or
/// goes unanswered; the lease is then given back. A give-back that is not
/// confirmed is remembered (and shown) until one is, and retried by
/// checkLease() and turnOff().
///
/// Confined to the main thread. Timer actions, the conditions handler, the
/// session observer and the blocker's completions hold the controller weakly:
/// once it is destroyed they do nothing. Answers to requests made before a
/// switch-off only count down the requests in flight.
class LidAwakeController final {
public:
    using Action = std::function<void()>;

    LidAwakeController(std::shared_ptr<AwakeController> awake, std::shared_ptr<LidSleepBlocker> blocker,
                       std::shared_ptr<LidAwakeStore> store, std::shared_ptr<const MachineConditions> conditions,
                       std::shared_ptr<MachineConditionsNotifier> conditionsNotifier,
                       std::shared_ptr<const DateProvider> dates,
                       std::shared_ptr<DeadlineScheduler> renewalScheduler,
                       std::shared_ptr<DeadlineScheduler> deadlineScheduler);

    LidAwakeController(const LidAwakeController&) = delete;
    LidAwakeController& operator=(const LidAwakeController&) = delete;

    /// Starts (or replaces) an awake session of the given length (absent: no
    /// deadline) and turns Night Brew on with it. True when Night Brew is on
    /// or turning on afterwards.
    bool turnOn(std::optional<double> duration);
    /// Joins the awake session that is on; only when none is, starts one of
    /// the given length. True when Night Brew is on or turning on afterwards.
    bool turnOnJoiningSessionOr(std::optional<double> duration);
    /// Ends Night Brew and gives the lease back; the awake session goes on.
    void turnOff();
    /// Brings the lease up to date now: renews it while on, ends Night Brew
    /// when its session has ended, and retries an unconfirmed give-back.
    void checkLease();
    /// Reads the acknowledgement and the machine conditions again.
    void refresh();
    /// Records that the user has acknowledged the heat warning.
    void acknowledgeHeatWarning();
    /// Runs `action` once every request to the helper has been answered (or
    /// has timed out): at once when none is outstanding.
    void whenSettled(Action action);

    /// The helper has granted the current lease.
    const Published<bool>& isOn() const { return isOn_; }
    /// A first renewal has been sent and not yet answered.
    const Published<bool>& isTurningOn() const { return isTurningOn_; }
    const Published<bool>& hasAcknowledgedHeatWarning() const { return hasAcknowledgedHeatWarning_; }
    const Published<MachineConditionsSnapshot>& machineConditions() const { return machineConditions_; }
    /// The one failure to show: an unconfirmed give-back before why turning
    /// on (or the last renewal) failed.
    const Published<std::optional<AwakeFailure>>& lastFailure() const { return lastFailure_; }
    const Published<LidClosePrecaution>& precaution() const { return precaution_; }
    /// unacknowledged until the heat warning is acknowledged.
    const Published<std::optional<LidAwakeRefusal>>& refusal() const { return refusal_; }
    /// No request to the helper is outstanding.
    const Published<bool>& isSettled() const { return isSettled_; }
    /// The awake session's deadline.
    const Published<std::optional<Date>>& activeUntil() const { return awake_->activeUntil(); }

private:
    bool start(std::optional<double> duration, bool joining);
    void prepared(const std::exception_ptr& error, std::optional<double> duration, bool joining);
    void renewLease();
    void renewed(const std::optional<LidSleepBlockerError>& error, std::uint64_t generation);
    void gaveBack(const std::optional<LidSleepBlockerError>& error);
    void giveBack();
    void arm();
    void armDeadline();
    void deadlineReached();
    void refreshConditions();
    void answered();
    void publishDerived();
    /// Wraps an action so that it runs only while this controller exists.
    Action whileAlive(void (LidAwakeController::*member)()) const;

    Published<bool> isOn_{false};
    Published<bool> isTurningOn_{false};
    Published<std::optional<AwakeFailure>> startFailure_;
    Published<std::optional<AwakeFailure>> unconfirmedReset_;
    std::uint64_t switchOffs_ = 0;
    /// Counts starts and switch-offs: a preparation answered after a newer one
    /// of either does nothing.
    std::uint64_t preparations_ = 0;
    bool isPreparing_ = false;
    bool isRenewing_ = false;
    int givingBack_ = 0;
    int unanswered_ = 0;
    std::vector<Action> settledWaiters_;
    Published<bool> hasAcknowledgedHeatWarning_{false};
    Published<MachineConditionsSnapshot> machineConditions_;

    Published<std::optional<AwakeFailure>> lastFailure_;
    Published<LidClosePrecaution> precaution_{LidClosePrecaution::beforeFirstUse};
    Published<std::optional<LidAwakeRefusal>> refusal_{LidAwakeRefusal::unacknowledged};
    Published<bool> isSettled_{true};

    std::shared_ptr<AwakeController> awake_;
    std::shared_ptr<LidSleepBlocker> blocker_;
    std::shared_ptr<LidAwakeStore> store_;
    std::shared_ptr<const MachineConditions> machine_;
    std::shared_ptr<MachineConditionsNotifier> conditionsNotifier_;
    std::shared_ptr<const DateProvider> dates_;
    std::shared_ptr<DeadlineScheduler> renewalScheduler_;
    std::shared_ptr<DeadlineScheduler> deadlineScheduler_;
    // Callbacks hold this weakly; it expires with the controller. It owns
    // nothing (its deleter does nothing).
    std::shared_ptr<LidAwakeController> lifetime_;
};

} // namespace staywake
