#pragma once

#include "StaywakeCore/LidHelper/LidLeaseConnection.h"

#include <functional>
#include <memory>
#include <string>

namespace staywake {

/// One incoming connection as the transport hands it to the listener
/// delegate, before anything has been read from it.
///
/// The transport's side of the contract:
/// - It calls `LidLeaseListenerDelegate::shouldAcceptNewConnection` once per
///   connection, from any thread. When that returns false it closes the
///   connection without reading from it; `resume` was not called.
/// - `peerMeets` is called at most once, before `resume`.
/// - After `resume` it hands each decoded message to the exported
///   `LidLeaseConnection` (`renewLease` or `revokeLease`) with a reply
///   function that sends the answer back on this connection; each reply is
///   sent exactly once, even when it comes after the connection ended (then
///   it is dropped).
/// - When the connection ends for any reason (closed by the peer, broken,
///   or closed by the transport for a malformed message) it calls
///   `invalidated` exactly once, and hands no message to the exported object
///   afterwards.
class LidLeaseIncomingConnection {
public:
    virtual ~LidLeaseIncomingConnection() = default;

    /// Whether the process at the other end meets `requirement`, a
    /// code-signing requirement text in its written form. Throwing counts as
    /// not meeting it.
    virtual bool peerMeets(const std::string& requirement) = 0;
    /// Starts serving the connection with its exported object (which carries
    /// its client number) and the function to call once when it ends.
    virtual void resume(std::shared_ptr<const LidLeaseConnection> exported, std::function<void()> invalidated) = 0;
};

} // namespace staywake
