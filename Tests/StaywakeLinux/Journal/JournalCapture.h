#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
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

/// Stands in for journald on `<run>/systemd/journal/socket`: a process whose /run
/// is `<run>` (see PrivateRun.h) logs here through the unmodified libsystemd.
class JournalCapture {
public:
    /// `later`: bound but not read until startReading(), like a journald that
    /// has stopped reading; its senders block once the socket's queue is full.
    enum class Reading { now, later };

    explicit JournalCapture(const std::filesystem::path& runDirectory, Reading reading = Reading::now) {
        const std::filesystem::path directory = runDirectory / "systemd" / "journal";
        std::filesystem::create_directories(directory);
        const std::string path = (directory / "socket").string();
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::unlink(path.c_str());
        if (socket_ < 0 || path.size() >= sizeof address.sun_path ||
            ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot bind the journal capture socket at " + path);
        }
        const int bufferSize = 8 << 20;
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
        if (reading == Reading::now) {
            startReading();
        }
    }
    ~JournalCapture() {
        stopping_ = true;
        ::shutdown(socket_, SHUT_RDWR);
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(socket_);
    }

    void startReading() {
        thread_ = std::thread([this] { run(); });
    }
    JournalCapture(const JournalCapture&) = delete;
    JournalCapture& operator=(const JournalCapture&) = delete;

    std::vector<JournalEntry> entries() const {
        const std::lock_guard guard(lock_);
        return entries_;
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> result;
        std::ranges::transform(entries(), std::back_inserter(result), &JournalEntry::message);
        return result;
    }
    std::size_t count(const std::string& message) const {
        return static_cast<std::size_t>(std::ranges::count(messages(), message));
    }

    /// The index of the first entry from `from` on that `matches`, awaited up to 20 s.
    std::optional<std::size_t> waitFor(const std::function<bool(const JournalEntry&)>& matches,
                                       std::size_t from = 0) const {
        std::unique_lock guard(lock_);
        std::optional<std::size_t> found;
        arrived_.wait_for(guard, std::chrono::seconds(20), [&] {
            for (; from < entries_.size(); ++from) {
                if (matches(entries_[from])) {
                    found = from;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    std::optional<std::size_t> waitForMessage(const std::string& message, std::size_t from = 0) const {
        return waitFor([&](const JournalEntry& entry) { return entry.message() == message; }, from);
    }

    /// For a failing test's output.
    std::string transcript() const {
        std::string result;
        for (const auto& entry : entries()) {
            result += "  [" + entry.field("PRIORITY") + "] " + entry.message() + "\n";
        }
        return result;
    }

private:
    void run() {
        std::string payload(1 << 20, '\0');
        for (;;) {
            const ssize_t size = ::recv(socket_, payload.data(), payload.size(), 0);
            if ((size == 0 && stopping_) || (size < 0 && errno != EINTR)) {
                return;
            }
            if (size > 0) {
                const std::lock_guard guard(lock_);
                entries_.push_back(decode(payload.substr(0, static_cast<std::size_t>(size))));
                arrived_.notify_all();
            }
        }
    }

    // NAME=value\n, or for a value with a line break NAME\n, its 64-bit
    // little-endian size, the bytes and \n. (No memory files: the lines are short.)
    static JournalEntry decode(const std::string& payload) {
        JournalEntry entry;
        for (std::size_t at = 0; at < payload.size();) {
            const std::size_t end = payload.find_first_of("=\n", at);
            if (end == std::string::npos) {
                break;
            }
            std::string& value = entry.fields[payload.substr(at, end - at)];
            if (payload[end] == '=') {
                const std::size_t lineEnd = std::min(payload.find('\n', end + 1), payload.size());
                value = payload.substr(end + 1, lineEnd - end - 1);
                at = lineEnd + 1;
            } else {
                std::uint64_t length = 0;
                if (end + 1 + sizeof length > payload.size()) {
                    break;
                }
                std::memcpy(&length, payload.data() + end + 1, sizeof length);
                value = payload.substr(end + 1 + sizeof length, length);
                at = end + 1 + sizeof length + value.size() + 1;
            }
        }
        return entry;
    }

    int socket_ = -1;
    std::atomic<bool> stopping_ = false;
    mutable std::mutex lock_;
    mutable std::condition_variable arrived_;
    std::vector<JournalEntry> entries_;
    std::thread thread_;
};

} // namespace staywake::testing
