#pragma once

#include "StaywakeCore/Clock/Date.h"

#include <functional>

namespace staywake {

/// One pending one-shot action at a wall-clock date, run on the main thread.
/// Promises nothing across sleep or a change of the wall clock: callers cover
/// both with a DeadlineRecheckNotifier.
class DeadlineScheduler {
public:
    using Action = std::function<void()>;

    virtual ~DeadlineScheduler() = default;
    /// Replaces any pending action.
    virtual void schedule(Date at, Action action) = 0;
    /// Drops the pending action, if any.
    virtual void cancel() = 0;
};

} // namespace staywake
