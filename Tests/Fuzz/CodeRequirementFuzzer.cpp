// Any text as a requirement.

#include "FuzzCheck.h"

#include "StaywakeCore/Identity/CodeRequirement.h"

void staywake::fuzz::check(std::span<const std::uint8_t>, std::string_view text) {
    if (const auto requirement = CodeRequirement::parse(text)) {
        require(CodeRequirement::isIdentifier(requirement->identifier), "a parsed identifier is well formed");
        require(CodeRequirement::isTeamIdentifier(requirement->teamIdentifier), "a parsed Team ID is well formed");
        require(requirement->text() == text, "a parsed requirement writes back to the same text");
    }
}
