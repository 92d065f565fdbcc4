#include "StaywakeLinux/Socket/EventNotifier.h"

#include "StaywakeLinux/SystemError.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>

namespace staywake {

EventNotifier::EventNotifier() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_) {
        throw SystemError("could not create an eventfd", errno);
    }
}

void EventNotifier::notify() const {
    const std::uint64_t one = 1;
    // Only EAGAIN (the counter is full) can fail here, and a full counter
    // already wakes the waiter.
    [[maybe_unused]] const ssize_t written = ::write(fd_.get(), &one, sizeof one);
}

void EventNotifier::clear() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(fd_.get(), &count, sizeof count);
}

} // namespace staywake
