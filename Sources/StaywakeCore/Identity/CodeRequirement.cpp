#include "StaywakeCore/Identity/CodeRequirement.h"

#include <algorithm>

namespace staywake {

namespace {

constexpr std::string_view identifierPrefix = "anchor apple generic and identifier \"";
constexpr std::string_view teamPrefix = "\" and certificate leaf[subject.OU] = \"";
constexpr std::string_view closingQuote = "\"";
constexpr std::size_t teamIdentifierLength = 10;

bool isAsciiUpperOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool isIdentifierCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

} // namespace

bool CodeRequirement::isTeamIdentifier(std::string_view candidate) {
    return candidate.size() == teamIdentifierLength && std::ranges::all_of(candidate, isAsciiUpperOrDigit);
}

bool CodeRequirement::isIdentifier(std::string_view candidate) {
    return !candidate.empty() && std::ranges::all_of(candidate, isIdentifierCharacter);
}

std::string CodeRequirement::text() const {
    std::string written(identifierPrefix);
    written += identifier;
    written += teamPrefix;
    written += teamIdentifier;
    written += closingQuote;
    return written;
}

std::optional<CodeRequirement> CodeRequirement::parse(std::string_view text) {
    if (!text.starts_with(identifierPrefix) || !text.ends_with(closingQuote)) {
        return std::nullopt;
    }
    text.remove_prefix(identifierPrefix.size());
    // The identifier cannot hold a quote, so the first quote ends it.
    const auto identifierEnd = text.find('"');
    if (identifierEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view identifier = text.substr(0, identifierEnd);
    text.remove_prefix(identifierEnd);
    if (!text.starts_with(teamPrefix)) {
        return std::nullopt;
    }
    text.remove_prefix(teamPrefix.size());
    text.remove_suffix(closingQuote.size());
    if (!isIdentifier(identifier) || !isTeamIdentifier(text)) {
        return std::nullopt;
    }
    return CodeRequirement{std::string(identifier), std::string(text)};
}

} // namespace staywake
