#include "StaywakeLinux/Journal/JournalCapture.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using testing::JournalCapture;
using testing::TemporaryDirectory;

struct Outcome {
    std::optional<int> status;
    std::string standardError;
};

/// Runs the writer with `run` as its /run: its exit status and what it wrote
/// to standard error.
Outcome runWriter(const std::filesystem::path& run, std::vector<std::string> arguments) {
    testing::ChildOptions options;
    options.privateRun = run;
    options.errorFile = run.parent_path() / "errors";
    arguments.insert(arguments.begin(), STAYWAKE_JOURNAL_LOG_WRITER);
    Outcome outcome;
    outcome.status = testing::ChildProcess(arguments, options).waitForExit();
    outcome.standardError = testing::readFile(*options.errorFile);
    return outcome;
}

class JournalLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testing::canEnterPrivateRun(why)) {
            STAYWAKE_SKIP(why);
        }
    }

    TemporaryDirectory directory;
};

TEST_F(JournalLogTest, SendsEachLineAsOneEntryWithTheHelpersFields) {
    JournalCapture capture(directory.path() / "run");
    const std::string fault = "stopping with sleep NOT restored; disablesleep may still be 1: pmset exited 1";
    const std::string awkward = "a line\nwith a break, %s %n and \u2014 in it";
    const Outcome outcome = runWriter(
        directory.path() / "run", {"notice:lease granted", "fault:" + fault, "notice:" + awkward, "big:1048576"});
    ASSERT_EQ(outcome.status, 0);
    ASSERT_TRUE(capture.waitFor([](const auto& entry) { return entry.message().size() == 1048576; }))
        << capture.transcript();

    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), 4u) << capture.transcript();
    struct Expected {
        std::string message;
        const char* priority;
    };
    std::string big;
    while (big.size() < 1048576) {
        big += static_cast<char>('0' + big.size() % 10);
    }
    const Expected expected[] = {{"lease granted", "5"}, {fault, "2"}, {awkward, "5"}, {big, "5"}};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(entries[i].message() == expected[i].message) << entries[i].message().substr(0, 200);
        EXPECT_EQ(entries[i].field("PRIORITY"), expected[i].priority);
        EXPECT_EQ(entries[i].field("SYSLOG_IDENTIFIER"), "StaywakeLidHelper");
        EXPECT_EQ(entries[i].field("STAYWAKE_SUBSYSTEM"), "com.staywake.app.lidhelper");
        EXPECT_EQ(entries[i].field("STAYWAKE_CATEGORY"), "lease");
    }
}

TEST_F(JournalLogTest, LosesTheLineQuietlyWithoutAJournal) {
    std::filesystem::create_directories(directory.path() / "empty-run");
    const Outcome outcome = runWriter(directory.path() / "empty-run", {"notice:lease granted", "fault:stopping"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.standardError, "");
}

TEST(JournalCapture, ReadsBothFieldFormsOfTheNativeProtocol) {
    const std::string payload =
        std::string("MESSAGE\n") + std::string("\x05\0\0\0\0\0\0\0", 8) + "a\nb=c\nPRIORITY=5\nEMPTY=\n";
    const auto entry = JournalCapture::parse(payload);
    EXPECT_EQ(entry.message(), "a\nb=c");
    EXPECT_EQ(entry.field("PRIORITY"), "5");
    EXPECT_EQ(entry.fields.count("EMPTY"), 1u);
    EXPECT_THROW(JournalCapture::parse("MESSAGE\n\x09"), std::runtime_error);
    EXPECT_THROW(JournalCapture::parse("MESSAGE=no end"), std::runtime_error);
}

} // namespace
} // namespace staywake
