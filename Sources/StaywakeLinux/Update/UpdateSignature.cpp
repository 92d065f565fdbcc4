#include "StaywakeLinux/Update/UpdateSignature.h"

#include "StaywakeCore/Update/Appcast.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <variant>
#include <vector>

namespace staywake::UpdateSignature {

namespace {

/// Strict base64 with padding; absent for anything else.
std::optional<std::vector<unsigned char>> decodeBase64(std::string_view text) {
    std::string compact;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            continue;
        }
        const bool valid = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '+' || c == '/' || c == '=';
        if (!valid) {
            return std::nullopt;
        }
        compact += c;
    }
    if (compact.empty() || compact.size() % 4 != 0) {
        return std::nullopt;
    }
    const auto firstPad = compact.find('=');
    std::size_t padding = 0;
    if (firstPad != std::string::npos) {
        padding = compact.size() - firstPad;
        if (padding > 2 || compact.find_first_not_of('=', firstPad) != std::string::npos) {
            return std::nullopt;
        }
    }
    std::vector<unsigned char> bytes(compact.size() / 4 * 3);
    const int decoded = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(compact.data()),
                                        static_cast<int>(compact.size()));
    if (decoded < 0) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(decoded) - padding);
    return bytes;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::variant<std::vector<unsigned char>, std::string> readPackage(const std::filesystem::path& package) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(package.c_str(), "rbe"));
    if (!file) {
        return "could not open " + package.string() + ": " + std::strerror(errno);
    }
    std::vector<unsigned char> contents;
    std::vector<unsigned char> chunk(64 * 1024);
    while (true) {
        const auto read = std::fread(chunk.data(), 1, chunk.size(), file.get());
        contents.insert(contents.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(read));
        if (contents.size() > Appcast::lengthLimit) {
            return package.string() + " is larger than any package accepted";
        }
        if (read < chunk.size()) {
            if (std::ferror(file.get())) {
                return "could not read " + package.string() + ": " + std::strerror(errno);
            }
            return contents;
        }
    }
}

} // namespace

std::optional<Refusal> problem(const std::filesystem::path& package, std::string_view signature,
                               std::string_view publicKey) {
    using Reason = Refusal::Reason;
    const auto key = decodeBase64(publicKey);
    if (!key || key->size() != 32) {
        return Refusal{Reason::noKey, "the update key is not a base64 Ed25519 public key"};
    }
    if (signature.empty()) {
        return Refusal{Reason::unsigned_, "the update is not signed"};
    }
    const auto signatureBytes = decodeBase64(signature);
    if (!signatureBytes || signatureBytes->size() != 64) {
        return Refusal{Reason::malformedSignature, "the update's signature is not a base64 Ed25519 signature"};
    }
    auto contents = readPackage(package);
    if (const auto* error = std::get_if<std::string>(&contents)) {
        return Refusal{Reason::unreadable, *error};
    }
    const auto& message = std::get<std::vector<unsigned char>>(contents);

    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> verifyingKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key->data(), key->size()), &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!verifyingKey || !context ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, verifyingKey.get()) != 1) {
        return Refusal{Reason::unreadable, "OpenSSL could not set up an Ed25519 check"};
    }
    // Ed25519 signs the message in one piece, so the whole package is passed at once.
    if (EVP_DigestVerify(context.get(), signatureBytes->data(), signatureBytes->size(), message.data(),
                         message.size()) != 1) {
        return Refusal{Reason::mismatch, "the signature does not match the package"};
    }
    return std::nullopt;
}

} // namespace staywake::UpdateSignature
