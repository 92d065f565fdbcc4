#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

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
constexpr std::string_view replacementCharacter = "\uFFFD";

/// Length of the well-formed UTF-8 sequence at the start of `bytes`, or 0 when
/// it does not start with one (overlong forms, surrogates and code points past
/// U+10FFFF are not well formed).
std::size_t wellFormedSequenceLength(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto isContinuation = [&](std::size_t i) { return i < bytes.size() && (byte(i) & 0xC0) == 0x80; };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return isContinuation(1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!isContinuation(1) || !isContinuation(2)) {
            return 0;
        }
        if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F)) {
            return 0;
        }
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!isContinuation(1) || !isContinuation(2) || !isContinuation(3)) {
            return 0;
        }
        if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F)) {
            return 0;
        }
        return 4;
    }
    return 0;
}

bool isWellFormedUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = wellFormedSequenceLength(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

/// The text with every ill-formed byte replaced by U+FFFD, shortened to at most
/// `maximumTextSize` bytes at a character boundary, ending in "…" when cut.
std::string wireText(std::string_view text) {
    std::string repaired;
    repaired.reserve(std::min(text.size(), maximumTextSize + 1));
    std::size_t lastFitting = 0; // bytes of `repaired` that leave room for the ellipsis
    while (!text.empty()) {
        const std::size_t length = wellFormedSequenceLength(text);
        const std::string_view character =
            length == 0 ? replacementCharacter : text.substr(0, length);
        text.remove_prefix(length == 0 ? 1 : length);
        if (repaired.size() + character.size() > maximumTextSize) {
            repaired.resize(lastFitting);
            repaired += ellipsis;
            return repaired;
        }
        repaired += character;
        if (repaired.size() + ellipsis.size() <= maximumTextSize) {
            lastFitting = repaired.size();
        }
    }
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
