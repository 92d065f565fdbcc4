#include "StaywakeLinux/AtomicFile.h"

#include "StaywakeLinux/Socket/UniqueFd.h"
#include "StaywakeLinux/SystemError.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace staywake {

namespace {

void writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw SystemError("could not write", path, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

// mkostemp fills in the six X.
constexpr std::string_view uniquePart = "XXXXXX";

std::string temporaryPrefix(const std::filesystem::path& path) { return "." + path.filename().string() + "."; }

} // namespace

void AtomicFile::removeLeftovers(const std::filesystem::path& path) {
    const std::string prefix = temporaryPrefix(path);
    std::error_code error;
    const auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    // Never throws: a folder that cannot be listed keeps its leftovers.
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() == prefix.size() + uniquePart.size() && name.starts_with(prefix)) {
            ::unlink(entry->path().c_str());
        }
    }
}

struct stat AtomicFile::replace(const std::filesystem::path& path, std::string_view contents, mode_t mode) {
    const std::filesystem::path folderPath = path.parent_path().empty() ? "." : path.parent_path();
    const std::string folderName = folderPath.string();
    UniqueFd folder(::open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        throw SystemError("could not open the folder", folderName, errno);
    }
    std::string temporary = (folderPath / (temporaryPrefix(path) + std::string(uniquePart))).string();
    UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file) {
        throw SystemError("could not create a file in", folderName, errno);
    }
    try {
        writeAll(file.get(), contents, temporary);
        if (::fchmod(file.get(), mode) != 0) {
            throw SystemError("could not set the permissions of", temporary, errno);
        }
        if (::fsync(file.get()) != 0) {
            throw SystemError("could not sync", temporary, errno);
        }
        // A deferred write error shows up when the file is closed.
        if (::close(file.release()) != 0) {
            throw SystemError("could not close", temporary, errno);
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            throw SystemError("could not replace", path.string(), errno);
        }
    } catch (const SystemError&) {
        ::unlink(temporary.c_str());
        throw;
    }
    struct stat status {};
    if (::fsync(folder.get()) != 0) {
        throw SystemError("could not sync the folder", folderName, errno);
    }
    // Looked at after the rename, which changes the inode's change time.
    if (::fstatat(folder.get(), path.filename().c_str(), &status, 0) != 0) {
        throw SystemError("could not look at", path.string(), errno);
    }
    return status;
}

} // namespace staywake
