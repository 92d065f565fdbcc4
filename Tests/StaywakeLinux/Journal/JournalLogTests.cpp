#include "StaywakeLinux/Journal/JournalCapture.h"
#include "StaywakeLinux/Journal/JournalLog.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "StaywakeLinux/Socket/UniqueFd.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

#include <cstdio>

namespace staywake {
namespace {

/// Forks a child that logs `lines` ("fault:" marks a fault) with /run at `run`,
/// ends its log and then runs `after`.
pid_t logInChild(const std::filesystem::path& run, const std::vector<std::string>& lines,
                 const std::function<void()>& after = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (testing::enterPrivateRun(run.c_str()) != 0) {
            ::_exit(100);
        }
        {
            JournalLog log("StaywakeLidHelper", "com.staywake.app.lidhelper", "lease");
            for (const auto& line : lines) {
                line.starts_with("fault:") ? log.fault(line.substr(6)) : log.log(line);
            }
        }
        if (after) {
            after();
        }
        ::_exit(0);
    }
    return child;
}

int statusOf(pid_t child) {
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
    ASSERT_EQ(
        statusOf(logInChild(directory.path() / "run", {"lease granted", "fault:sleep NOT restored", awkward})), 0);
    ASSERT_TRUE(capture.waitForMessage(awkward)) << capture.transcript();
    const auto entries = capture.entries();
    ASSERT_EQ(capture.messages(), (std::vector<std::string>{"lease granted", "sleep NOT restored", awkward}));
    EXPECT_EQ(entries[0].field("PRIORITY"), "5");
    EXPECT_EQ(entries[1].field("PRIORITY"), "2");
    EXPECT_EQ(entries[2].field("SYSLOG_IDENTIFIER"), "StaywakeLidHelper");
    EXPECT_EQ(entries[2].field("STAYWAKE_SUBSYSTEM"), "com.staywake.app.lidhelper");
    EXPECT_EQ(entries[2].field("STAYWAKE_CATEGORY"), "lease");

    std::filesystem::create_directories(directory.path() / "empty-run");
    EXPECT_EQ(statusOf(logInChild(directory.path() / "empty-run", {"lease granted", "fault:stopping"})), 0);
}

TEST(JournalLog, NeitherLogsNorEndsWaitingForAJournalThatDoesNotReadAndCountsWhatItDropped) {
    if (const auto why = testing::privateRunIsOutOfReach()) {
        STAYWAKE_SKIP(*why);
    }
    testing::TemporaryDirectory directory;
    testing::JournalCapture capture(directory.path() / "run", testing::JournalCapture::Reading::later);
    std::vector<std::string> lines;
    for (int line = 0; line < 2000; ++line) {
        lines.push_back("line " + std::to_string(line));
    }
    std::string fault = "fault:sleep NOT restored: ";
    for (int character = 0; character < 5000; ++character) {
        fault += "\U0001D11E"; // the overlong line is cut between characters
    }
    lines.push_back(fault);
    // The child says when its log has ended, then stays until the parent
    // closes its end, so that the writer left behind can finish once the journal reads.
    int link[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, link), 0);
    UniqueFd parentEnd(link[0]);
    const pid_t child = logInChild(directory.path() / "run", lines, [&] {
        char byte = 0;
        ::close(link[0]);
        static_cast<void>(::write(link[1], &byte, 1) + ::read(link[1], &byte, 1));
    });
    ::close(link[1]);
    pollfd ended{link[0], POLLIN, 0};
    if (::poll(&ended, 1, 20'000) != 1) {
        ::kill(child, SIGKILL);
        statusOf(child);
        FAIL() << "the child's log waited for a journal that does not read";
    }
    capture.startReading();
    const auto arrived = capture.waitFor([](const auto& entry) { return entry.field("PRIORITY") == "2"; });
    parentEnd.reset();
    EXPECT_EQ(statusOf(child), 0);
    ASSERT_TRUE(arrived) << capture.transcript();
    const std::string sent = capture.entries()[*arrived].message();
    EXPECT_TRUE(sent.starts_with(fault.substr(6, 1000)) && sent.ends_with("\U0001D11E\u2026")) << sent.size();
    std::size_t accounted = 0;
    for (const auto& entry : capture.entries()) {
        std::size_t dropped = 0;
        if (entry.message().starts_with("line ")) {
            ++accounted;
        } else if (std::sscanf(entry.message().c_str(), "%zu log lines were dropped", &dropped) == 1) {
            EXPECT_EQ(entry.field("PRIORITY"), "5");
            accounted += dropped;
        }
    }
    EXPECT_EQ(accounted, 2000u) << capture.transcript();
}

} // namespace
} // namespace staywake
