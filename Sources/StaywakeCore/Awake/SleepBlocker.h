#pragma once

namespace staywake {

/// Keeps the machine from idle sleep while engaged. Used from the main thread
/// only. Never stops sleep when the lid is closed: that is Night Brew's job.
class SleepBlocker {
public:
    virtual ~SleepBlocker() = default;

    /// Takes the idle-sleep lock if it is not held; a second engage takes
    /// nothing more. Throws SleepBlockerError when the system refuses.
    virtual void engage() = 0;
    /// Gives the lock back if it is held; never fails.
    virtual void release() = 0;
    /// The lock is held right now.
    virtual bool isEngaged() const = 0;
};

} // namespace staywake
