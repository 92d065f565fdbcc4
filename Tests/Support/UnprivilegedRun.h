#pragma once

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace staywake::testing {

/// The user runUnprivileged runs as when the tests run as root: nobody.
inline constexpr uid_t unprivilegedUser = 65534;

/// What a body run without root's powers gave back.
struct UnprivilegedRun {
    bool ran;           ///< false: it could not be run so, and `output` says why
    std::string output; ///< what the body returned
};

/// Runs `body` in a child process and returns its text. When the tests run as
/// root the child first becomes the user and group nobody, without
/// supplementary groups, so that file permissions bind it as they bind any
/// user (root reads even a file of mode 000); otherwise it keeps the test's
/// user. Files it must reach are to be given to it first (giveToUnprivilegedUser).
inline UnprivilegedRun runUnprivileged(const std::function<std::string()>& body) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return {false, std::strerror(errno)};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        std::string output;
        int status = 0;
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 ||
                                 ::setresgid(unprivilegedUser, unprivilegedUser, unprivilegedUser) != 0 ||
                                 ::setresuid(unprivilegedUser, unprivilegedUser, unprivilegedUser) != 0)) {
            output = std::string("cannot run as the user nobody: ") + std::strerror(errno);
            status = 2;
        } else {
            try {
                output = body();
            } catch (const std::exception& error) {
                output = std::string("threw: ") + error.what();
            }
        }
        if (::write(ends[1], output.data(), output.size()) < 0) {
            status = 3;
        }
        ::_exit(status); // no exit handlers: they belong to the test process
    }
    ::close(ends[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t count; (count = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(ends[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return {false, "could not run a child process"};
    }
    return {!WIFEXITED(status) || WEXITSTATUS(status) != 2, output};
}

/// Gives a folder and everything in it to the user runUnprivileged runs as;
/// nothing to do when the tests do not run as root.
inline void giveToUnprivilegedUser(const std::filesystem::path& folder) {
    if (::geteuid() != 0) {
        return;
    }
    const auto give = [](const std::filesystem::path& path) {
        if (::lchown(path.c_str(), unprivilegedUser, unprivilegedUser) != 0) {
            throw std::system_error(errno, std::generic_category(),
                                    "could not give " + path.string() + " away");
        }
    };
    give(folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        give(entry.path());
    }
}

} // namespace staywake::testing
