// Everything that hashes program files with libcrypto in the calling process.
// It is a file of its own so that a program that hashes another way (the lid
// helper) links none of it, and so does not load libcrypto.
#include "StaywakeCore/Identity/CodeDirectoryHash.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace staywake {

ElfNoteCodeSigning::ElfNoteCodeSigning(TrustAnchor anchor)
    : ElfNoteCodeSigning(std::move(anchor), [](const ReadOnlyFile& file) { return codeDirectoryHash(file); }) {}

std::optional<std::string> ElfNoteCodeSigning::codeDirectoryHash(const ReadOnlyFile& file) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    const auto status = file.status();
    if (!status || status->st_size < 0) {
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(status->st_size);
    std::vector<std::byte> chunk(1U << 16U);
    for (std::uint64_t offset = 0; offset < size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - offset));
        const std::span<std::byte> part(chunk.data(), length);
        if (!file.readAt(offset, part) || EVP_DigestUpdate(context.get(), part.data(), part.size()) != 1) {
            return std::nullopt;
        }
        offset += length;
    }
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &digestLength) != 1 ||
        digestLength < CodeDirectoryHash::byteCount) {
        return std::nullopt;
    }
    return CodeDirectoryHash::fromBytes(std::span(digest.data(), CodeDirectoryHash::byteCount));
}

} // namespace staywake
