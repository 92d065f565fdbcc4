#include "ZorIdiDurirad/Utf8Replacement.h"

#include <cstddef>

namespace staywake {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// The length of the well-formed sequence starting at `at`, or 0 when the bytes
// there are ill-formed; `subpart` is then the number of bytes that form the
// maximal subpart to replace (at least 1).
std::size_t wellFormedLength(std::string_view bytes, std::size_t at, std::size_t& subpart) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    subpart = 1;
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            secondLow = 0xA0; // no overlong forms
        } else if (lead == 0xED) {
            secondHigh = 0x9F; // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            secondLow = 0x90; // no overlong forms
        } else if (lead == 0xF4) {
            secondHigh = 0x8F; // nothing above U+10FFFF
        }
    } else {
        return 0; // a continuation byte, C0, C1 or F5..FF
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= bytes.size()) {
            return 0;
        }
        const unsigned char next = byte(at + i);
        const unsigned char low = i == 1 ? secondLow : 0x80;
        const unsigned char high = i == 1 ? secondHigh : 0xBF;
        if (next < low || next > high) {
            return 0;
        }
        subpart = i + 1;
    }
    return length;
}

} // namespace

std::string replacingInvalidUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t subpart = 1;
        const std::size_t length = wellFormedLength(bytes, at, subpart);
        if (length == 0) {
            text += replacementCharacter;
            at += subpart;
        } else {
            text += bytes.substr(at, length);
            at += length;
        }
    }
    return text;
}

} // namespace staywake
