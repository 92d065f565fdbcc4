#pragma once

#include <functional>

namespace staywake {

/// Brings work from any thread onto the main thread.
class MainRunLoop {
public:
    using Action = std::function<void()>;

    virtual ~MainRunLoop() = default;
    /// Runs `action` on the main thread soon. Returns at once; callable from
    /// any thread.
    virtual void perform(Action action) = 0;
    /// Runs `action` on the main thread about `delaySeconds` from now. Returns
    /// at once; callable from any thread.
    virtual void perform(double delaySeconds, Action action) = 0;
};

} // namespace staywake
