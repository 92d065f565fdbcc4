#include "pmset/HolderDirectory.h"

#include "StaywakeLinux/AtomicFile.h"
#include "StaywakeLinux/SystemError.h"
#include "pmset/PmsetToolError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <string>

namespace staywake {

HolderDirectory HolderDirectory::openChecked() {
    UniqueFd descriptor(::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!descriptor) {
        throw SystemError("could not open", path, errno);
    }
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0) {
        throw SystemError("could not inspect", path, errno);
    }
    if ((status.st_uid != 0 && status.st_uid != ::geteuid()) || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw SystemError("will not keep the holder's process id in a directory others can change:", path, EPERM);
    }
    return HolderDirectory(std::move(descriptor), status.st_uid);
}

HolderDirectory HolderDirectory::forChange() {
    if (::mkdir(path, 0755) == 0) {
        // mkdir honours the umask; the helper's socket lives here too, and its
        // users must be able to reach it.
        if (::chmod(path, 0755) != 0) {
            throw SystemError("could not set the mode of", path, errno);
        }
    } else if (errno != EEXIST) {
        throw SystemError("could not create", path, errno);
    }
    HolderDirectory directory = openChecked();
    if (::flock(directory.descriptor_.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            throw PmsetToolError("another pmset is changing the setting at this moment");
        }
        throw SystemError("could not lock", path, errno);
    }
    return directory;
}

std::optional<HolderDirectory> HolderDirectory::forReading() {
    struct stat status {};
    if (::lstat(path, &status) != 0 && errno == ENOENT) {
        return std::nullopt;
    }
    return openChecked();
}

std::optional<pid_t> HolderDirectory::recordedPid() const {
    const UniqueFd file(::openat(descriptor_.get(), recordName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        throw SystemError("could not read", std::string(path) + "/" + recordName, errno);
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    char text[32];
    ssize_t length = 0;
    do {
        length = ::read(file.get(), text, sizeof text);
    } while (length < 0 && errno == EINTR);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof text) {
        return std::nullopt;
    }
    const char* end = text + length;
    if (end[-1] == '\n') {
        --end;
    }
    // Digits only: from_chars would also take a sign.
    if (end == text || text[0] < '1' || text[0] > '9') {
        return std::nullopt;
    }
    long long value = 0;
    const auto parsed = std::from_chars(text, end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<pid_t>(value);
}

void HolderDirectory::record(pid_t pid) const {
    AtomicFile::replace(std::string(path) + "/" + recordName, std::to_string(pid) + "\n", 0644);
}

void HolderDirectory::forget() const {
    if (::unlinkat(descriptor_.get(), recordName, 0) != 0 && errno != ENOENT) {
        throw SystemError("could not remove", std::string(path) + "/" + recordName, errno);
    }
}

} // namespace staywake
