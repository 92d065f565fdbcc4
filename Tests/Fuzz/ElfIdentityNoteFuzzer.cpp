// Any bytes as a program file the identity check reads, and as its note's description.

#include "FuzzCheck.h"

#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeLinux/Identity/ElfIdentityNote.h"

void staywake::fuzz::check(std::span<const std::uint8_t> bytes, std::string_view text) {
    static const MemoryFile file;
    file.hold(bytes);
    if (const auto note = ElfIdentityNote::read(file.path())) {
        require(CodeRequirement::isIdentifier(note->identifier), "a read identifier is well formed");
        require(!note->teamIdentifier || CodeRequirement::isTeamIdentifier(*note->teamIdentifier),
                "a read Team ID is well formed");
    }
    if (const auto note = ElfIdentityNote::fromDescription(std::as_bytes(bytes))) {
        const std::string written = note->identifier + '\0' + note->teamIdentifier.value_or("") + '\0';
        require(written == text, "a description is accepted in its one written form only");
    }
}
