#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace staywake {

/// What the helper makes of one message or event of one client's connection.
class LidLeaseRequest {
public:
    enum class Kind {
        /// A renewal until a deadline, in seconds since 1970 on the client's
        /// wall clock. A deadline not in the future gives the lease back.
        renew,
        /// The client gives its lease back.
        revoke,
        /// The client's connection ended; nobody waits for a reply.
        disconnect,
    };

    static LidLeaseRequest renew(double until) { return LidLeaseRequest(Kind::renew, until); }
    static LidLeaseRequest revoke() { return LidLeaseRequest(Kind::revoke, 0); }
    static LidLeaseRequest disconnect() { return LidLeaseRequest(Kind::disconnect, 0); }

    Kind kind() const { return kind_; }
    /// The deadline of a renewal, exactly as sent (it may be any double); 0
    /// for the other kinds.
    double until() const { return until_; }

    friend bool operator==(const LidLeaseRequest&, const LidLeaseRequest&) = default;
    friend std::ostream& operator<<(std::ostream& out, const LidLeaseRequest& request);

private:
    LidLeaseRequest(Kind kind, double until) : kind_(kind), until_(until) {}

    Kind kind_;
    double until_;
};

/// The number of one accepted connection: 1 for the first, counting up, never
/// reused while the helper runs.
using LidLeaseClientNumber = std::uint64_t;

/// Takes a request's answer: absent when granted or given back, else a
/// refusal's wire text. Called exactly once; callable from any thread.
using LidLeaseReply = std::function<void(std::optional<std::string>)>;

/// Where the transport sends each request of each client, with the function
/// that sends the answer back (a no-op for `disconnect`). Callable from any
/// thread.
using LidLeaseRequestFunction = std::function<void(LidLeaseClientNumber, LidLeaseRequest, LidLeaseReply)>;

} // namespace staywake
