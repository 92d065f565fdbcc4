#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace staywake {

class ReadOnlyFile;

/// The identity every Staywake program carries in its ELF file: an allocated
/// note (so it lands in a PT_NOTE segment and survives `strip`) with the name
/// "Staywake", type 1, and as description the identifier, a zero byte, the
/// Team ID (empty for a build without one) and a zero byte:
///
///   namesz = 9, descsz = len(identifier) + len(team) + 2, type = 1,
///   "Staywake\0" + padding to 4, identifier "\0" team "\0" + padding to 4
///
/// The build writes it (cmake/StaywakeIdentity.cmake); this reads it back from
/// a file that may be anything, so every offset and size is checked against
/// the file before it is used.
struct ElfIdentityNote {
    static constexpr std::string_view name = "Staywake";
    static constexpr std::uint32_t type = 1;

    std::string identifier;
    std::optional<std::string> teamIdentifier;

    /// The note of an ELF64 file of this machine's byte order; nothing when the
    /// file is not one, is malformed, has no such note, has more than one, or
    /// the note's identifier or Team ID is not well formed.
    static std::optional<ElfIdentityNote> read(const ReadOnlyFile& file);
    static std::optional<ElfIdentityNote> read(const std::string& path);
    /// The note from its description bytes.
    static std::optional<ElfIdentityNote> fromDescription(std::span<const std::byte> description);

    friend bool operator==(const ElfIdentityNote&, const ElfIdentityNote&) = default;
};

} // namespace staywake
