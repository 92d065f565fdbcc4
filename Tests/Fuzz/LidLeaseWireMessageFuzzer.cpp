// The lease protocol's datagrams, in both directions. The helper decodes what
// any local user sends and the app decodes the helper's replies; decoding
// accepts one form only, so whatever decodes encodes back to the same bytes.
// The input also describes a message to encode, as either end builds it: that
// always fits one datagram and decodes to itself, its text repaired and cut.

#include "FuzzCheck.h"

#include "StaywakeCore/Support/RepairedUtf8.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

using staywake::LidLeaseWireMessage;
using staywake::repairedUtf8;
using staywake::fuzz::require;

namespace {

constexpr std::string_view ellipsis = "\u2026";

void checkDecoding(std::span<const std::uint8_t> datagram) {
    try {
        const auto message = LidLeaseWireMessage::decode(datagram);
        require(std::ranges::equal(message.encode(), datagram), "a decoded datagram encodes back to itself");
    } catch (const LidLeaseWireMessage::Malformed& refusal) {
        require(std::strlen(refusal.what()) > 0, "a refused datagram is refused with a reason");
    }
}

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

// The text the receiver sees for one the sender asked to send.
bool isSentFormOf(std::string_view received, std::string_view asked) {
    const std::string repaired = repairedUtf8(asked);
    if (received == repaired) {
        return true;
    }
    // Cut: a prefix of the repaired text ending in the ellipsis, split at a
    // character boundary (so itself valid UTF-8).
    if (!received.ends_with(ellipsis) || repairedUtf8(received) != received) {
        return false;
    }
    const auto kept = received.substr(0, received.size() - ellipsis.size());
    return std::string_view(repaired).starts_with(kept) && repaired.size() > received.size();
}

void checkEncoding(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    const LidLeaseWireMessage sent = messageFrom(bytes);
    const auto datagram = sent.encode();
    require(datagram.size() <= LidLeaseWireMessage::maximumSize, "an encoded message fits one datagram");
    LidLeaseWireMessage received;
    try {
        received = LidLeaseWireMessage::decode(datagram);
    } catch (const LidLeaseWireMessage::Malformed& refusal) {
        require(false, refusal.what());
    }
    require(received.kind == sent.kind && received.requestId == sent.requestId, "kind and request id travel");
    require(std::bit_cast<std::uint64_t>(received.until) == std::bit_cast<std::uint64_t>(sent.until),
            "the renewal's time travels bit for bit");
    require(received.text.has_value() == sent.text.has_value(), "a reply's text travels when it has one");
    require(!sent.text || isSentFormOf(*received.text, *sent.text), "a reply's text arrives repaired and cut");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    checkDecoding(bytes);
    checkEncoding(bytes);
    return 0;
}
