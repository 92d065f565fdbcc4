#pragma once

#include <cstdint>
#include <stdexcept>

namespace staywake {

/// The system refused the idle-sleep lock. `code` is the mechanism's signed
/// 32-bit code (negative codes included); two errors are equal when their codes
/// are.
class SleepBlockerError : public std::runtime_error {
public:
    static SleepBlockerError assertionFailed(std::int32_t code) { return SleepBlockerError(code); }

    std::int32_t code() const { return code_; }

    friend bool operator==(const SleepBlockerError& a, const SleepBlockerError& b) { return a.code_ == b.code_; }

private:
    explicit SleepBlockerError(std::int32_t code);

    std::int32_t code_;
};

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
