#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace staywake {
namespace {

using Kind = LidLeaseWireMessage::Kind;
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

TEST(LidLeaseWireMessage, EncodesTheDocumentedBytes) {
    // The layout in docs/lidhelper-protocol.md, byte for byte: both ends of
    // released builds depend on it.
    EXPECT_EQ(LidLeaseWireMessage::renewLeaseUntil(0x0102030405060708, 1.5).encode(),
              (Bytes{'S', 'W', 'L', 'H', 1, 0x01, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
    EXPECT_EQ(LidLeaseWireMessage::renewLeaseUntil(1, 1'700'000'030).encode(),
              (header(0x01, 1) + Bytes{0x00, 0x00, 0x80, 0x47, 0xFC, 0x54, 0xD9, 0x41}));
    EXPECT_EQ(LidLeaseWireMessage::revokeLease(2).encode(), header(0x02, 2));
    EXPECT_EQ(LidLeaseWireMessage::renewLeaseReply(3, std::nullopt).encode(), (header(0x81, 3) + Bytes{0}));
    EXPECT_EQ(LidLeaseWireMessage::renewLeaseReply(4, "No.").encode(),
              (header(0x81, 4) + Bytes{1, 3, 0, 'N', 'o', '.'}));
    EXPECT_EQ(LidLeaseWireMessage::revokeLeaseReply(5).encode(), header(0x82, 5));
}

TEST(LidLeaseWireMessage, EveryMessageSurvivesTheRoundTrip) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const LidLeaseWireMessage messages[] = {
        LidLeaseWireMessage::renewLeaseUntil(1, 1'700'000'030.25),
        LidLeaseWireMessage::renewLeaseUntil(2, 0),
        LidLeaseWireMessage::renewLeaseUntil(3, -0.0),
        LidLeaseWireMessage::renewLeaseUntil(4, nan),
        LidLeaseWireMessage::renewLeaseUntil(5, -infinity),
        LidLeaseWireMessage::renewLeaseUntil(~std::uint64_t{0}, std::numeric_limits<double>::denorm_min()),
        LidLeaseWireMessage::revokeLease(6),
        LidLeaseWireMessage::renewLeaseReply(7, std::nullopt),
        LidLeaseWireMessage::renewLeaseReply(8, ""),
        LidLeaseWireMessage::renewLeaseReply(9, "The lease deadline is not a number."),
        LidLeaseWireMessage::renewLeaseReply(10, "caf\u00e9 \u2014 \U0001F375"),
        LidLeaseWireMessage::revokeLeaseReply(11),
    };
    for (const auto& message : messages) {
        SCOPED_TRACE(message.requestId);
        const Bytes bytes = message.encode();
        EXPECT_LE(bytes.size(), LidLeaseWireMessage::maximumSize);
        const LidLeaseWireMessage decoded = LidLeaseWireMessage::decode(bytes);
        EXPECT_EQ(decoded, message);
        if (std::isnan(message.until)) {
            EXPECT_TRUE(std::isnan(decoded.until));
        }
    }
    // -0 keeps its sign: the value crosses as its bits.
    EXPECT_TRUE(std::signbit(LidLeaseWireMessage::decode(messages[2].encode()).until));
}

TEST(LidLeaseWireMessage, ShortensALongReplyTextAtACharacterBoundary) {
    // A refusal carries a failure's description, which can quote whatever a
    // broken tool printed; the datagram must still fit.
    const std::string prefix = "The sleep setting could not be read, so it was left as it is: ";
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"ascii", prefix + std::string(10'000, 'x')},
        {"two-byte characters", prefix +
                                    [] {
                                        std::string s;
                                        for (int i = 0; i < 3000; ++i) {
                                            s += "\u00e9";
                                        }
                                        return s;
                                    }()},
        {"four-byte characters", prefix +
                                     [] {
                                         std::string s;
                                         for (int i = 0; i < 2000; ++i) {
                                             s += "\U0001F375";
                                         }
                                         return s;
                                     }()},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        const Bytes bytes = LidLeaseWireMessage::renewLeaseReply(1, text).encode();
        EXPECT_LE(bytes.size(), LidLeaseWireMessage::maximumSize);
        EXPECT_GE(bytes.size(), LidLeaseWireMessage::maximumSize - 3);
        const auto decoded = LidLeaseWireMessage::decode(bytes); // strict: must still be UTF-8
        ASSERT_TRUE(decoded.text);
        EXPECT_TRUE(decoded.text->starts_with(prefix));
        EXPECT_TRUE(decoded.text->ends_with("\u2026"));
        const std::string kept = decoded.text->substr(0, decoded.text->size() - 3);
        EXPECT_EQ(text.substr(0, kept.size()), kept);
    }
    // A text that fits exactly is left alone.
    const std::string fitting(LidLeaseWireMessage::maximumSize - 17, 'y');
    EXPECT_EQ(LidLeaseWireMessage::decode(LidLeaseWireMessage::renewLeaseReply(1, fitting).encode()).text,
              fitting);
}

TEST(LidLeaseWireMessage, RepairsInvalidUtf8InAReplyText) {
    const auto decoded = LidLeaseWireMessage::decode(LidLeaseWireMessage::renewLeaseReply(1, std::string("a\xff"
                                                                                                         "b\xc3",
                                                                                                         4))
                                                         .encode());
    EXPECT_EQ(decoded.text, "a\uFFFDb\uFFFD");
}

TEST(LidLeaseWireMessage, RejectsEverythingButOneWholeMessage) {
    const Bytes renew = LidLeaseWireMessage::renewLeaseUntil(1, 2).encode();
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes wrongMagic = renew;
    wrongMagic[0] = 'X';
    Bytes wrongVersion = renew;
    wrongVersion[4] = 2;
    const Case cases[] = {
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
        {"overlong encoding", header(0x81, 1) + Bytes{1, 2, 0, 0xC0, 0xAF}},
        {"surrogate", header(0x81, 1) + Bytes{1, 3, 0, 0xED, 0xA0, 0x80}},
        {"past U+10FFFF", header(0x81, 1) + Bytes{1, 4, 0, 0xF4, 0x90, 0x80, 0x80}},
        {"over the size limit", header(0x81, 1) + Bytes{1, 0xF3, 0x0F} + Bytes(4083, 'a')},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_THROW(LidLeaseWireMessage::decode(bytes), LidLeaseWireMessage::Malformed);
    }
}

} // namespace
} // namespace staywake
