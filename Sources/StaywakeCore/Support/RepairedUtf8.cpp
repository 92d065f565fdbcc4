#include "StaywakeCore/Support/RepairedUtf8.h"

#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

namespace staywake {

std::string repairedUtf8(std::string_view bytes) {
    // ICU substitutes U+FFFD for each maximal subpart of an ill-formed
    // sequence, the way the peers that send these texts decode them.
    const auto text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(bytes.data(), static_cast<int32_t>(bytes.size())));
    std::string repaired;
    text.toUTF8String(repaired);
    return repaired;
}

} // namespace staywake
