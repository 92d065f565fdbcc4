#include "Staywake/System/TimerDeadlineScheduler.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace staywake {

TimerDeadlineScheduler::TimerDeadlineScheduler(std::shared_ptr<const DateProvider> dates,
                                               double longestStepSeconds)
    : dates_(std::move(dates)),
      longestStep_(std::clamp(longestStepSeconds, shortestWaitSeconds, 24.0 * 24 * 60 * 60)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { timerFired(); });
}

void TimerDeadlineScheduler::schedule(Date at, Action action) {
    timer_.stop();
    at_ = at;
    action_ = std::move(action);
    arm();
}

void TimerDeadlineScheduler::cancel() {
    timer_.stop();
    action_ = nullptr;
    armedForAStep_ = false;
}

void TimerDeadlineScheduler::arm() {
    double wait = at_ - dates_->now();
    // A date in the past or a wait that is not a number still waits a little:
    // never 0, so a caller that re-arms from its action cannot spin.
    if (!(wait >= shortestWaitSeconds)) {
        wait = shortestWaitSeconds;
    }
    armedForAStep_ = wait > longestStep_;
    const double seconds = std::min(wait, longestStep_);
    // Rounded up: the timer never fires before the date.
    timer_.start(static_cast<int>(std::ceil(seconds * 1000)));
}

void TimerDeadlineScheduler::timerFired() {
    if (armedForAStep_) {
        arm();
        return;
    }
    // Taken out first: the action may schedule the next deadline.
    auto action = std::exchange(action_, nullptr);
    if (action) {
        action();
    }
}

} // namespace staywake
