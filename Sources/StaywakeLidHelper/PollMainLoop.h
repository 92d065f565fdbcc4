#pragma once

#include "StaywakeCore/Clock/MainRunLoop.h"
#include "StaywakeLinux/Socket/EventNotifier.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace staywake {

/// The lid helper's main run loop: one thread, poll(), an eventfd for work
/// posted from other threads and a timerfd per timer. Everything the
/// helper does with the sleep setting runs here, one action at a time.
class PollMainLoop final : public MainRunLoop {
public:
    /// Called with the description of an action that threw, so one failing
    /// request cannot take the helper down.
    using FailureHandler = std::function<void(const std::string& description)>;

    /// Throws SystemError when the eventfd cannot be made.
    explicit PollMainLoop(FailureHandler onFailure);

    void perform(Action action) override;
    void perform(double delaySeconds, Action action) override;

    /// A one-shot timer for `action`, unarmed until `arm`. Main thread (or
    /// before `run`). Throws SystemError.
    using Timer = std::size_t;
    Timer timer(Action action);
    /// Runs the timer's action once, `delaySeconds` from now on the monotonic
    /// clock, in place of whatever it was armed for; absent disarms it. Main
    /// thread. Throws SystemError.
    void arm(Timer timer, std::optional<double> delaySeconds);

    /// Runs `action` whenever `fd` is readable; the action must read what is
    /// there. Main thread (or before `run`).
    void watch(UniqueFd fd, Action action);

    /// Runs `action` next, before anything queued, and drops everything
    /// queued or performed afterwards unrun: for a stop that must not wait
    /// behind requests. Only the first call counts. Callable from any thread.
    void stopWith(Action action);

    /// Runs actions until `quit`; returns the status given to it.
    int run();
    /// Ends `run` after the current action. Main thread.
    void quit(int status);

private:
    struct Source {
        UniqueFd fd;
        Action action;
        /// A timerfd, whose expirations are read before its action runs.
        bool isTimer;
    };

    void runGuarded(const Action& action);
    /// Runs the stop if one is waiting; true when it did.
    bool runStop();
    void runDue(double now);

    FailureHandler onFailure_;
    EventNotifier wake_;
    std::vector<Source> sources_;
    std::optional<int> exitStatus_;

    std::mutex lock_;
    // Guarded by `lock_`:
    std::deque<Action> queued_;
    std::multimap<double, Action> delayed_; // by monotonic due time
    std::optional<Action> stop_;
    bool stopping_ = false;
};

} // namespace staywake
