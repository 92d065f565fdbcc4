#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

#include "StaywakeCore/Support/RepairedUtf8.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace staywake {
namespace {

using Kind = LidLeaseWireMessage::Kind;
using Malformed = LidLeaseWireMessage::Malformed;

constexpr std::size_t textLengthSize = 2;
constexpr std::size_t replyFlagSize = 1;
constexpr std::size_t maximumTextSize =
    LidLeaseWireMessage::maximumSize - LidLeaseWireMessage::headerSize - replyFlagSize - textLengthSize;
constexpr std::string_view ellipsis = "\u2026";

/// The text with every ill-formed byte replaced by U+FFFD, shortened to at most
/// `maximumTextSize` bytes at a character boundary, ending in "…" when cut.
std::string wireText(std::string_view text) {
    std::string repaired = repairedUtf8(text);
    if (repaired.size() <= maximumTextSize) {
        return repaired;
    }
    std::size_t cut = maximumTextSize - ellipsis.size();
    // Step back over continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(repaired[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    repaired.resize(cut);
    repaired += ellipsis;
    return repaired;
}

void appendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint64_t readLittleEndian(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << 8) | bytes[i - 1];
    }
    return value;
}

void requireSize(std::span<const std::uint8_t> datagram, std::size_t expected, const char* what) {
    if (datagram.size() != expected) {
        throw Malformed(std::string(what) + " of " + std::to_string(datagram.size()) + " bytes, expected " +
                        std::to_string(expected));
    }
}

} // namespace

LidLeaseWireMessage LidLeaseWireMessage::renewLeaseUntil(std::uint64_t requestId, double until) {
    return {Kind::renewLeaseUntil, requestId, until, std::nullopt};
}

LidLeaseWireMessage LidLeaseWireMessage::revokeLease(std::uint64_t requestId) {
    return {Kind::revokeLease, requestId, 0, std::nullopt};
}

LidLeaseWireMessage LidLeaseWireMessage::renewLeaseReply(std::uint64_t requestId,
                                                         std::optional<std::string> text) {
    return {Kind::renewLeaseReply, requestId, 0, std::move(text)};
}

LidLeaseWireMessage LidLeaseWireMessage::revokeLeaseReply(std::uint64_t requestId) {
    return {Kind::revokeLeaseReply, requestId, 0, std::nullopt};
}

std::vector<std::uint8_t> LidLeaseWireMessage::encode() const {
    std::vector<std::uint8_t> out(std::begin(magic), std::end(magic));
    out.push_back(version);
    out.push_back(static_cast<std::uint8_t>(kind));
    appendLittleEndian(out, requestId, 8);
    switch (kind) {
    case Kind::renewLeaseUntil:
        appendLittleEndian(out, std::bit_cast<std::uint64_t>(until), 8);
        break;
    case Kind::renewLeaseReply:
        if (!text) {
            out.push_back(0);
        } else {
            const std::string sent = wireText(*text);
            out.push_back(1);
            appendLittleEndian(out, sent.size(), textLengthSize);
            out.insert(out.end(), sent.begin(), sent.end());
        }
        break;
    case Kind::revokeLease:
    case Kind::revokeLeaseReply:
        break;
    }
    return out;
}

LidLeaseWireMessage LidLeaseWireMessage::decode(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < headerSize) {
        throw Malformed("datagram of " + std::to_string(datagram.size()) + " bytes is shorter than a header");
    }
    if (datagram.size() > maximumSize) {
        throw Malformed("datagram of " + std::to_string(datagram.size()) + " bytes is over the limit of " +
                        std::to_string(maximumSize));
    }
    if (!std::equal(std::begin(magic), std::end(magic), datagram.begin())) {
        throw Malformed("datagram does not start with the lease protocol's magic");
    }
    if (datagram[4] != version) {
        throw Malformed("unsupported protocol version " + std::to_string(datagram[4]));
    }
    LidLeaseWireMessage message;
    message.kind = static_cast<Kind>(datagram[5]);
    message.requestId = readLittleEndian(datagram.subspan(6, 8));
    const auto body = datagram.subspan(headerSize);
    switch (message.kind) {
    case Kind::renewLeaseUntil:
        requireSize(datagram, headerSize + 8, "renewal");
        message.until = std::bit_cast<double>(readLittleEndian(body));
        return message;
    case Kind::revokeLease:
        requireSize(datagram, headerSize, "revocation");
        return message;
    case Kind::revokeLeaseReply:
        requireSize(datagram, headerSize, "revocation reply");
        return message;
    case Kind::renewLeaseReply: {
        if (body.empty() || body[0] > 1) {
            throw Malformed("renewal reply without a valid text flag");
        }
        if (body[0] == 0) {
            requireSize(datagram, headerSize + replyFlagSize, "renewal reply without text");
            return message;
        }
        if (body.size() < replyFlagSize + textLengthSize) {
            throw Malformed("renewal reply cut short before its text length");
        }
        const std::size_t length = readLittleEndian(body.subspan(replyFlagSize, textLengthSize));
        requireSize(datagram, headerSize + replyFlagSize + textLengthSize + length, "renewal reply");
        std::string text(reinterpret_cast<const char*>(body.data()) + replyFlagSize + textLengthSize, length);
        if (!isWellFormedUtf8(text)) {
            throw Malformed("renewal reply text is not UTF-8");
        }
        message.text = std::move(text);
        return message;
    }
    }
    throw Malformed("unknown message kind " + std::to_string(datagram[5]));
}

bool operator==(const LidLeaseWireMessage& a, const LidLeaseWireMessage& b) {
    return a.kind == b.kind && a.requestId == b.requestId &&
           std::bit_cast<std::uint64_t>(a.until) == std::bit_cast<std::uint64_t>(b.until) && a.text == b.text;
}

} // namespace staywake
