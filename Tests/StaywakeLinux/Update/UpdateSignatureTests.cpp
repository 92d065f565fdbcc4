#include "StaywakeLinux/Update/UpdateSignature.h"

#include "Support/TemporaryDirectory.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <vector>

namespace staywake {
namespace {

using PrivateKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

PrivateKey newKey() { return {EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free}; }

std::string base64(const std::vector<unsigned char>& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    text.resize(static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                                         bytes.data(), static_cast<int>(bytes.size()))));
    return text;
}

std::string publicKey(EVP_PKEY* key) {
    std::vector<unsigned char> raw(32);
    std::size_t length = raw.size();
    EXPECT_EQ(EVP_PKEY_get_raw_public_key(key, raw.data(), &length), 1);
    return base64(raw);
}

std::string sign(EVP_PKEY* key, const std::string& message) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    std::vector<unsigned char> signature(64);
    std::size_t length = signature.size();
    EXPECT_EQ(EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key), 1);
    EXPECT_EQ(EVP_DigestSign(context.get(), signature.data(), &length,
                             reinterpret_cast<const unsigned char*>(message.data()), message.size()),
              1);
    return base64(signature);
}

TEST(UpdateSignature, AcceptsOnlyThePackageSignedWithTheAppsKey) {
    testing::TemporaryDirectory folder;
    const std::string contents = "!<arch>\ndebian-binary   " + std::string(100000, 'x');
    const auto package = folder.path() / "staywake.deb";
    std::ofstream(package, std::ios::binary) << contents;
    const auto key = newKey();
    const auto otherKey = newKey();
    const auto good = sign(key.get(), contents);
    const auto tampered = sign(key.get(), contents + "y");

    struct Case {
        const char* what;
        std::string signature;
        std::string key;
        std::string problem; // "" when it verifies
    };
    const Case cases[] = {
        {"signed with the key", good, publicKey(key.get()), ""},
        {"signed over other bytes", tampered, publicKey(key.get()), "the signature does not match the package"},
        {"signed with another key", good, publicKey(otherKey.get()), "the signature does not match the package"},
        {"unsigned", "", publicKey(key.get()), "the update is not signed"},
        {"a signature that is not base64", "@" + good.substr(1), publicKey(key.get()),
         "the update's signature is not a base64 Ed25519 signature"},
        {"no key in the app", good, "", "the update key is not a base64 Ed25519 public key"},
        {"a key of the wrong length", good, publicKey(key.get()).substr(0, 40),
         "the update key is not a base64 Ed25519 public key"},
    };
    const auto detail = [](const std::optional<UpdateSignature::Refusal>& refusal) {
        return refusal ? refusal->detail : "";
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detail(UpdateSignature::problem(package, c.signature, c.key)), c.problem) << c.what;
    }
    EXPECT_EQ(detail(UpdateSignature::problem(folder.path() / "missing.deb", good, publicKey(key.get()))),
              "could not open " + (folder.path() / "missing.deb").string() + ": No such file or directory");
}

} // namespace
} // namespace staywake
