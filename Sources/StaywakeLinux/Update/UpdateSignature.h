#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace staywake::UpdateSignature {

/// Why a package was not accepted.
struct Refusal {
    enum class Reason { noKey, unsigned_, malformedSignature, unreadable, mismatch };
    Reason reason;
    /// The same in words for the log ("the signature does not match the package").
    std::string detail;
};

/// Checks the Ed25519 signature of a downloaded update package. `signature`
/// and `publicKey` are base64 (64 and 32 bytes: what the release's feed item
/// and the app's Info.plist carry). Absent when the whole file verifies under
/// the key. Never throws.
std::optional<Refusal> problem(const std::filesystem::path& package, std::string_view signature,
                               std::string_view publicKey);

} // namespace staywake::UpdateSignature
