#include "pmset/RuntimeFile.h"

#include "StaywakeLinux/Socket/UniqueFd.h"
#include "StaywakeLinux/SystemError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace staywake {

namespace {

void makeDirectories(const std::filesystem::path& directory) {
    if (directory.empty() || directory == directory.root_path()) {
        return;
    }
    struct stat status {};
    if (::stat(directory.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode)) {
            throw SystemError("could not make the directory", directory.string(), ENOTDIR);
        }
        return;
    }
    makeDirectories(directory.parent_path());
    if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
        throw SystemError("could not make the directory", directory.string(), errno);
    }
}

void writeAll(int descriptor, const std::string& contents, const std::filesystem::path& path) {
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t count = ::write(descriptor, contents.data() + written, contents.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throw SystemError("could not write", path.string(), errno);
        }
        written += static_cast<std::size_t>(count);
    }
}

} // namespace

std::optional<std::string> RuntimeFile::read() const {
    const UniqueFd descriptor(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!descriptor) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        throw SystemError("could not read", path_.string(), errno);
    }
    std::string contents;
    char buffer[4096];
    while (true) {
        const ssize_t count = ::read(descriptor.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throw SystemError("could not read", path_.string(), errno);
        }
        if (count == 0) {
            break;
        }
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    return contents;
}

bool RuntimeFile::write(const std::string& contents) const {
    if (read() == contents) {
        return false;
    }
    makeDirectories(path_.parent_path());
    std::string temporary = path_.string() + ".XXXXXX";
    UniqueFd descriptor(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!descriptor) {
        throw SystemError("could not create a file beside", path_.string(), errno);
    }
    try {
        writeAll(descriptor.get(), contents, temporary);
        if (::fchmod(descriptor.get(), 0644) != 0) {
            throw SystemError("could not set the mode of", temporary, errno);
        }
        if (::fsync(descriptor.get()) != 0) {
            throw SystemError("could not flush", temporary, errno);
        }
        if (::close(descriptor.release()) != 0) {
            throw SystemError("could not close", temporary, errno);
        }
        if (::rename(temporary.c_str(), path_.c_str()) != 0) {
            throw SystemError("could not put in place", path_.string(), errno);
        }
    } catch (...) {
        descriptor.reset();
        ::unlink(temporary.c_str());
        throw;
    }
    return true;
}

bool RuntimeFile::remove() const {
    if (::unlink(path_.c_str()) == 0) {
        return true;
    }
    if (errno == ENOENT) {
        return false;
    }
    throw SystemError("could not remove", path_.string(), errno);
}

} // namespace staywake
