#include "StaywakeLinux/Defaults/PropertyListCoding.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

std::string plist(const std::string& value) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           value + "\n</dict>\n</plist>\n";
}

TEST(PropertyListCoding, ReadsWellFormedXmlAndRefusesWhatALenientReaderWouldGuessAt) {
    using Dictionary = PropertyValue::Dictionary;
    struct Case {
        std::string body;
        std::optional<Dictionary> expected; // absent: refused as no property list
    };
    const double infinity = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {"<key>a</key><integer>-17</integer>", Dictionary{{"a", std::int64_t{-17}}}},
        {"<key>a</key><integer> +5\n</integer>", Dictionary{{"a", 5}}},
        {"<key>a</key><integer>9223372036854775807</integer>",
         Dictionary{{"a", std::numeric_limits<std::int64_t>::max()}}},
        {"<key>a</key><real>1.8e9</real><key>b</key><real>-.5E-1</real><key>c</key><real>7.</real>",
         Dictionary{{"a", 1.8e9}, {"b", -0.05}, {"c", 7.0}}},
        {"<key>a</key><real>+infinity</real><key>b</key><real>-infinity</real>",
         Dictionary{{"a", infinity}, {"b", -infinity}}},
        {"<!-- a comment --><key>a&amp;b</key> <true></true> "
         "<key>c</key><string><![CDATA[<x>]]>&#65;&#x42;</string>",
         Dictionary{{"a&b", true}, {"c", "<x>AB"}}},
        {"<key>d</key><date>2023-11-14T22:13:20Z</date><key>e</key><data>\n\tAAEC/w==\n\t</data>",
         Dictionary{{"d", Date{1'700'000'000}}, {"e", PropertyData{{0, 1, 2, 255}}}}},
        {"<key>a</key><array/><key>b</key><dict/><key>c</key><string/><key></key><false/>",
         Dictionary{{"a", PropertyValue::Array{}}, {"b", Dictionary{}}, {"c", ""}, {"", false}}},

        {"<key>a</key><real>1.8e9xyz</real>", std::nullopt},
        {"<key>a</key><real>17e</real>", std::nullopt},
        {"<key>a</key><real>.</real>", std::nullopt},
        {"<key>a</key><integer>abc</integer>", std::nullopt},
        {"<key>a</key><integer>+-1</integer>", std::nullopt},
        {"<key>a</key><integer>9223372036854775808</integer>", std::nullopt},
        {"<key>a</key><integer></integer>", std::nullopt},
        {"<key>a</key><date>2023-11-14</date>", std::nullopt},
        {"<key>a</key><data>AA*=</data>", std::nullopt},
        {"<key>a</key><integer>1</integer><key>b</key>", std::nullopt},
        {"<key>a</key><key>b</key><integer>1</integer>", std::nullopt},
        {"<integer>1</integer>", std::nullopt},
        {"<key>a</key><string>x &nbsp; y</string>", std::nullopt},
        {"<key>a</key><string>x & y</string>", std::nullopt},
        {"<key>a</key><string>bad \xff byte</string>", std::nullopt},
        {"<key>a</key><string>open", std::nullopt},
        {"<key>a</key><uid>1</uid>", std::nullopt},
        {"<key>a</key><array><integer>1</integer><true/></array></dict><dict>", std::nullopt},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(PropertyListCoding::decodeDictionary(plist(body)), expected) << body;
    }
}

// A dictionary holding `levels` arrays, one inside the other.
std::string nested(int levels) {
    std::string arrays;
    for (int level = 0; level < levels; ++level) {
        arrays.insert(0, "<array>");
        arrays += "</array>";
    }
    return plist("<key>a</key>" + arrays);
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

TEST(PropertyListCoding, ReadsOnlyWithinTheLimitsThatKeepLibplistFromOverflowingTheStackAndSkipsKeysWithNul) {
    const std::string small = plist("<key>a</key><true/>");
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
    // A key holding a NUL character is left out; a text holding one is kept whole.
    EXPECT_EQ(PropertyListCoding::decodeDictionary(binaryWithNulCharacters()),
              (PropertyValue::Dictionary{{"k", std::string("x\0y", 3)}}));
}

} // namespace
} // namespace staywake
