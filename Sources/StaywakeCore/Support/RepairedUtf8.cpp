#include "StaywakeCore/Support/RepairedUtf8.h"

#include <unicode/stringpiece.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace staywake {

bool isWellFormedUtf8(std::string_view bytes) {
    // ICU's inline decoding: the texts checked at start (settings, the
    // autostart entry, each lease message) are nearly always valid, and this
    // keeps them from paging in ICU's conversion code in the tray app and the
    // helper alike.
    const auto* text = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const auto length = static_cast<std::int64_t>(bytes.size());
    for (std::int64_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(text, i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

std::string repairedUtf8(std::string_view bytes) {
    if (isWellFormedUtf8(bytes)) {
        return std::string(bytes);
    }
    // ICU substitutes U+FFFD for each maximal subpart of an ill-formed
    // sequence, the way the peers that send these texts decode them.
    const auto text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(bytes.data(), static_cast<int32_t>(bytes.size())));
    std::string repaired;
    text.toUTF8String(repaired);
    return repaired;
}

} // namespace staywake
