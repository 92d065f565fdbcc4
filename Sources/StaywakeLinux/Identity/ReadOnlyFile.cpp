#include "StaywakeLinux/Identity/ReadOnlyFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <vector>

namespace staywake {

std::optional<ReadOnlyFile> ReadOnlyFile::open(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return std::nullopt;
    }
    return ReadOnlyFile(descriptor);
}

std::optional<ReadOnlyFile> ReadOnlyFile::duplicate(int descriptor) {
    const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return std::nullopt;
    }
    return ReadOnlyFile(copy);
}

std::optional<struct stat> ReadOnlyFile::status() const {
    struct stat status {};
    if (::fstat(descriptor(), &status) != 0) {
        return std::nullopt;
    }
    return status;
}

bool ReadOnlyFile::readAt(std::uint64_t offset, std::span<std::byte> into) const {
    std::size_t done = 0;
    while (done < into.size()) {
        const std::uint64_t position = offset + done;
        if (position < offset || position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            return false;
        }
        const ssize_t count =
            ::pread(descriptor(), into.data() + done, into.size() - done, static_cast<off_t>(position));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

std::optional<std::string> ReadOnlyFile::resolvedPath() const {
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor());
    std::vector<char> buffer(4096);
    while (true) {
        const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            std::string path(buffer.data(), static_cast<std::size_t>(length));
            if (!path.starts_with('/')) {
                return std::nullopt;
            }
            return path;
        }
        if (buffer.size() >= 65536) {
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace staywake
