#pragma once

#include "StaywakeCore/LidHelper/LidLeaseRequest.h"

#include <functional>
#include <optional>
#include <string>

namespace staywake {

/// The object a client talks to on one accepted connection: it turns the two
/// messages of the lease protocol into requests of its client. The transport
/// calls it from any thread, once per decoded message.
class LidLeaseConnection {
public:
    LidLeaseConnection(LidLeaseClientNumber client, LidLeaseRequestFunction requests);

    LidLeaseClientNumber client() const { return client_; }

    /// `renewLeaseUntil:reply:`: `until` in seconds since 1970 on the client's
    /// wall clock; `reply` gets the answer (absent = granted or given back, a
    /// text = a refusal's wire text), exactly once.
    void renewLease(double until, std::function<void(std::optional<std::string>)> reply) const;
    /// `revokeLeaseWithReply:`: `reply` is called once the lease has been
    /// given back, exactly once.
    void revokeLease(std::function<void()> reply) const;

private:
    LidLeaseClientNumber client_;
    LidLeaseRequestFunction requests_;
};

} // namespace staywake
