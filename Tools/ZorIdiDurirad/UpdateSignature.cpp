#include "ZorIdiDurirad/UpdateSignature.h"

#include "StaywakeCore/Update/Appcast.h"
#include "StaywakeCore/Update/UpdateVerifierStatus.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"
#include "ZorIdiDurirad/BoundedCommand.h"

#include <cerrno>
#include <cstring>
#include <exception>

namespace staywake::UpdateSignature {

std::optional<Refusal> problem(const std::string& verifier, const std::filesystem::path& package,
                               std::string_view signature, std::string_view publicKey, double timeout) {
    using Reason = Refusal::Reason;
    const auto file = ReadOnlyFile::open(package);
    if (!file) {
        return Refusal{Reason::unreadable, "could not open " + package.string() + ": " + std::strerror(errno)};
    }
    if (const auto status = file->status();
        status && static_cast<std::uint64_t>(status->st_size) > Appcast::lengthLimit) {
        return Refusal{Reason::unreadable, package.string() + " is larger than any package accepted"};
    }
    std::string why;
    try {
        const auto result = BoundedCommand::run(verifier, {std::string(signature), std::string(publicKey)},
                                                timeout, nullptr, file->descriptor());
        const bool silent = result.output.empty();
        if (result.status == 0 && result.output == "verified\n") {
            return std::nullopt;
        }
        switch (silent ? static_cast<UpdateVerifierStatus>(result.status) : UpdateVerifierStatus::failed) {
        case UpdateVerifierStatus::mismatch:
            return Refusal{Reason::mismatch, "the signature does not match the package"};
        case UpdateVerifierStatus::badKey:
            return Refusal{Reason::noKey, "the update key is not a base64 Ed25519 public key"};
        case UpdateVerifierStatus::unsigned_:
            return Refusal{Reason::unsigned_, "the update is not signed"};
        case UpdateVerifierStatus::badSignature:
            return Refusal{Reason::malformedSignature, "the update's signature is not a base64 Ed25519 signature"};
        case UpdateVerifierStatus::unreadable:
            return Refusal{Reason::unreadable, "could not read " + package.string() + " whole"};
        default:
            why = silent ? "it exited with status " + std::to_string(result.status) : "it gave no answer";
        }
    } catch (const std::exception& error) {
        why = error.what();
    }
    return Refusal{Reason::unreadable, "could not check the signature with " + verifier + ": " + why};
}

std::string verifierFor(const std::filesystem::path& executablePath) {
    return (executablePath.parent_path().parent_path() / "Helpers" / "StaywakeUpdateVerify").string();
}

} // namespace staywake::UpdateSignature
