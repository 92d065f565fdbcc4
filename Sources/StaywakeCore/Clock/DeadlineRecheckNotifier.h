#pragma once

#include <functional>

namespace staywake {

/// Calls one handler, on the main thread, whenever a deadline should be checked
/// again: after the machine wakes and after the wall clock is set.
class DeadlineRecheckNotifier {
public:
    using Handler = std::function<void()>;

    virtual ~DeadlineRecheckNotifier() = default;
    /// Replaces the earlier handler: only the most recent one is ever called.
    virtual void observe(Handler handler) = 0;
};

} // namespace staywake
