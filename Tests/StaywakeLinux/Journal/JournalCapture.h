#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace staywake::testing {

/// One journal entry as a client sent it: every field by name.
struct JournalEntry {
    std::map<std::string, std::string> fields;

    std::string field(const std::string& name) const {
        const auto found = fields.find(name);
        return found == fields.end() ? std::string() : found->second;
    }
    std::string message() const { return field("MESSAGE"); }
};

/// Stands in for journald: listens on the journal's native socket at
/// `<run>/systemd/journal/socket` and decodes the datagrams clients send there.
/// A process whose /run is `<run>` (see PrivateRun.h) logs here through the
/// unmodified libsystemd.
class JournalCapture {
public:
    explicit JournalCapture(const std::filesystem::path& runDirectory);
    ~JournalCapture();
    JournalCapture(const JournalCapture&) = delete;
    JournalCapture& operator=(const JournalCapture&) = delete;

    std::vector<JournalEntry> entries() const;
    std::vector<std::string> messages() const;
    /// How many entries so far have exactly this message.
    std::size_t count(const std::string& message) const;

    /// Waits up to 20 s until the entries since index `from` hold one that
    /// `matches`, and returns its index.
    std::optional<std::size_t> waitFor(const std::function<bool(const JournalEntry&)>& matches,
                                       std::size_t from = 0) const;
    std::optional<std::size_t> waitForMessage(const std::string& message, std::size_t from = 0) const;

    /// Every message so far, a line each, for a failing test's output.
    std::string transcript() const;

private:
    void run();

    int socket_ = -1;
    std::atomic<bool> stopping_ = false;
    mutable std::mutex lock_;
    mutable std::condition_variable arrived_;
    std::vector<JournalEntry> entries_;
    std::thread thread_;
};

} // namespace staywake::testing
