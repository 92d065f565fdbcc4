#include "StaywakeLinux/Identity/ElfIdentityNote.h"

#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace staywake {

namespace {

// Bounds that no real program comes near; they keep a hostile file from
// making the reader allocate or loop without end.
constexpr std::uint64_t maximumProgramHeaders = 4096;
constexpr std::uint64_t maximumNoteSegmentSize = 1U << 20U;
// Segments may overlap, so the total read is bounded too.
constexpr std::uint64_t maximumNoteBytes = 4U << 20U;

constexpr unsigned char nativeByteOrder = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;

template <typename T> T readValue(std::span<const std::byte> bytes, std::size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// Rounds up to a power-of-two alignment; false when the result would overflow.
bool alignUp(std::uint64_t value, std::uint64_t alignment, std::uint64_t& result) {
    const std::uint64_t mask = alignment - 1;
    if (value > UINT64_MAX - mask) {
        return false;
    }
    result = (value + mask) & ~mask;
    return true;
}

bool isValidHeader(const Elf64_Ehdr& header) {
    return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ELFCLASS64 &&
           header.e_ident[EI_DATA] == nativeByteOrder && header.e_ident[EI_VERSION] == EV_CURRENT &&
           header.e_version == EV_CURRENT && (header.e_type == ET_EXEC || header.e_type == ET_DYN) &&
           header.e_phentsize == sizeof(Elf64_Phdr) && header.e_phnum != PN_XNUM &&
           header.e_phnum <= maximumProgramHeaders;
}

enum class NoteScan { none, found, malformed };

// Walks the notes of one PT_NOTE segment and collects ours.
NoteScan scanNotes(std::span<const std::byte> segment, std::uint64_t alignment,
                   std::optional<ElfIdentityNote>& found) {
    constexpr std::uint64_t headerSize = 3 * sizeof(std::uint32_t);
    std::uint64_t offset = 0;
    NoteScan result = NoteScan::none;
    while (segment.size() - offset >= headerSize) {
        const auto nameSize = readValue<std::uint32_t>(segment, offset);
        const auto descriptionSize = readValue<std::uint32_t>(segment, offset + 4);
        const auto noteType = readValue<std::uint32_t>(segment, offset + 8);
        const std::uint64_t nameOffset = offset + headerSize;
        std::uint64_t descriptionOffset = 0;
        std::uint64_t next = 0;
        if (!alignUp(nameOffset + nameSize, alignment, descriptionOffset) || descriptionOffset > segment.size() ||
            descriptionSize > segment.size() - descriptionOffset) {
            return NoteScan::malformed;
        }
        if (!alignUp(descriptionOffset + descriptionSize, alignment, next)) {
            return NoteScan::malformed;
        }
        const auto noteName = segment.subspan(nameOffset, nameSize);
        const bool isOurs = noteType == ElfIdentityNote::type && nameSize == ElfIdentityNote::name.size() + 1 &&
                            std::memcmp(noteName.data(), ElfIdentityNote::name.data(), nameSize) == 0;
        if (isOurs) {
            // Two identities in one file cannot both be believed.
            if (found) {
                return NoteScan::malformed;
            }
            found = ElfIdentityNote::fromDescription(segment.subspan(descriptionOffset, descriptionSize));
            if (!found) {
                return NoteScan::malformed;
            }
            result = NoteScan::found;
        }
        if (next >= segment.size()) {
            break;
        }
        offset = next;
    }
    return result;
}

} // namespace

std::optional<ElfIdentityNote> ElfIdentityNote::fromDescription(std::span<const std::byte> description) {
    const std::string_view text(reinterpret_cast<const char*>(description.data()), description.size());
    // identifier NUL team NUL, and nothing after.
    const auto firstEnd = text.find('\0');
    if (firstEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const auto secondEnd = text.find('\0', firstEnd + 1);
    if (secondEnd == std::string_view::npos || secondEnd + 1 != text.size()) {
        return std::nullopt;
    }
    const std::string_view identifier = text.substr(0, firstEnd);
    const std::string_view team = text.substr(firstEnd + 1, secondEnd - firstEnd - 1);
    if (!CodeRequirement::isIdentifier(identifier) ||
        (!team.empty() && !CodeRequirement::isTeamIdentifier(team))) {
        return std::nullopt;
    }
    ElfIdentityNote note{std::string(identifier), std::nullopt};
    if (!team.empty()) {
        note.teamIdentifier = std::string(team);
    }
    return note;
}

std::optional<ElfIdentityNote> ElfIdentityNote::read(const ReadOnlyFile& file) {
    const auto status = file.status();
    if (!status || !S_ISREG(status->st_mode) || status->st_size < 0) {
        return std::nullopt;
    }
    const auto fileSize = static_cast<std::uint64_t>(status->st_size);

    Elf64_Ehdr header{};
    if (fileSize < sizeof header || !file.readAt(0, std::as_writable_bytes(std::span(&header, 1))) ||
        !isValidHeader(header)) {
        return std::nullopt;
    }
    const std::uint64_t tableSize = std::uint64_t{header.e_phnum} * sizeof(Elf64_Phdr);
    if (header.e_phoff > fileSize || tableSize > fileSize - header.e_phoff) {
        return std::nullopt;
    }
    std::vector<Elf64_Phdr> programHeaders(header.e_phnum);
    if (!file.readAt(header.e_phoff, std::as_writable_bytes(std::span(programHeaders)))) {
        return std::nullopt;
    }

    std::optional<ElfIdentityNote> found;
    std::vector<std::byte> segment;
    std::uint64_t noteBytes = 0;
    for (const Elf64_Phdr& programHeader : programHeaders) {
        if (programHeader.p_type != PT_NOTE) {
            continue;
        }
        if (programHeader.p_offset > fileSize || programHeader.p_filesz > fileSize - programHeader.p_offset ||
            programHeader.p_filesz > maximumNoteSegmentSize) {
            return std::nullopt;
        }
        noteBytes += programHeader.p_filesz;
        if (noteBytes > maximumNoteBytes) {
            return std::nullopt;
        }
        // Notes are 4-aligned, except those in a segment aligned to 8 (GNU properties).
        const std::uint64_t alignment = programHeader.p_align == 8 ? 8 : 4;
        segment.resize(programHeader.p_filesz);
        if (!file.readAt(programHeader.p_offset, segment)) {
            return std::nullopt;
        }
        if (scanNotes(segment, alignment, found) == NoteScan::malformed) {
            return std::nullopt;
        }
    }
    return found;
}

std::optional<ElfIdentityNote> ElfIdentityNote::read(const std::string& path) {
    const auto file = ReadOnlyFile::open(path);
    if (!file) {
        return std::nullopt;
    }
    return read(*file);
}

} // namespace staywake
