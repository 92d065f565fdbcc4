#include "ZorIdiDurirad/UpdateSignature.h"

#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace staywake {
namespace {

// An Ed25519 key pair's public half, another key's, and the first one's
// signature of the package below (Ed25519 signatures are deterministic).
const std::string key = "GVAYaWLjtv2BaVgnzDnuXPyknU9F9+1YipA17PQqOnU=";
const std::string otherKey = "Qb4zNemjRevWzlsT+mQWxYJTK2J2e6gaCagvkcUWHOk=";
const std::string good =
    "YlZsIQobr+AmAN4zgdy5JRtpmDHN/w9cCXcLZJl/YCtV6weQxPkEMNpeIj/9P4zUBopB+Sqif5soL7BTSoP8Ag==";

TEST(UpdateSignature, AcceptsOnlyThePackageSignedWithTheAppsKey) {
    testing::TemporaryDirectory folder;
    const auto package = folder.path() / "staywake.deb";
    // Larger than one read of the file.
    std::ofstream(package, std::ios::binary) << "!<arch>\ndebian-binary   " + std::string(100000, 'x');
    const std::string mismatch = "the signature does not match the package";
    const struct {
        std::string signature;
        std::string key;
        std::string problem; // "" when it verifies
    } cases[] = {
        {good, key, ""},
        {good, otherKey, mismatch},
        {"", key, "the update is not signed"},
        {"@" + good.substr(1), key, "the update's signature is not a base64 Ed25519 signature"},
        {good, "", "the update key is not a base64 Ed25519 public key"},
        {good, key.substr(0, 40), "the update key is not a base64 Ed25519 public key"},
    };
    const auto detail = [](const std::optional<UpdateSignature::Refusal>& refusal) {
        return refusal ? refusal->detail : "";
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detail(UpdateSignature::problem(STAYWAKE_UPDATE_VERIFY, package, c.signature, c.key)), c.problem)
            << c.signature << " by " << c.key;
    }
    std::ofstream(package, std::ios::app) << "y";
    EXPECT_EQ(detail(UpdateSignature::problem(STAYWAKE_UPDATE_VERIFY, package, good, key)), mismatch);
    EXPECT_EQ(detail(UpdateSignature::problem(STAYWAKE_UPDATE_VERIFY, folder.path() / "missing.deb", good, key)),
              "could not open " + (folder.path() / "missing.deb").string() + ": No such file or directory");
}

} // namespace
} // namespace staywake
