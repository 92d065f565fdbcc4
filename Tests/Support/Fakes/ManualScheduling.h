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

/// A main run loop that queues actions, delayed or not, until the test drains them on its own thread.
class ManualMainRunLoop final : public MainRunLoop {
public:
    void perform(Action action) override { queued.push_back(std::move(action)); }
    void perform(double, Action action) override { queued.push_back(std::move(action)); }

    /// Runs everything queued so far, and whatever that queues, in order; how many ran.
    int drain() {
        int ran = 0;
        for (; !queued.empty(); ++ran) {
            auto action = std::move(queued.front());
            queued.pop_front();
            action();
        }
        return ran;
    }

    std::deque<Action> queued;
};

} // namespace staywake::testing
