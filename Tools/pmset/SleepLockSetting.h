#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace staywake {

/// pmset's setting "sleep disabled": Night Brew's logind lock (NightBrewLock)
/// held by our lock holder (LockHolderProcess). Sleep counts as disabled
/// exactly while logind lists that lock for the recorded holder; anyone
/// else's lock, whatever it blocks and whatever it is called, and an
/// administrator's own settings read as 0 and are never touched.
///
/// Every step is bounded: `waitLimit` for the whole of a write, and logind's
/// calls by LogindBus::callLimit. Failures throw PmsetToolError or
/// SystemError, in words for the tool's standard error.
class SleepLockSetting {
public:
    static constexpr double waitLimit = 5;

    struct Reading {
        /// The recorded holder, when it is proven ours and running.
        std::optional<pid_t> holder;
        /// Whether logind lists the holder's lock.
        bool isLockListed = false;

        bool isSleepDisabled() const { return isLockListed; }
    };

    /// `program`: this tool's own path (LockHolderProcess::ownProgram()).
    explicit SleepLockSetting(std::string program) : program_(std::move(program)) {}

    Reading read() const;
    /// 1 starts our holder unless it runs already, and returns once logind
    /// lists its lock. 0 ends our holder, if any, and returns once logind no
    /// longer lists its lock.
    void write(bool disableSleep) const;

private:
    std::string program_;
};

} // namespace staywake
