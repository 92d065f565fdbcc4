// Any bytes as a lease datagram: the helper decodes what any local user sends.

#include "FuzzCheck.h"

#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

void staywake::fuzz::check(std::span<const std::uint8_t> bytes, std::string_view) {
    try {
        const auto received = LidLeaseWireMessage::decode(bytes);
        require(std::ranges::equal(received.encode(), bytes), "a decoded datagram encodes back to itself");
    } catch (const LidLeaseWireMessage::Malformed& refusal) {
        require(std::strlen(refusal.what()) > 0, "a refused datagram is refused with a reason");
    }
}
