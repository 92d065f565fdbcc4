#include "ZorIdiDurirad/CommandInterrupt.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace staywake {

CommandInterrupt::CommandInterrupt() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!wake_.valid()) {
        throw std::system_error(errno, std::generic_category(), "could not create the command interrupt");
    }
}

void CommandInterrupt::interrupt() {
    {
        std::lock_guard guard(lock_);
        ++pressCount_;
    }
    // A failed write (the counter cannot overflow in practice) only delays the
    // stop until the runner's next timed check.
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
}

std::int64_t CommandInterrupt::currentPressCount() const {
    std::lock_guard guard(lock_);
    return pressCount_;
}

void CommandInterrupt::consumeWake() const {
    // Several runs may share one interrupt; whichever wakes first clears the
    // descriptor, and the others still see the count at their next check.
    std::uint64_t value = 0;
    [[maybe_unused]] const auto readBytes = ::read(wake_.get(), &value, sizeof value);
}

} // namespace staywake
