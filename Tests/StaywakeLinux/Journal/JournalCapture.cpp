#include "StaywakeLinux/Journal/JournalCapture.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace staywake::testing {
namespace {

// Each field is NAME=value and a line break, or (a value with a line break in
// it) NAME, a line break, its 64-bit little-endian size, the bytes and a line
// break. Entries too large for a datagram would come as a memory file; the
// helper's lines are far smaller.
JournalEntry decode(const std::string& payload) {
    JournalEntry entry;
    for (std::size_t at = 0; at < payload.size();) {
        const std::size_t end = payload.find_first_of("=\n", at);
        if (end == std::string::npos) {
            break;
        }
        const std::string name = payload.substr(at, end - at);
        if (payload[end] == '=') {
            const std::size_t lineEnd = std::min(payload.find('\n', end + 1), payload.size());
            entry.fields[name] = payload.substr(end + 1, lineEnd - end - 1);
            at = lineEnd + 1;
        } else {
            std::uint64_t length = 0;
            if (end + 1 + sizeof length > payload.size()) {
                break;
            }
            std::memcpy(&length, payload.data() + end + 1, sizeof length);
            entry.fields[name] = payload.substr(end + 1 + sizeof length, length);
            at = end + 1 + sizeof length + entry.fields[name].size() + 1;
        }
    }
    return entry;
}

} // namespace

JournalCapture::JournalCapture(const std::filesystem::path& runDirectory) {
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
    thread_ = std::thread([this] { run(); });
}

JournalCapture::~JournalCapture() {
    // The blocked receive reads what is queued, then returns nothing.
    stopping_ = true;
    ::shutdown(socket_, SHUT_RDWR);
    thread_.join();
    ::close(socket_);
}

void JournalCapture::run() {
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

std::vector<JournalEntry> JournalCapture::entries() const {
    const std::lock_guard guard(lock_);
    return entries_;
}

std::vector<std::string> JournalCapture::messages() const {
    std::vector<std::string> result;
    for (const auto& entry : entries()) {
        result.push_back(entry.message());
    }
    return result;
}

std::size_t JournalCapture::count(const std::string& message) const {
    const auto all = messages();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), message));
}

std::optional<std::size_t> JournalCapture::waitFor(const std::function<bool(const JournalEntry&)>& matches,
                                                   std::size_t from) const {
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

std::optional<std::size_t> JournalCapture::waitForMessage(const std::string& message, std::size_t from) const {
    return waitFor([&](const JournalEntry& entry) { return entry.message() == message; }, from);
}

std::string JournalCapture::transcript() const {
    std::string result;
    for (const auto& entry : entries()) {
        result += "  [" + entry.field("PRIORITY") + "] " + entry.message() + "\n";
    }
    return result;
}

} // namespace staywake::testing
