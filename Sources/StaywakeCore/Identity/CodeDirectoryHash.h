#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace staywake {

/// A program's code directory hash in its text form: 20 bytes as 40
/// lower-case hexadecimal digits.
struct CodeDirectoryHash {
    static constexpr std::size_t byteCount = 20;

    /// The text of exactly 20 bytes; nothing for another length or for 20 zero
    /// bytes, which is what an unset hash reads as.
    static std::optional<std::string> fromBytes(std::span<const std::uint8_t> bytes);
    /// Whether a text is a well-formed hash (40 lower-case hexadecimal digits).
    static bool isHash(std::string_view candidate);
};

} // namespace staywake
