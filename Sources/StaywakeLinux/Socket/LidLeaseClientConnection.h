#pragma once

#include "StaywakeLinux/Socket/PeerCredentials.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

/// The app's end of a connection to the lid helper's lease socket.
///
/// Nothing is sent before `resume`, which connects and, when a peer requirement
/// is set, checks the helper against it before any message goes out. Every
/// request ends exactly once: in its reply function, or in its error function
/// when the connection ended first, could not be made, or the helper was
/// refused. The end of the connection reaches the invalidation handler once.
///
/// Every callback runs on the connection's own thread, never on the caller's,
/// and never while a lock of this class is held: a callback may send, invalidate
/// or destroy the connection. Callers hop to their own thread themselves.
class LidLeaseClientConnection {
public:
    using RenewReply = std::function<void(std::optional<std::string> text)>;
    using RevokeReply = std::function<void()>;
    using ErrorHandler = std::function<void(const std::string& description)>;
    using PeerRequirement = std::function<bool(const PeerCredentials& peer)>;

    explicit LidLeaseClientConnection(std::string socketPath);
    /// Invalidates the connection (pending requests get their error) and waits
    /// for its thread, unless destroyed from one of its own callbacks.
    ~LidLeaseClientConnection();
    LidLeaseClientConnection(const LidLeaseClientConnection&) = delete;
    LidLeaseClientConnection& operator=(const LidLeaseClientConnection&) = delete;

    /// Set before `resume`: the helper is used only when this returns true for
    /// the peer the kernel reports.
    void setPeerRequirement(PeerRequirement requirement);
    /// Set before `resume`.
    void setInvalidationHandler(std::function<void()> handler);

    /// Starts the connection's thread, which connects. Never throws for a
    /// helper that cannot be reached: that ends the connection instead.
    void resume();
    /// Asks for the lease to run until `until` (seconds since 1970).
    void renewLease(double until, RenewReply reply, ErrorHandler error);
    void revokeLease(RevokeReply reply, ErrorHandler error);
    /// Ends the connection; pending requests get their error.
    void invalidate();

    /// The connection has ended, or the helper has hung up and the
    /// connection's thread has not noticed yet: asked on the caller's thread
    /// before sending, so a request never goes out on a dead connection.
    bool hasEnded() const;

    /// The helper's credentials once connected.
    std::optional<PeerCredentials> peer() const;

private:
    struct Core;
    std::shared_ptr<Core> core_;
};

} // namespace staywake
