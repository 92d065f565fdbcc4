#include "StaywakeLinux/Journal/JournalCapture.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace staywake::testing {
namespace {

std::string readWholeFile(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        throw std::runtime_error("cannot stat a passed journal memory file");
    }
    std::string content(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = ::pread(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
        if (got <= 0) {
            throw std::runtime_error("cannot read a passed journal memory file");
        }
        done += static_cast<std::size_t>(got);
    }
    return content;
}

} // namespace

JournalCapture::JournalCapture(const std::filesystem::path& runDirectory) {
    const std::filesystem::path directory = runDirectory / "systemd" / "journal";
    std::filesystem::create_directories(directory);
    const std::string path = (directory / "socket").string();
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_ < 0 || path.size() >= sizeof address.sun_path) {
        throw std::runtime_error("cannot make the journal capture socket at " + path);
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    ::unlink(path.c_str());
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot bind the journal capture socket at " + path);
    }
    const int bufferSize = 8 << 20;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
}

JournalCapture::~JournalCapture() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(socket_);
    ::close(stopFd_);
}

void JournalCapture::run() {
    for (;;) {
        pollfd polled[2] = {{socket_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(polled, 2, -1) < 0) {
            continue;
        }
        if (polled[0].revents != 0) {
            receiveOne();
            continue; // drain what is there before stopping
        }
        if (polled[1].revents != 0) {
            return;
        }
    }
}

void JournalCapture::receiveOne() {
    // Plain datagrams are bounded by the sender's buffer; 8 MiB is well above it.
    std::string payload(8 << 20, '\0');
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    iovec vector{payload.data(), payload.size()};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t size = ::recvmsg(socket_, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (size < 0) {
        return;
    }
    payload.resize(static_cast<std::size_t>(size));
    try {
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
                int passed = -1;
                std::memcpy(&passed, CMSG_DATA(header), sizeof passed);
                // An entry too large for a datagram comes as a memory file and
                // an empty datagram.
                payload = readWholeFile(passed);
                ::close(passed);
            }
        }
        if ((message.msg_flags & MSG_TRUNC) != 0) {
            throw std::runtime_error("a journal datagram was cut short");
        }
        JournalEntry entry = parse(payload);
        {
            const std::lock_guard guard(lock_);
            entries_.push_back(std::move(entry));
        }
    } catch (const std::exception& error) {
        const std::lock_guard guard(lock_);
        problems_.push_back(error.what());
    }
    arrived_.notify_all();
}

JournalEntry JournalCapture::parse(const std::string& payload) {
    JournalEntry entry;
    std::size_t at = 0;
    while (at < payload.size()) {
        const std::size_t end = payload.find_first_of("=\n", at);
        if (end == std::string::npos) {
            throw std::runtime_error("journal field without an end");
        }
        std::string name = payload.substr(at, end - at);
        if (payload[end] == '=') {
            const std::size_t lineEnd = payload.find('\n', end + 1);
            if (lineEnd == std::string::npos) {
                throw std::runtime_error("journal field " + name + " without a line break");
            }
            entry.fields[name] = payload.substr(end + 1, lineEnd - end - 1);
            at = lineEnd + 1;
        } else {
            // The binary form: name, line break, 64-bit little-endian size,
            // the bytes, line break.
            if (end + 1 + 8 > payload.size()) {
                throw std::runtime_error("journal field " + name + " without its size");
            }
            std::uint64_t size = 0;
            for (int i = 7; i >= 0; --i) {
                size = (size << 8) | static_cast<unsigned char>(payload[end + 1 + static_cast<std::size_t>(i)]);
            }
            const std::size_t valueStart = end + 1 + 8;
            if (size > payload.size() - valueStart || valueStart + size >= payload.size() ||
                payload[valueStart + size] != '\n') {
                throw std::runtime_error("journal field " + name + " with a wrong size");
            }
            entry.fields[name] = payload.substr(valueStart, size);
            at = valueStart + size + 1;
        }
    }
    return entry;
}

std::vector<JournalEntry> JournalCapture::entries() const {
    const std::lock_guard guard(lock_);
    return entries_;
}

std::vector<std::string> JournalCapture::messages() const {
    const std::lock_guard guard(lock_);
    std::vector<std::string> result;
    for (const auto& entry : entries_) {
        result.push_back(entry.message());
    }
    return result;
}

std::size_t JournalCapture::count(const std::string& message) const {
    const std::lock_guard guard(lock_);
    std::size_t result = 0;
    for (const auto& entry : entries_) {
        result += entry.message() == message ? 1 : 0;
    }
    return result;
}

std::optional<std::size_t> JournalCapture::waitFor(const std::function<bool(const JournalEntry&)>& matches,
                                                   std::size_t from, std::chrono::milliseconds timeout) const {
    std::unique_lock guard(lock_);
    std::size_t checked = from;
    std::optional<std::size_t> found;
    arrived_.wait_for(guard, timeout, [&] {
        for (; checked < entries_.size(); ++checked) {
            if (matches(entries_[checked])) {
                found = checked;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::optional<std::size_t> JournalCapture::waitForMessage(const std::string& message, std::size_t from,
                                                          std::chrono::milliseconds timeout) const {
    return waitFor([&](const JournalEntry& entry) { return entry.message() == message; }, from, timeout);
}

std::string JournalCapture::transcript() const {
    const std::lock_guard guard(lock_);
    std::string result;
    for (const auto& entry : entries_) {
        result += "  [" + entry.field("PRIORITY") + "] " + entry.message() + "\n";
    }
    for (const auto& problem : problems_) {
        result += "  (capture problem: " + problem + ")\n";
    }
    return result;
}

} // namespace staywake::testing
