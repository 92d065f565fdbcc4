#include "StaywakeCore/Awake/AwakeController.h"

#include <exception>
#include <utility>

namespace staywake {

AwakeController::AwakeController(std::shared_ptr<SleepBlocker> blocker, std::shared_ptr<AwakeIntentStore> store,
                                 std::shared_ptr<const DateProvider> dates,
                                 std::shared_ptr<const ContinuousTimeProvider> continuous,
                                 std::shared_ptr<DeadlineScheduler> scheduler,
                                 std::shared_ptr<DeadlineRecheckNotifier> recheck, bool restoringPreviousState)
    : blocker_(std::move(blocker)), store_(std::move(store)), dates_(std::move(dates)),
      continuous_(std::move(continuous)), scheduler_(std::move(scheduler)), recheck_(std::move(recheck)),
      lifetime_(this, [](AwakeController*) {}) {
    const StoredAwakeIntent stored = store_->load();
    const bool storedOff = stored == StoredAwakeIntent::intent(AwakeIntent::off());

    // What to bring back: nothing (off), a session without a deadline, a
    // session until a deadline still ahead, or nothing but clearing the record.
    bool targetIsOff = true;
    std::optional<Date> deadline;
    if (const auto intent = stored.intent()) {
        switch (intent->kind()) {
        case AwakeIntent::Kind::off:
            break;
        case AwakeIntent::Kind::indefinite:
            targetIsOff = false;
            break;
        case AwakeIntent::Kind::until: {
            const Date until = *intent->date();
            if (AwakeIntent::isUsable(until) && dates_->now() < until) {
                targetIsOff = false;
                deadline = until;
            }
            break;
        }
        }
    }

    isRequested_.set(!storedOff);
    activeUntil_.set(deadline);
    if (deadline) {
        activeUntilContinuous_ = continuous_->continuousTime() + (*deadline - dates_->now());
    }

    recheck_->observe(expiryCheck());

    if (restoringPreviousState && !storedOff) {
        if (targetIsOff) {
            turnOff();
        } else {
            activate(deadline, false);
        }
    }
}

void AwakeController::turnOn(std::optional<double> duration) {
    if (!duration) {
        activate(std::nullopt, true);
        return;
    }
    const auto deadline = AwakeIntent::deadline(*duration, dates_->now());
    if (!deadline) {
        turnOff();
        return;
    }
    activate(deadline, true);
}

void AwakeController::turnOff() {
    scheduler_->cancel();
    store_->save(AwakeIntent::off());
    isRequested_.set(false);
    activeUntil_.set(std::nullopt);
    activeUntilContinuous_.reset();
    lastFailure_.set(std::nullopt);
    if (isOn_) {
        blocker_->release();
        isOn_.set(false);
    }
    notifySessionObservers();
}

void AwakeController::toggle() {
    // Decided on the lock, not on the request: after a refusal this retries.
    if (isOn_) {
        turnOff();
    } else {
        turnOn(std::nullopt);
    }
}

void AwakeController::checkExpiry() {
    const Date now = dates_->now();
    const auto end = endsAt(now);
    if (!end) {
        return;
    }
    if (now >= *end) {
        turnOff();
    } else {
        arm(end);
    }
}

void AwakeController::observeSession(SessionObserver observer) {
    sessionObservers_.push_back(std::move(observer));
}

std::optional<Date> AwakeController::endsAt() const { return endsAt(dates_->now()); }

std::optional<double> AwakeController::remaining() const {
    const Date now = dates_->now();
    const auto end = endsAt(now);
    if (!end) {
        return std::nullopt;
    }
    const double left = *end - now;
    // Negative (the deadline passed before the timer fired) and not-a-number
    // both read as nothing left.
    return left > 0 ? left : 0.0;
}

void AwakeController::activate(std::optional<Date> until, bool recording) {
    if (recording) {
        store_->save(until ? AwakeIntent::until(*until) : AwakeIntent::indefinite());
    }
    isRequested_.set(true);
    activeUntil_.set(until);
    if (until) {
        activeUntilContinuous_ = continuous_->continuousTime() + (*until - dates_->now());
    } else {
        activeUntilContinuous_.reset();
    }

    // A running session is re-aimed without giving the lock back; a refused
    // one stays requested and recorded, and its deadline is still armed below.
    if (!isOn_) {
        try {
            blocker_->engage();
            isOn_.set(true);
            lastFailure_.set(std::nullopt);
        } catch (...) {
            isOn_.set(false);
            lastFailure_.set(AwakeFailure(std::current_exception()));
        }
    }

    arm(endsAt());
    notifySessionObservers();
}

void AwakeController::arm(std::optional<Date> end) {
    if (!end) {
        scheduler_->cancel();
        return;
    }
    scheduler_->schedule(*end, expiryCheck());
}

std::optional<Date> AwakeController::endsAt(Date now) const {
    if (!activeUntil_.get()) {
        return std::nullopt;
    }
    const Date wallDeadline = *activeUntil_.get();
    if (!activeUntilContinuous_) {
        return wallDeadline;
    }
    const double continuousLeft = *activeUntilContinuous_ - continuous_->continuousTime();
    const double wallLeft = wallDeadline - now;
    // Setting the wall clock back cannot stretch a session (the continuous
    // clock ends it on time); setting it forward ends it early. A tie, or
    // readings that do not compare, go to the wall-clock deadline.
    if (continuousLeft < wallLeft) {
        return now + continuousLeft;
    }
    return wallDeadline;
}

void AwakeController::notifySessionObservers() {
    // An observer may add another; the newcomer waits for the next change.
    const auto observers = sessionObservers_;
    for (const auto& observer : observers) {
        observer();
    }
}

std::function<void()> AwakeController::expiryCheck() const {
    return [weak = std::weak_ptr<AwakeController>(lifetime_)] {
        if (const auto controller = weak.lock()) {
            controller->checkExpiry();
        }
    };
}

} // namespace staywake
