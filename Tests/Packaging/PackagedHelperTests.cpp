// Run by check_install_layout.py --package with STAYWAKE_PACKAGED_HELPER set
// to the helper extracted from the package: that very program, in a private
// /run, grants the app's client a lease, so the package's files pass the
// identity rules as shipped and not only as built.
#include "StaywakeLidHelper/LidHelperProcess.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace staywake {
namespace {

/// The first line the app's test client prints for a 30-second lease.
std::string clientOutcome(const std::string& socketPath) {
    const std::string command = std::string(STAYWAKE_TEST_CLIENT) + " '" + socketPath + "' 30 </dev/null";
    FILE* output = ::popen(command.c_str(), "r");
    if (output == nullptr) {
        return "could not start the client";
    }
    std::string line;
    for (int character = std::fgetc(output); character != EOF && character != '\n'; character = std::fgetc(output)) {
        line += static_cast<char>(character);
    }
    ::pclose(output);
    return line;
}

TEST(PackagedLidHelper, GrantsTheAppALeaseFromWhereThePackagePutsIt) {
    const char* helperPath = std::getenv("STAYWAKE_PACKAGED_HELPER");
    ASSERT_NE(helperPath, nullptr) << "run through check_install_layout.py --package";
    if (::geteuid() != 0) {
        STAYWAKE_SKIP("the helper trusts only programs that root owns, so the packaged one runs as root");
    }
    std::string why;
    if (!testing::canEnterPrivateRun(why)) {
        STAYWAKE_SKIP(why);
    }
    testing::TemporaryDirectory directory;
    testing::LidHelperProcess helper(directory.path(), helperPath);
    helper.start();
    ASSERT_TRUE(helper.journal().waitForMessage("listening on com.staywake.app.lidhelper")) << helper.report();
    EXPECT_EQ(clientOutcome(helper.socketPath()), "granted") << helper.report();
    // The lease took effect: the helper turned the setting on (and off again once the client left).
    const auto calls = helper.callLines();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "-a disablesleep 1"), calls.end()) << helper.report();
}

} // namespace
} // namespace staywake
