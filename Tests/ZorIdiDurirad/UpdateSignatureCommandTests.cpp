#include "ZorIdiDurirad/UpdateSignature.h"

#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>

namespace staywake {
namespace {

using Reason = UpdateSignature::Refusal::Reason;

// Only the verifier's one exact answer installs; everything else it can do is
// a refusal, and a verifier that hangs is not waited for.
TEST(UpdateSignature, InstallsOnlyOnTheVerifiersExactAnswerInTime) {
    const testing::TemporaryDirectory folder;
    const auto package = folder.path() / "staywake.deb";
    testing::writeFile(package, "!<arch>\n");
    const auto script = [&](const std::string& name, const std::string& body) {
        return testing::writeProgram(folder.path() / name, "#!/bin/sh\n" + body + "\n");
    };
    const auto failed = Reason::unreadable;
    struct Case {
        const char* what;
        std::string verifier;
        std::optional<Reason> refusal;
        double timeout = 30;
    };
    const Case cases[] = {
        {"the answer on the package from stdin", script("reads", "[ \"$(cat)\" = '!<arch>' ] && echo verified"),
         std::nullopt},
        {"no newline", script("unended", "printf verified"), failed},
        {"a line more", script("more", "echo verified; echo"), failed},
        {"silent success", script("silent", "exit 0"), failed},
        {"the answer with a refusal's status", script("mixed", "echo verified; exit 1"), failed},
        {"a mismatch", script("mismatch", "exit 1"), Reason::mismatch},
        {"another status", script("other", "exit 9"), failed},
        {"a crash", script("crash", "kill -SEGV $$"), failed},
        {"a verifier that hangs", script("hangs", "exec sleep 60"), failed, 0.5},
        {"no verifier", (folder.path() / "missing").string(), failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto started = std::chrono::steady_clock::now();
        const auto refusal = UpdateSignature::problem(c.verifier, package, "c2lnbmF0dXJl", "a2V5", c.timeout);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::duration<double>(c.timeout + 5));
        EXPECT_EQ(refusal ? std::optional(refusal->reason) : std::nullopt, c.refusal);
    }
}

} // namespace
} // namespace staywake
