// Any bytes as a lease datagram (the helper decodes what any local user sends), and as
// a message to encode as either end builds it.

#include "FuzzCheck.h"

#include "StaywakeCore/Support/RepairedUtf8.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

namespace staywake::fuzz {
namespace {

std::uint64_t takeWord(std::span<const std::uint8_t>& bytes) {
    std::uint64_t word = 0;
    const auto count = std::min<std::size_t>(bytes.size(), sizeof word);
    std::memcpy(&word, bytes.data(), count);
    bytes = bytes.subspan(count);
    return word;
}

LidLeaseWireMessage messageFrom(std::span<const std::uint8_t> bytes) {
    const std::uint8_t choice = bytes.front();
    bytes = bytes.subspan(1);
    const std::uint64_t requestId = takeWord(bytes);
    switch (choice % 5) {
    case 0:
        return LidLeaseWireMessage::renewLeaseUntil(requestId, std::bit_cast<double>(takeWord(bytes)));
    case 1:
        return LidLeaseWireMessage::revokeLease(requestId);
    case 2:
        return LidLeaseWireMessage::renewLeaseReply(requestId, std::nullopt);
    case 3:
        return LidLeaseWireMessage::renewLeaseReply(
            requestId, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    default:
        return LidLeaseWireMessage::revokeLeaseReply(requestId);
    }
}

// Whether the receiver's text is the sender's repaired, or a prefix of that
// cut at a character boundary and ending in an ellipsis.
bool isSentFormOf(std::string_view received, std::string_view asked) {
    constexpr std::string_view ellipsis = "\u2026";
    const std::string repaired = repairedUtf8(asked);
    return received == repaired || (received.ends_with(ellipsis) && repairedUtf8(received) == received &&
                                    repaired.size() > received.size() &&
                                    repaired.starts_with(received.substr(0, received.size() - ellipsis.size())));
}

std::optional<LidLeaseWireMessage> decoded(std::span<const std::uint8_t> datagram) {
    try {
        return LidLeaseWireMessage::decode(datagram);
    } catch (const LidLeaseWireMessage::Malformed& refusal) {
        require(std::strlen(refusal.what()) > 0, "a refused datagram is refused with a reason");
        return std::nullopt;
    }
}

} // namespace

void check(std::span<const std::uint8_t> bytes, std::string_view) {
    const auto received = decoded(bytes);
    require(!received || std::ranges::equal(received->encode(), bytes),
            "a decoded datagram encodes back to itself");
    if (bytes.empty()) {
        return;
    }
    const LidLeaseWireMessage sent = messageFrom(bytes);
    const auto datagram = sent.encode();
    require(datagram.size() <= LidLeaseWireMessage::maximumSize, "an encoded message fits one datagram");
    const auto back = decoded(datagram);
    require(back.has_value(), "an encoded message decodes");
    require(back->kind == sent.kind && back->requestId == sent.requestId, "kind and request id travel");
    require(std::bit_cast<std::uint64_t>(back->until) == std::bit_cast<std::uint64_t>(sent.until),
            "the renewal's time travels bit for bit");
    require(back->text.has_value() == sent.text.has_value(), "a reply's text travels when it has one");
    require(!sent.text || isSentFormOf(*back->text, *sent.text), "a reply's text arrives repaired and cut");
}

} // namespace staywake::fuzz
