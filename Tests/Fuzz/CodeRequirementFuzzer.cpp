// A requirement text is parsed in one form only, so whatever parses is written
// back byte for byte; and any identifier and Team ID the predicates accept
// survive a write and a parse.

#include "FuzzCheck.h"

#include "StaywakeCore/Identity/CodeRequirement.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using staywake::CodeRequirement;
using staywake::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto requirement = CodeRequirement::parse(text)) {
        require(CodeRequirement::isIdentifier(requirement->identifier), "a parsed identifier is well formed");
        require(CodeRequirement::isTeamIdentifier(requirement->teamIdentifier), "a parsed Team ID is well formed");
        require(requirement->text() == text, "a parsed requirement writes back to the same text");
    }

    // The input as an identifier and a Team ID, split at the first NUL.
    const auto split = text.find('\0');
    if (split != std::string_view::npos) {
        const CodeRequirement written{std::string(text.substr(0, split)), std::string(text.substr(split + 1))};
        const bool wellFormed = CodeRequirement::isIdentifier(written.identifier) &&
                                CodeRequirement::isTeamIdentifier(written.teamIdentifier);
        const auto parsed = CodeRequirement::parse(written.text());
        require(parsed.has_value() == wellFormed,
                "a written requirement parses exactly when its parts are well formed");
        require(!parsed ||
                    (parsed->identifier == written.identifier && parsed->teamIdentifier == written.teamIdentifier),
                "a written requirement parses back to its parts");
    }
    return 0;
}
