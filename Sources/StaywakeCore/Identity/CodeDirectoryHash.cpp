#include "StaywakeCore/Identity/CodeDirectoryHash.h"

#include <algorithm>

namespace staywake {

std::optional<std::string> CodeDirectoryHash::fromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != byteCount || std::ranges::all_of(bytes, [](std::uint8_t byte) { return byte == 0; })) {
        return std::nullopt;
    }
    constexpr std::string_view digits = "0123456789abcdef";
    std::string text;
    text.reserve(byteCount * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4U]);
        text.push_back(digits[byte & 0x0fU]);
    }
    return text;
}

bool CodeDirectoryHash::isHash(std::string_view candidate) {
    return candidate.size() == byteCount * 2 &&
           std::ranges::all_of(candidate, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

} // namespace staywake
