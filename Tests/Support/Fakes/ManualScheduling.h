#pragma once

#include "StaywakeCore/Clock/DeadlineRecheckNotifier.h"
#include "StaywakeCore/Clock/DeadlineScheduler.h"
#include "StaywakeCore/Clock/MainRunLoop.h"

#include <deque>
#include <optional>
#include <utility>

namespace staywake::testing {

/// A deadline scheduler whose timer fires only when the test says so.
class ManualDeadlineScheduler final : public DeadlineScheduler {
public:
    void schedule(Date at, Action action) override {
        pendingAt = at;
        pending = std::move(action);
        ++scheduleCount;
    }
    void cancel() override {
        pendingAt.reset();
        pending = nullptr;
        ++cancelCount;
    }

    bool isPending() const { return static_cast<bool>(pending); }

    /// Runs the pending action as the timer would, once.
    void fire() {
        auto action = std::exchange(pending, nullptr);
        pendingAt.reset();
        if (action) {
            action();
        }
    }

    std::optional<Date> pendingAt;
    Action pending;
    int scheduleCount = 0;
    int cancelCount = 0;
};

/// A recheck notifier that the test triggers, as a wake or a clock change would.
class ManualRecheckNotifier final : public DeadlineRecheckNotifier {
public:
    void observe(Handler newHandler) override {
        handler = std::move(newHandler);
        ++observeCount;
    }
    void trigger() const {
        if (handler) {
            handler();
        }
    }

    Handler handler;
    int observeCount = 0;
};

/// A main run loop that queues actions until the test drains them, on its own
/// thread. Delayed actions are kept with their delay and run in order.
class ManualMainRunLoop final : public MainRunLoop {
public:
    void perform(Action action) override { queued.emplace_back(0.0, std::move(action)); }
    void perform(double delaySeconds, Action action) override {
        queued.emplace_back(delaySeconds, std::move(action));
    }

    /// Runs everything queued so far, and whatever that queues, in order.
    int drain() {
        int ran = 0;
        while (!queued.empty()) {
            auto action = std::move(queued.front().second);
            queued.pop_front();
            action();
            ++ran;
        }
        return ran;
    }

    std::deque<std::pair<double, Action>> queued;
};

} // namespace staywake::testing
