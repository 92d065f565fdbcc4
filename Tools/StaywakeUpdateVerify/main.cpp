// StaywakeUpdateVerify SIGNATURE KEY: checks that the file open on standard
// input, read from its current position to its end, is signed by SIGNATURE
// (base64, 64 bytes) under the Ed25519 public key KEY (base64, 32 bytes).
// Prints "verified" and a newline and exits 0 when it is; otherwise prints
// nothing and exits with the UpdateVerifierStatus of the first check that
// fails, in this order: the key, the signature's presence, its form, the
// input, the match.
#include "StaywakeCore/Update/Appcast.h"
#include "StaywakeCore/Update/UpdateVerifierStatus.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using Status = staywake::UpdateVerifierStatus;

/// Strict base64 with padding (blanks and line breaks ignored); absent for
/// anything else.
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

/// All of standard input; absent on a read error or past the package limit.
std::optional<std::vector<unsigned char>> readInput() {
    std::vector<unsigned char> contents;
    std::vector<unsigned char> chunk(1U << 16U);
    while (true) {
        const ssize_t count = ::read(STDIN_FILENO, chunk.data(), chunk.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            return contents;
        }
        contents.insert(contents.end(), chunk.begin(), chunk.begin() + count);
        if (contents.size() > staywake::Appcast::lengthLimit) {
            return std::nullopt;
        }
    }
}

Status check(std::string_view signature, std::string_view publicKey) {
    const auto key = decodeBase64(publicKey);
    if (!key || key->size() != 32) {
        return Status::badKey;
    }
    if (signature.empty()) {
        return Status::unsigned_;
    }
    const auto signatureBytes = decodeBase64(signature);
    if (!signatureBytes || signatureBytes->size() != 64) {
        return Status::badSignature;
    }
    const auto message = readInput();
    if (!message) {
        return Status::unreadable;
    }
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> verifyingKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key->data(), key->size()), &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!verifyingKey || !context ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, verifyingKey.get()) != 1) {
        return Status::failed;
    }
    // Ed25519 signs the message in one piece, so the whole package is passed at once.
    return EVP_DigestVerify(context.get(), signatureBytes->data(), signatureBytes->size(), message->data(),
                            message->size()) == 1
               ? Status::verified
               : Status::mismatch;
}

} // namespace

int main(int argc, char** argv) {
    const Status status = argc == 3 ? check(argv[1], argv[2]) : Status::usage;
    if (status == Status::verified && (std::fputs("verified\n", stdout) < 0 || std::fflush(stdout) != 0)) {
        return static_cast<int>(Status::failed);
    }
    return static_cast<int>(status);
}
