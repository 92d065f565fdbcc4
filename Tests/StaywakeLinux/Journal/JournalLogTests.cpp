#include "StaywakeLinux/Journal/JournalCapture.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

class JournalLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testing::canEnterPrivateRun(why)) {
            STAYWAKE_SKIP(why);
        }
    }

    /// Runs the writer with `run` as its /run; its exit status, and nothing
    /// written to its standard error.
    std::optional<int> runWriter(const std::filesystem::path& run, const std::vector<std::string>& lines) {
        testing::ChildOptions options;
        options.privateRun = run;
        options.errorFile = directory.path() / "errors";
        std::vector<std::string> arguments = {STAYWAKE_JOURNAL_LOG_WRITER};
        arguments.insert(arguments.end(), lines.begin(), lines.end());
        const auto status = testing::ChildProcess(arguments, options).waitForExit();
        EXPECT_EQ(testing::readFile(*options.errorFile), "");
        return status;
    }

    testing::TemporaryDirectory directory;
};

TEST_F(JournalLogTest, SendsEachLineAsOneEntryWithTheHelpersFieldsAndLosesItQuietlyWithoutAJournal) {
    testing::JournalCapture capture(directory.path() / "run");
    const std::string awkward = "a line\nwith a break, %s %n and \u2014 in it";
    ASSERT_EQ(runWriter(directory.path() / "run", {"lease granted", "fault:sleep NOT restored", awkward}), 0);
    ASSERT_TRUE(capture.waitForMessage(awkward)) << capture.transcript();
    const std::pair<std::string, const char*> expected[] = {
        {"lease granted", "5"}, {"sleep NOT restored", "2"}, {awkward, "5"}};
    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), std::size(expected)) << capture.transcript();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].message(), expected[i].first);
        EXPECT_EQ(entries[i].field("PRIORITY"), expected[i].second);
        EXPECT_EQ(entries[i].field("SYSLOG_IDENTIFIER"), "StaywakeLidHelper");
        EXPECT_EQ(entries[i].field("STAYWAKE_SUBSYSTEM"), "com.staywake.app.lidhelper");
        EXPECT_EQ(entries[i].field("STAYWAKE_CATEGORY"), "lease");
    }

    std::filesystem::create_directories(directory.path() / "empty-run");
    EXPECT_EQ(runWriter(directory.path() / "empty-run", {"lease granted", "fault:stopping"}), 0);
}

} // namespace
} // namespace staywake
