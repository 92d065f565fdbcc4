#pragma once

#include "StaywakeLinux/Socket/PeerProcess.h"

#include <poll.h>

#include <functional>
#include <optional>
#include <string>

namespace staywake {

/// Decides whether a connected process may hold a lease at all, whatever
/// program it runs. Lives on the listener's thread, which polls its
/// descriptor and calls `process` after each wait.
class PeerAuthority {
public:
    /// Nothing: allowed. A text: why not, for the log.
    using Answer = std::function<void(std::optional<std::string> refusal)>;

    virtual ~PeerAuthority() = default;

    /// Asks about `peer`; `answer` is called exactly once, on the listener's
    /// thread, possibly before this returns. Answers still pending when the
    /// authority is destroyed are dropped uncalled.
    virtual void check(const PeerProcess& peer, Answer answer) = 0;
    /// The descriptor to wait on with its events; fd -1 when there is none.
    virtual pollfd pollDescriptor() const { return {-1, 0, 0}; }
    /// Milliseconds until `process` must run even without an event; -1: no limit.
    virtual int timeoutMilliseconds() const { return -1; }
    /// Handles what arrived; may call answers.
    virtual void process() {}
};

} // namespace staywake
