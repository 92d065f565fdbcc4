#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

namespace staywake {

/// An eventfd that one thread signals to wake another out of poll(). Signals
/// coalesce: any number of `notify` calls before a `clear` wake the waiter once.
class EventNotifier {
public:
    /// Throws SystemError when no eventfd can be made.
    EventNotifier();

    /// Callable from any thread, and from a signal handler.
    void notify() const;
    /// Consumes pending notifications; never blocks.
    void clear() const;
    /// The descriptor to poll for POLLIN.
    int fd() const { return fd_.get(); }

private:
    UniqueFd fd_;
};

} // namespace staywake
