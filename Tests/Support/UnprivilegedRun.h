#pragma once

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace staywake::testing {

/// What a body run without root's powers gave back.
struct UnprivilegedRun {
    bool ran;           ///< false: the body could not be run so (`output` says why)
    std::string output; ///< the body's text, or why it could not run
};

namespace detail {

inline constexpr uid_t nobody = 65534;
inline constexpr int couldNotDropPrivileges = 2;

inline void writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count <= 0 && errno != EINTR) {
            return;
        }
        written += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
}

} // namespace detail

/// Runs `body` in a child process that holds no privilege, and returns its
/// text. When the tests run as root the child becomes the user and group
/// nobody (65534) with no supplementary groups first, so that permissions
/// apply to it as to any user; otherwise it keeps the test's own user. Tests
/// that check what a user cannot do use it: root may read a file of mode 000.
inline UnprivilegedRun runUnprivileged(const std::function<std::string()>& body) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return {false, std::string("could not make a pipe: ") + std::strerror(errno)};
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        return {false, std::string("could not start a child process: ") + std::strerror(errno)};
    }
    if (child == 0) {
        ::close(ends[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 ||
                                 ::setresgid(detail::nobody, detail::nobody, detail::nobody) != 0 ||
                                 ::setresuid(detail::nobody, detail::nobody, detail::nobody) != 0)) {
            detail::writeAll(ends[1], std::string("cannot run as the user nobody: ") + std::strerror(errno));
            ::_exit(detail::couldNotDropPrivileges);
        }
        std::string output;
        try {
            output = body();
        } catch (const std::exception& error) {
            output = std::string("threw: ") + error.what();
        }
        detail::writeAll(ends[1], output);
        // No exit handlers: they belong to the test process.
        ::_exit(0);
    }
    ::close(ends[1]);
    std::string output;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(ends[0], buffer, sizeof buffer)) != 0) {
        if (count > 0) {
            output.append(buffer, static_cast<std::size_t>(count));
        } else if (errno != EINTR) {
            break;
        }
    }
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == detail::couldNotDropPrivileges) {
        return {false, output};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {true, output + " (the child process ended abnormally)"};
    }
    return {true, output};
}

/// Gives a folder and everything in it to the user runUnprivileged runs as
/// (nothing to do when the tests do not run as root).
inline void handOverToUnprivilegedUser(const std::filesystem::path& folder) {
    if (::geteuid() != 0) {
        return;
    }
    if (::lchown(folder.c_str(), detail::nobody, detail::nobody) != 0) {
        throw std::runtime_error("could not give " + folder.string() + " to nobody: " + std::strerror(errno));
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (::lchown(entry.path().c_str(), detail::nobody, detail::nobody) != 0) {
            throw std::runtime_error("could not give " + entry.path().string() + " to nobody");
        }
    }
}

} // namespace staywake::testing
