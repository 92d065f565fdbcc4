#include "StaywakeLinux/Journal/JournalCapture.h"
#include "StaywakeLinux/Journal/JournalLog.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

/// The wait status of a child that logs `lines` ("fault:" marks a fault) with /run at `run`.
int logInChild(const std::filesystem::path& run, const std::vector<std::string>& lines) {
    JournalLog log("StaywakeLidHelper", "com.staywake.app.lidhelper", "lease");
    const pid_t child = ::fork();
    if (child == 0) {
        if (testing::enterPrivateRun(run.c_str()) != 0) {
            ::_exit(100);
        }
        for (const auto& line : lines) {
            line.starts_with("fault:") ? log.fault(line.substr(6)) : log.log(line);
        }
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

TEST(JournalLog, SendsEachLineAsOneEntryWithTheHelpersFieldsAndLosesItQuietlyWithoutAJournal) {
    if (const auto why = testing::privateRunIsOutOfReach()) {
        STAYWAKE_SKIP(*why);
    }
    testing::TemporaryDirectory directory;
    testing::JournalCapture capture(directory.path() / "run");
    // Never a format string, and one entry despite the line break.
    const std::string awkward = "a line\nwith a break, %s %n and \u2014 in it";
    ASSERT_EQ(logInChild(directory.path() / "run", {"lease granted", "fault:sleep NOT restored", awkward}), 0);
    ASSERT_TRUE(capture.waitForMessage(awkward)) << capture.transcript();
    const auto entries = capture.entries();
    ASSERT_EQ(capture.messages(), (std::vector<std::string>{"lease granted", "sleep NOT restored", awkward}));
    EXPECT_EQ(entries[0].field("PRIORITY"), "5");
    EXPECT_EQ(entries[1].field("PRIORITY"), "2");
    EXPECT_EQ(entries[2].field("SYSLOG_IDENTIFIER"), "StaywakeLidHelper");
    EXPECT_EQ(entries[2].field("STAYWAKE_SUBSYSTEM"), "com.staywake.app.lidhelper");
    EXPECT_EQ(entries[2].field("STAYWAKE_CATEGORY"), "lease");

    std::filesystem::create_directories(directory.path() / "empty-run");
    EXPECT_EQ(logInChild(directory.path() / "empty-run", {"lease granted", "fault:stopping"}), 0);
}

} // namespace
} // namespace staywake
