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

/// Long enough for the largest package a feed may announce on a slow machine;
/// a verifier that takes longer has hung.
inline constexpr double defaultTimeout = 30;

/// Checks the Ed25519 signature of a downloaded update package with the
/// bundle's StaywakeUpdateVerify at `verifier`, handed the opened package on
/// its standard input, so that the app never loads libcrypto. `signature` and
/// `publicKey` are base64 (64 and 32 bytes: what the release's feed item and
/// the app's Info.plist carry). Absent only when the verifier answered, in
/// time, exactly that the whole file verifies under the key; a verifier that
/// is missing, fails, answers otherwise or not within `timeout` seconds is a
/// refusal. Blocks the calling thread until then. Never throws.
std::optional<Refusal> problem(const std::string& verifier, const std::filesystem::path& package,
                               std::string_view signature, std::string_view publicKey,
                               double timeout = defaultTimeout);

/// "<directory of executablePath>/../Helpers/StaywakeUpdateVerify": where the
/// bundle keeps it for a program in Contents/bin.
std::string verifierFor(const std::filesystem::path& executablePath);

} // namespace staywake::UpdateSignature
