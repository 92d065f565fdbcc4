#pragma once

#include "StaywakeCore/Clock/MainRunLoop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace staywake::testing {

/// A main run loop for tests without Qt: the test's thread runs what other threads hand it while it
/// awaits an outcome; delayed actions run when their time has come, in order.
class ConditionMainRunLoop final : public MainRunLoop {
public:
    using Clock = std::chrono::steady_clock;

    void perform(Action action) override { perform(0, std::move(action)); }

    void perform(double delaySeconds, Action action) override {
        const auto delay = std::chrono::duration<double>(delaySeconds > 0 ? delaySeconds : 0);
        const std::lock_guard guard(lock_);
        queued_.emplace(std::pair(Clock::now() + std::chrono::duration_cast<Clock::duration>(delay), next_++),
                        std::move(action));
        changed_.notify_all();
    }

    /// Runs what is due until `condition` holds; false when it still does not after `timeout`.
    bool runUntil(const std::function<bool()>& condition,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = Clock::now() + timeout;
        for (std::unique_lock guard(lock_);;) {
            while (!queued_.empty() && queued_.begin()->first.first <= Clock::now()) {
                auto action = std::move(queued_.begin()->second);
                queued_.erase(queued_.begin());
                guard.unlock();
                action();
                guard.lock();
            }
            guard.unlock();
            if (condition()) {
                return true;
            }
            guard.lock();
            if (Clock::now() >= deadline) {
                return false;
            }
            // Woken early by a newcomer, the loop looks again: it may be due sooner.
            changed_.wait_until(guard,
                                queued_.empty() ? deadline : std::min(deadline, queued_.begin()->first.first));
        }
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::multimap<std::pair<Clock::time_point, unsigned long>, Action> queued_;
    unsigned long next_ = 0;
};

} // namespace staywake::testing
