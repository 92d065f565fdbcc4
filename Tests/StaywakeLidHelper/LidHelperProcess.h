#pragma once

#include "StaywakeLinux/Journal/JournalCapture.h"
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"
#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/Mailbox.h"
#include "Support/MockBusLauncher.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace staywake::testing {

/// The real lid helper binary in a bundle in a temporary directory beside the fake pmset, with a private /run (its
/// socket, a captured journal) and a private system bus with a mocked polkit: never the host's setting or journal.
class LidHelperProcess {
public:
    /// Builds the bundle and starts the buses (throws when they do not start).
    LidHelperProcess(const std::filesystem::path& directory, const std::filesystem::path& helperBinary,
                     const std::string& polkit = "allow"); // or "deny", "hang"

    /// Starts the helper binding its socket itself (again once it has exited, as its unit restarts it), or with
    /// `listening` passed as the service manager passes an activated socket.
    void start() { launch({helper_.string()}); }
    void startWithSocket(int listening);

    /// Its exit status (-signal when a signal ended it), or nothing while it runs after `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return process_->waitForExit(timeout);
    }
    void signal(int number) const { process_->signal(number); }
    pid_t pid() const { return process_ ? process_->pid() : -1; }

    const std::filesystem::path& helperPath() const { return helper_; }
    const std::filesystem::path& helpersDirectory() const { return helpers_; }
    /// The socket as seen from outside the helper's private /run.
    std::string socketPath() const { return (run_ / "staywake" / "lidhelper.sock").string(); }
    JournalCapture& journal() { return *journal_; }

    // The fake pmset: the setting, and what it does for "read", "write-1" or "write-0" (see fake-pmset).
    int state() const { return std::stoi(readFile(helpers_ / "pmset.state")); }
    void setMode(const std::string& use, const std::string& mode) const {
        writeFile(helpers_ / ("pmset." + use + "-mode"), mode + "\n");
    }
    std::vector<std::string> callLines() const; // in order

    /// The helper's log, the fake's calls and the helper's own output, for a failing test.
    std::string report() const {
        return "helper log:\n" + journal_->transcript() + "pmset calls:\n" + readFile(helpers_ / "pmset.calls") +
               "helper output:\n" + readFile(output_);
    }

private:
    void launch(const std::vector<std::string>& argv, int passedSocket = -1);

    std::filesystem::path run_;
    std::filesystem::path helpers_;
    std::filesystem::path helper_;
    std::filesystem::path output_;
    std::unique_ptr<JournalCapture> journal_;
    MockBuses buses_;
    std::unique_ptr<ChildProcess> process_;
};

/// A connection of this test process, which carries the app's identity note, with each request awaited.
class LeaseClient {
public:
    explicit LeaseClient(const std::string& socketPath) : connection_(socketPath) { connection_.resume(); }

    /// "granted", "refused: <text>" or "failed: <reason>".
    std::string renew(double until) {
        Mailbox<std::string> outcome;
        connection_.renewLease(
            until, [&](std::optional<std::string> text) { outcome.post(text ? "refused: " + *text : "granted"); },
            [&](const std::string& reason) { outcome.post("failed: " + reason); });
        return outcome.take(std::chrono::seconds(20)).value_or("no answer");
    }
    std::string renewFor(double seconds) {
        return renew(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() +
                     seconds);
    }

private:
    LidLeaseClientConnection connection_;
};

#ifdef STAYWAKE_LID_HELPER
/// A test of the build's helper in a directory other users' peers can reach; its report is printed when it fails.
class LidHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = privateRunIsOutOfReach()) {
            STAYWAKE_SKIP(*why);
        }
        std::filesystem::permissions(directory.path(), std::filesystem::perms(0755));
        helper = std::make_unique<LidHelperProcess>(directory.path(), STAYWAKE_LID_HELPER);
    }
    void TearDown() override {
        if (helper && HasFailure()) {
            std::cerr << helper->report();
        }
    }
    void start() {
        helper->start();
        EXPECT_TRUE(logged(listening)) << "the helper never listened";
    }
    JournalCapture& journal() { return helper->journal(); }
    bool logged(const std::string& line, std::size_t from = 0) {
        return journal().waitForMessage(line, from).has_value();
    }
    /// The helper's messages from entry `from` on.
    std::vector<std::string> messagesFrom(std::size_t from) {
        const auto messages = journal().messages();
        return {messages.begin() + static_cast<long>(std::min(from, messages.size())), messages.end()};
    }

    const std::string listening = "listening on com.staywake.app.lidhelper";
    const std::string wrote0 = "wrote disablesleep 0, and read it back";
    TemporaryDirectory directory;
    std::unique_ptr<LidHelperProcess> helper;
};
#endif

} // namespace staywake::testing
