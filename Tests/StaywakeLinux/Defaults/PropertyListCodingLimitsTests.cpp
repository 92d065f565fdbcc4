#include "StaywakeLinux/Defaults/PropertyListCoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace staywake {
namespace {

std::string xmlDocument(const std::string& root) { return "<plist version=\"1.0\">" + root + "</plist>"; }

// A dictionary holding `levels` arrays, one inside the other.
std::string nested(int levels) {
    std::string arrays;
    for (int level = 0; level < levels; ++level) {
        arrays.insert(0, "<array>");
        arrays += "</array>";
    }
    return xmlDocument("<dict><key>a</key>" + arrays + "</dict>");
}

std::string padded(std::string document, std::size_t size) {
    return document + std::string(size - document.size(), ' ');
}

// A binary list { "a\0b": true, "k": "x\0y" }, both texts in UTF-16.
std::string binaryWithNulCharacters() {
    const std::string objects[] = {
        std::string("\xD2\x01\x02\x03\x04", 5),
        std::string("\x63\x00\x61\x00\x00\x00\x62", 7),
        "\x51k",
        "\x09",
        std::string("\x63\x00\x78\x00\x00\x00\x79", 7),
    };
    std::string document = "bplist00";
    std::string offsets;
    for (const auto& object : objects) {
        offsets += static_cast<char>(document.size());
        document += object;
    }
    const char tableOffset = static_cast<char>(document.size());
    document += offsets;
    document += std::string(6, '\0') + "\x01\x01";
    document += std::string(7, '\0') + "\x05" + std::string(8, '\0') + std::string(7, '\0') + tableOffset;
    return document;
}

TEST(PropertyListCoding, ReadsOnlyWithinTheLimitsThatKeepLibplistFromOverflowingTheStack) {
    const std::string small = xmlDocument("<dict><key>a</key><true/></dict>");
    struct Case {
        const char* name;
        std::string bytes;
        bool read;
    };
    const Case cases[] = {
        {"nested as deep as allowed", nested(PropertyListCoding::deepestNesting - 1), true},
        {"nested one level deeper", nested(PropertyListCoding::deepestNesting), false},
        {"exactly the size limit", padded(small, PropertyListCoding::largestDocument), true},
        {"one byte over the size limit", padded(small, PropertyListCoding::largestDocument + 1), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PropertyListCoding::decodeDictionary(c.bytes).has_value(), c.read) << c.name;
    }
}

TEST(PropertyListCoding, LeavesOutKeysHoldingANulCharacterAndKeepsTextsWhole) {
    const auto decoded = PropertyListCoding::decodeDictionary(binaryWithNulCharacters());
    const PropertyValue::Dictionary expected{{"k", std::string("x\0y", 3)}};
    EXPECT_EQ(decoded, expected);
}

} // namespace
} // namespace staywake
