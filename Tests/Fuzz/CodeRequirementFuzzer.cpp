// Any text as a requirement, and split at a NUL as an identifier and a Team ID to write.

#include "FuzzCheck.h"

#include "StaywakeCore/Identity/CodeRequirement.h"

void staywake::fuzz::check(std::span<const std::uint8_t>, std::string_view text) {
    if (const auto requirement = CodeRequirement::parse(text)) {
        require(CodeRequirement::isIdentifier(requirement->identifier), "a parsed identifier is well formed");
        require(CodeRequirement::isTeamIdentifier(requirement->teamIdentifier), "a parsed Team ID is well formed");
        require(requirement->text() == text, "a parsed requirement writes back to the same text");
    }
    if (const auto parts = splitAtNul(text)) {
        const CodeRequirement written{std::string(parts->first), std::string(parts->second)};
        const bool wellFormed = CodeRequirement::isIdentifier(written.identifier) &&
                                CodeRequirement::isTeamIdentifier(written.teamIdentifier);
        const auto parsed = CodeRequirement::parse(written.text());
        require(parsed.has_value() == wellFormed,
                "a written requirement parses exactly when its parts are well formed");
        require(!parsed ||
                    (parsed->identifier == written.identifier && parsed->teamIdentifier == written.teamIdentifier),
                "a written requirement parses back to its parts");
    }
}
