#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace staywake {

/// One datagram of the lease protocol between the app and the lid helper, as
/// it travels over the helper's SOCK_SEQPACKET socket. docs/lidhelper-protocol.md
/// describes the bytes; both ends encode and decode through this one type so
/// they cannot drift apart.
///
/// Decoding is strict: anything that is not exactly one well-formed message of
/// this version is rejected, and the receiver closes that connection.
struct LidLeaseWireMessage {
    enum class Kind : std::uint8_t {
        renewLeaseUntil = 0x01,  ///< request: `until`, seconds since 1970
        revokeLease = 0x02,      ///< request: no arguments
        renewLeaseReply = 0x81,  ///< reply to renewLeaseUntil: optional `text`
        revokeLeaseReply = 0x82, ///< reply to revokeLease: no arguments
    };

    /// Thrown by `decode` for a datagram that is not a message of this version.
    class Malformed : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    static constexpr std::uint8_t magic[4] = {'S', 'W', 'L', 'H'};
    static constexpr std::uint8_t version = 1;
    /// The largest datagram either side sends or accepts. Reply texts that
    /// would not fit are shortened by `encode`.
    static constexpr std::size_t maximumSize = 4096;
    static constexpr std::size_t headerSize = 14;

    Kind kind = Kind::revokeLease;
    /// Chosen by the client, echoed by the helper in the reply.
    std::uint64_t requestId = 0;
    /// renewLeaseUntil only; any value, not-a-number included, travels as is.
    double until = 0;
    /// renewLeaseReply only: absent = granted or given back, a text = refused.
    std::optional<std::string> text;

    static LidLeaseWireMessage renewLeaseUntil(std::uint64_t requestId, double until);
    static LidLeaseWireMessage revokeLease(std::uint64_t requestId);
    static LidLeaseWireMessage renewLeaseReply(std::uint64_t requestId, std::optional<std::string> text);
    static LidLeaseWireMessage revokeLeaseReply(std::uint64_t requestId);

    bool isRequest() const { return kind == Kind::renewLeaseUntil || kind == Kind::revokeLease; }

    /// The datagram for this message, never longer than `maximumSize`. A reply
    /// text that would not fit is cut at a character boundary and ends in "…";
    /// invalid UTF-8 in it is replaced by U+FFFD.
    std::vector<std::uint8_t> encode() const;
    /// Throws `Malformed` unless `datagram` is exactly one message of this version.
    static LidLeaseWireMessage decode(std::span<const std::uint8_t> datagram);

    friend bool operator==(const LidLeaseWireMessage& a, const LidLeaseWireMessage& b);
};

} // namespace staywake
