#include "StaywakeLidHelper/PollMainLoop.h"

#include "StaywakeLinux/SystemError.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>

namespace staywake {
namespace {

double monotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

timespec toTimespec(double seconds) {
    const double whole = std::floor(seconds);
    return timespec{static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
}

} // namespace

PollMainLoop::PollMainLoop(FailureHandler onFailure) : onFailure_(std::move(onFailure)) {}

void PollMainLoop::perform(Action action) {
    {
        const std::lock_guard guard(lock_);
        if (!stopping_) {
            queued_.push_back(std::move(action));
            action = nullptr;
        }
    }
    // Once stopping, the action is dropped here, outside the lock: what it
    // holds may take locks of its own as it goes.
    if (action) {
        action = nullptr;
        return;
    }
    wake_.notify();
}

void PollMainLoop::perform(double delaySeconds, Action action) {
    const double due = monotonicNow() + (std::isfinite(delaySeconds) && delaySeconds > 0 ? delaySeconds : 0);
    {
        const std::lock_guard guard(lock_);
        if (!stopping_) {
            delayed_.emplace(due, std::move(action));
            action = nullptr;
        }
    }
    if (action) {
        action = nullptr;
        return;
    }
    wake_.notify();
}

void PollMainLoop::stopWith(Action action) {
    std::deque<Action> dropped;
    {
        const std::lock_guard guard(lock_);
        if (stopping_) {
            return;
        }
        stopping_ = true;
        stop_ = std::move(action);
        dropped.swap(queued_);
    }
    wake_.notify();
}

bool PollMainLoop::runStop() {
    std::optional<Action> stop;
    {
        const std::lock_guard guard(lock_);
        stop.swap(stop_);
    }
    if (!stop) {
        return false;
    }
    runGuarded(*stop);
    return true;
}

PollMainLoop::Timer PollMainLoop::timer(Action action) {
    UniqueFd timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
    if (!timer) {
        throw SystemError("could not create a timer", errno);
    }
    sources_.push_back({std::move(timer), std::move(action), true});
    return sources_.size() - 1;
}

void PollMainLoop::arm(Timer timer, std::optional<double> delaySeconds) {
    itimerspec schedule{};
    if (delaySeconds) {
        // Zero would disarm it: a due time already past fires at once.
        schedule.it_value = toTimespec(std::isfinite(*delaySeconds) ? std::max(*delaySeconds, 1e-6) : 1e-6);
    }
    if (::timerfd_settime(sources_.at(timer).fd.get(), 0, &schedule, nullptr) != 0) {
        throw SystemError("could not arm a timer", errno);
    }
}

void PollMainLoop::watch(UniqueFd fd, Action action) {
    sources_.push_back({std::move(fd), std::move(action), false});
}

int PollMainLoop::run() {
    std::vector<pollfd> polled;
    while (!exitStatus_) {
        int timeout = -1;
        {
            const std::lock_guard guard(lock_);
            if (!queued_.empty() || stop_) {
                timeout = 0;
            } else if (!delayed_.empty()) {
                const double wait = delayed_.begin()->first - monotonicNow();
                timeout = wait <= 0 ? 0 : static_cast<int>(std::min(std::ceil(wait * 1000), 3600000.0));
            }
        }
        polled.clear();
        polled.push_back({wake_.fd(), POLLIN, 0});
        for (const auto& source : sources_) {
            polled.push_back({source.fd.get(), POLLIN, 0});
        }
        if (::poll(polled.data(), polled.size(), timeout) < 0 && errno != EINTR) {
            throw SystemError("could not wait in the main loop", errno);
        }
        if (polled[0].revents != 0) {
            wake_.clear();
        }
        if (runStop()) {
            continue;
        }
        // An action may add sources: only those polled are looked at.
        for (std::size_t i = 0; i + 1 < polled.size() && !exitStatus_; ++i) {
            if (polled[i + 1].revents == 0) {
                continue;
            }
            std::uint64_t expirations = 0;
            if (!sources_[i].isTimer || ::read(sources_[i].fd.get(), &expirations, sizeof expirations) > 0) {
                const Action action = sources_[i].action; // a source added meanwhile may move it
                runGuarded(action);
            }
        }
        runDue(monotonicNow());
    }
    return *exitStatus_;
}

void PollMainLoop::runDue(double now) {
    // Only what was queued before this pass runs now; an action that queues
    // another does not starve the timers.
    std::deque<Action> ready;
    {
        const std::lock_guard guard(lock_);
        ready.swap(queued_);
        while (!delayed_.empty() && delayed_.begin()->first <= now) {
            ready.push_back(std::move(delayed_.begin()->second));
            delayed_.erase(delayed_.begin());
        }
    }
    // After a quit, what is left is dropped with the loop.
    while (!ready.empty() && !exitStatus_) {
        if (runStop()) {
            return; // what was ready is dropped with `ready`
        }
        runGuarded(ready.front());
        ready.pop_front();
    }
}

void PollMainLoop::quit(int status) { exitStatus_ = status; }

void PollMainLoop::runGuarded(const Action& action) {
    try {
        action();
    } catch (const std::exception& error) {
        onFailure_(error.what());
    } catch (...) {
        onFailure_("an unknown failure");
    }
}

} // namespace staywake
