#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace staywake {

/// A code-signing requirement as this platform checks it: a program with this
/// identifier, signed by this team. `text()` writes it in its one form,
///
///   anchor apple generic and identifier "<identifier>" and certificate leaf[subject.OU] = "<Team ID>"
///
/// and `parse` accepts exactly that form and nothing looser, so a requirement
/// can never be widened by a text that merely resembles it.
struct CodeRequirement {
    std::string identifier;
    std::string teamIdentifier;

    /// The identifier and Team ID of a requirement text of the written form.
    static std::optional<CodeRequirement> parse(std::string_view text);
    /// The requirement in its written form; `parse` reads it back.
    std::string text() const;

    /// 10 upper-case ASCII letters and digits.
    static bool isTeamIdentifier(std::string_view candidate);
    /// Non-empty ASCII letters, digits, "." and "-".
    static bool isIdentifier(std::string_view candidate);

    friend bool operator==(const CodeRequirement&, const CodeRequirement&) = default;
};

} // namespace staywake
