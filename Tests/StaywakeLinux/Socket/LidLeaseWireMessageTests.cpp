#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using Wire = LidLeaseWireMessage;
using Bytes = std::vector<std::uint8_t>;

Bytes header(std::uint8_t kind, std::uint64_t id) {
    Bytes bytes{'S', 'W', 'L', 'H', 1, kind};
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    }
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(LidLeaseWireMessage, EncodesTheDocumentedBytesAndDecodesThemBack) {
    // The layout in docs/lidhelper-protocol.md, byte for byte: both ends of
    // released builds depend on it.
    const std::pair<Wire, Bytes> cases[] = {
        {Wire::renewLeaseUntil(0x0102030405060708, 1.5),
         {'S', 'W', 'L', 'H', 1, 0x01, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
        {Wire::revokeLease(2), header(0x02, 2)},
        {Wire::renewLeaseReply(3, std::nullopt), header(0x81, 3) + Bytes{0}},
        {Wire::renewLeaseReply(4, "No."), header(0x81, 4) + Bytes{1, 3, 0, 'N', 'o', '.'}},
        {Wire::renewLeaseReply(5, ""), header(0x81, 5) + Bytes{1, 0, 0}},
        {Wire::revokeLeaseReply(5), header(0x82, 5)},
    };
    for (const auto& [message, bytes] : cases) {
        EXPECT_EQ(message.encode(), bytes);
        EXPECT_EQ(Wire::decode(bytes), message);
    }
}

TEST(LidLeaseWireMessage, ShortensALongReplyTextAtACharacterBoundaryAndRepairsInvalidUtf8) {
    // A refusal carries a failure's description, which can quote whatever a
    // broken tool printed; the datagram must still fit.
    std::string text = "The sleep setting could not be read: ";
    while (text.size() < 10'000) {
        text += "\U0001F375";
    }
    const Bytes bytes = Wire::renewLeaseReply(1, text).encode();
    EXPECT_GE(bytes.size(), Wire::maximumSize - 3);
    const auto decoded = Wire::decode(bytes).text.value_or(""); // strict: must still be UTF-8
    ASSERT_TRUE(decoded.ends_with("\u2026"));
    EXPECT_EQ(text.substr(0, decoded.size() - 3), decoded.substr(0, decoded.size() - 3));
    const std::string fitting(Wire::maximumSize - 17, 'y');
    EXPECT_EQ(Wire::decode(Wire::renewLeaseReply(1, fitting).encode()).text, fitting);
    EXPECT_EQ(Wire::decode(Wire::renewLeaseReply(1, "a\xff-\xc3").encode()).text, "a\uFFFD-\uFFFD");
}

TEST(LidLeaseWireMessage, RejectsEverythingButOneWholeMessage) {
    const Bytes renew = Wire::renewLeaseUntil(1, 2).encode();
    Bytes wrongMagic = renew;
    wrongMagic[0] = 'X';
    Bytes wrongVersion = renew;
    wrongVersion[4] = 2;
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"shorter than a header", Bytes(renew.begin(), renew.begin() + 13)},
        {"wrong magic", wrongMagic},
        {"another version", wrongVersion},
        {"unknown kind", header(0x03, 1)},
        {"reply kind with a request's flag bit missing", header(0x80, 1)},
        {"renewal cut short", Bytes(renew.begin(), renew.end() - 1)},
        {"renewal with a trailing byte", renew + Bytes{0}},
        {"revocation with a body", header(0x02, 1) + Bytes{0}},
        {"revocation reply with a body", header(0x82, 1) + Bytes{0}},
        {"renewal reply without flag", header(0x81, 1)},
        {"renewal reply with flag 2", header(0x81, 1) + Bytes{2}},
        {"renewal reply without text but trailing", header(0x81, 1) + Bytes{0, 0}},
        {"renewal reply without length", header(0x81, 1) + Bytes{1, 3}},
        {"renewal reply text shorter than its length", header(0x81, 1) + Bytes{1, 3, 0, 'a', 'b'}},
        {"renewal reply text longer than its length", header(0x81, 1) + Bytes{1, 1, 0, 'a', 'b'}},
        {"surrogate", header(0x81, 1) + Bytes{1, 3, 0, 0xED, 0xA0, 0x80}},
        {"over the size limit", header(0x81, 1) + Bytes{1, 0xF3, 0x0F} + Bytes(4083, 'a')},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_THROW(Wire::decode(bytes), Wire::Malformed) << name;
    }
}

} // namespace
} // namespace staywake
