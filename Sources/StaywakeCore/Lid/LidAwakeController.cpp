#include "StaywakeCore/Lid/LidAwakeController.h"

#include "StaywakeCore/Awake/AwakeIntent.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"

#include <exception>
#include <utility>

namespace staywake {

LidAwakeController::LidAwakeController(
    std::shared_ptr<AwakeController> awake, std::shared_ptr<LidSleepBlocker> blocker,
    std::shared_ptr<LidAwakeStore> store, std::shared_ptr<const MachineConditions> conditions,
    std::shared_ptr<MachineConditionsNotifier> conditionsNotifier, std::shared_ptr<const DateProvider> dates,
    std::shared_ptr<DeadlineScheduler> renewalScheduler, std::shared_ptr<DeadlineScheduler> deadlineScheduler)
    : awake_(std::move(awake)), blocker_(std::move(blocker)), store_(std::move(store)),
      machine_(std::move(conditions)), conditionsNotifier_(std::move(conditionsNotifier)),
      dates_(std::move(dates)), renewalScheduler_(std::move(renewalScheduler)),
      deadlineScheduler_(std::move(deadlineScheduler)), lifetime_(this, [](LidAwakeController*) {}) {
    hasAcknowledgedHeatWarning_.set(store_->hasAcknowledgedHeatWarning());
    machineConditions_.set(machine_->snapshot());
    publishDerived();

    // The derived values follow their inputs before any outside observer of
    // those inputs hears of a change: these observers are the first ones.
    const auto republish = [this](const auto&) { publishDerived(); };
    isOn_.observe(republish);
    hasAcknowledgedHeatWarning_.observe(republish);
    machineConditions_.observe(republish);
    startFailure_.observe(republish);
    unconfirmedReset_.observe(republish);

    conditionsNotifier_->observe(whileAlive(&LidAwakeController::refreshConditions));
    awake_->observeSession([weak = std::weak_ptr<LidAwakeController>(lifetime_)] {
        const auto controller = weak.lock();
        if (controller && (controller->isOn_ || controller->isTurningOn_)) {
            controller->armDeadline();
        }
    });
}

bool LidAwakeController::turnOn(std::optional<double> duration) { return start(duration, false); }

bool LidAwakeController::turnOnJoiningSessionOr(std::optional<double> duration) { return start(duration, true); }

bool LidAwakeController::start(std::optional<double> duration, bool joining) {
    if (!hasAcknowledgedHeatWarning_) {
        return false;
    }
    if (duration && !AwakeIntent::deadline(*duration, dates_->now())) {
        return false;
    }
    // Preparing may wait for the service manager and a password prompt: the
    // rest of the start follows its answer, which a later start or a
    // switch-off makes moot.
    const std::uint64_t preparation = ++preparations_;
    isPreparing_ = true;
    blocker_->prepare([weak = std::weak_ptr<LidAwakeController>(lifetime_), preparation, duration,
                       joining](std::exception_ptr error) {
        const auto controller = weak.lock();
        if (controller && controller->preparations_ == preparation) {
            controller->prepared(error, duration, joining);
        }
    });
    if (isPreparing_) {
        isTurningOn_.set(true);
    }
    return isOn_ || isTurningOn_;
}

void LidAwakeController::prepared(const std::exception_ptr& error, std::optional<double> duration, bool joining) {
    isPreparing_ = false;
    // While an unconfirmed give-back stands it stays the failure shown: a new
    // failure to start would only hide it.
    if (error) {
        startFailure_.set(unconfirmedReset_.get() ? std::nullopt : std::optional(AwakeFailure(error)));
        if (!isRenewing_) {
            isTurningOn_.set(false);
        }
        return;
    }

    if (joining) {
        awake_->checkExpiry();
    }
    if (!joining || !awake_->isOn()) {
        awake_->turnOn(duration);
    }
    if (!awake_->isOn()) {
        startFailure_.set(unconfirmedReset_.get() ? std::nullopt : awake_->lastFailure().get());
        if (!isRenewing_) {
            isTurningOn_.set(false);
        }
        return;
    }

    renewLease();
}

void LidAwakeController::turnOff() {
    ++preparations_;
    isPreparing_ = false;
    renewalScheduler_->cancel();
    deadlineScheduler_->cancel();

    const bool wasRenewing = isRenewing_;
    ++switchOffs_;
    isRenewing_ = false;
    isTurningOn_.set(false);
    startFailure_.set(std::nullopt);

    if (!isOn_ && !wasRenewing && !(unconfirmedReset_.get() && givingBack_ == 0)) {
        return;
    }
    isOn_.set(false);
    giveBack();
}

void LidAwakeController::checkLease() {
    if (isOn_ || isTurningOn_) {
        awake_->checkExpiry();
        if (awake_->isOn()) {
            renewLease();
        } else {
            turnOff();
        }
        return;
    }
    // Off with a give-back still unconfirmed: try once more, one at a time.
    if (unconfirmedReset_.get() && givingBack_ == 0) {
        giveBack();
    }
}

void LidAwakeController::refresh() {
    hasAcknowledgedHeatWarning_.set(store_->hasAcknowledgedHeatWarning());
    refreshConditions();
}

void LidAwakeController::acknowledgeHeatWarning() {
    store_->setHasAcknowledgedHeatWarning(true);
    hasAcknowledgedHeatWarning_.set(true);
}

void LidAwakeController::whenSettled(Action action) {
    if (unanswered_ <= 0) {
        action();
        return;
    }
    settledWaiters_.push_back(std::move(action));
}

void LidAwakeController::renewLease() {
    if (isRenewing_) {
        return;
    }
    isRenewing_ = true;
    if (!isOn_) {
        isTurningOn_.set(true);
    }
    armDeadline();

    ++unanswered_;
    isSettled_.set(false);
    const std::uint64_t generation = switchOffs_;
    blocker_->renew(LidSleepLease::expiry(dates_->now()), [weak = std::weak_ptr<LidAwakeController>(lifetime_),
                                                           generation](std::optional<LidSleepBlockerError> error) {
        if (const auto controller = weak.lock()) {
            controller->renewed(error, generation);
        }
    });
}

void LidAwakeController::renewed(const std::optional<LidSleepBlockerError>& error, std::uint64_t generation) {
    if (generation == switchOffs_) {
        isRenewing_ = false;
        isTurningOn_.set(false);
        if (!error) {
            isOn_.set(true);
            startFailure_.set(std::nullopt);
            unconfirmedReset_.set(std::nullopt);
            arm();
        } else {
            // Night Brew switches itself off and gives the lease back; the
            // awake session goes on.
            renewalScheduler_->cancel();
            deadlineScheduler_->cancel();
            isOn_.set(false);
            startFailure_.set(AwakeFailure(*error));
            ++switchOffs_;
            giveBack();
        }
    }
    answered();
}

void LidAwakeController::giveBack() {
    ++givingBack_;
    ++unanswered_;
    isSettled_.set(false);
    blocker_->revoke(
        [weak = std::weak_ptr<LidAwakeController>(lifetime_)](std::optional<LidSleepBlockerError> error) {
            if (const auto controller = weak.lock()) {
                controller->gaveBack(error);
            }
        });
}

void LidAwakeController::gaveBack(const std::optional<LidSleepBlockerError>& error) {
    --givingBack_;
    if (!error) {
        unconfirmedReset_.set(std::nullopt);
    } else {
        // The helper's own refusal says the most; any other failure only fills
        // an empty place, so an earlier, more specific one is kept.
        AwakeFailure failure(*error);
        if (failure.kind() == AwakeFailure::Kind::lidHelperRefused || !unconfirmedReset_.get()) {
            unconfirmedReset_.set(std::move(failure));
        }
        startFailure_.set(std::nullopt);
    }
    answered();
}

void LidAwakeController::answered() {
    --unanswered_;
    isSettled_.set(unanswered_ <= 0);
    if (unanswered_ == 0) {
        // A waiter may make new requests or add waiters; those wait for the
        // next time everything is answered.
        auto waiters = std::exchange(settledWaiters_, {});
        for (auto& waiter : waiters) {
            waiter();
        }
    }
}

void LidAwakeController::arm() {
    renewalScheduler_->schedule(dates_->now() + LidSleepLease::renewalInterval,
                                whileAlive(&LidAwakeController::checkLease));
}

void LidAwakeController::armDeadline() {
    if (!awake_->isOn()) {
        // The session has ended: end Night Brew promptly, from the timer.
        deadlineScheduler_->schedule(dates_->now(), whileAlive(&LidAwakeController::deadlineReached));
        return;
    }
    if (const auto end = awake_->endsAt()) {
        deadlineScheduler_->schedule(*end, whileAlive(&LidAwakeController::deadlineReached));
    } else {
        deadlineScheduler_->cancel();
    }
}

void LidAwakeController::deadlineReached() {
    if (!isOn_ && !isTurningOn_) {
        return;
    }
    awake_->checkExpiry();
    if (awake_->isOn()) {
        armDeadline();
    } else {
        turnOff();
    }
}

void LidAwakeController::refreshConditions() {
    // Only a real change is announced; Night Brew is never switched off by
    // one, only its precaution changes.
    machineConditions_.set(machine_->snapshot());
}

void LidAwakeController::publishDerived() {
    lastFailure_.set(unconfirmedReset_.get() ? unconfirmedReset_.get() : startFailure_.get());
    precaution_.set(lidClosePrecautionShown(isOn_, hasAcknowledgedHeatWarning_, machineConditions_));
    refusal_.set(hasAcknowledgedHeatWarning_ ? std::nullopt : std::optional(LidAwakeRefusal::unacknowledged));
}

LidAwakeController::Action LidAwakeController::whileAlive(void (LidAwakeController::*member)()) const {
    return [weak = std::weak_ptr<LidAwakeController>(lifetime_), member] {
        if (const auto controller = weak.lock()) {
            (controller.get()->*member)();
        }
    };
}

} // namespace staywake
