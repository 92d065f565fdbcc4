#pragma once

#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Clock/DeadlineScheduler.h"

#include <QTimer>
#include <memory>

namespace staywake {

/// One precise single-shot QTimer on the GUI thread. It fires while a menu is
/// open (Qt's nested loops dispatch timers), never sooner than 0.05 s after
/// arming, and only the last scheduled action ever runs. Used from the GUI
/// thread only.
class TimerDeadlineScheduler final : public DeadlineScheduler {
public:
    static constexpr double shortestWaitSeconds = 0.05;

    /// `dates` is the wall clock the dates are read against. QTimer counts
    /// milliseconds in an int (about 24 days), so a longer wait is made in
    /// steps of at most `longestStepSeconds`, each checked against the clock.
    explicit TimerDeadlineScheduler(std::shared_ptr<const DateProvider> dates,
                                    double longestStepSeconds = 24 * 60 * 60);

    TimerDeadlineScheduler(const TimerDeadlineScheduler&) = delete;
    TimerDeadlineScheduler& operator=(const TimerDeadlineScheduler&) = delete;

    void schedule(Date at, Action action) override;
    void cancel() override;

    bool isPending() const { return static_cast<bool>(action_); }

private:
    void arm();
    void timerFired();

    std::shared_ptr<const DateProvider> dates_;
    double longestStep_;
    QTimer timer_;
    Date at_;
    Action action_;
    bool armedForAStep_ = false;
};

} // namespace staywake
