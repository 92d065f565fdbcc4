#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

#include <cstdint>
#include <mutex>

namespace staywake {

class BoundedCommand;

/// A button shared between the code that runs commands and the code that stops
/// the helper. A press stops the command that is running at that moment (see
/// BoundedCommand::run); a press with no command running is remembered by
/// nothing, because each run notes the count when it starts. It never resets.
/// interrupt() may be called from any thread, any number of times.
class CommandInterrupt {
public:
    /// Throws std::system_error when the wake-up descriptor cannot be created.
    CommandInterrupt();
    CommandInterrupt(const CommandInterrupt&) = delete;
    CommandInterrupt& operator=(const CommandInterrupt&) = delete;

    void interrupt();

private:
    friend class BoundedCommand;

    std::int64_t currentPressCount() const;
    // Readable after a press, so that a running command's poll wakes at once
    // instead of at its next 20 ms check. Only a hint: the count decides.
    int wakeDescriptor() const { return wake_.get(); }
    void consumeWake() const;

    mutable std::mutex lock_;
    std::int64_t pressCount_ = 0;
    UniqueFd wake_;
};

} // namespace staywake
