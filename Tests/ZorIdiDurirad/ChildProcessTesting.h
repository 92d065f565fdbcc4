#pragma once

// Helpers for tests that run real programs: a temporary directory for scripts,
// and a fixture that fails a test which leaves a zombie or a descriptor behind.

#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace staywake::testing {

/// A fresh temporary directory for scripts and the files they leave.
class ScratchDirectory : public TemporaryDirectory {
public:
    ScratchDirectory() : TemporaryDirectory("zoridi") {}

    using TemporaryDirectory::path;
    std::string path(const std::string& name) const { return (path() / name).string(); }

    std::string write(const std::string& name, const std::string& contents, bool executable = false) const {
        const std::string file = path(name);
        writeFile(file, contents);
        if (executable) {
            std::filesystem::permissions(file, std::filesystem::perms::owner_all |
                                                   std::filesystem::perms::group_read |
                                                   std::filesystem::perms::group_exec);
        }
        return file;
    }

    std::string read(const std::string& name) const { return readFile(path(name)); }

    std::string makeFifo(const std::string& name) const {
        const std::string file = path(name);
        if (::mkfifo(file.c_str(), 0600) != 0) {
            throw std::runtime_error("could not create a fifo");
        }
        return file;
    }
};

inline int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

/// Fails the test when it ends with more open descriptors than it began with,
/// or with a child process (running or zombie) still ours.
class ChildProcessTest : public ::testing::Test {
protected:
    void SetUp() override { descriptorsBefore_ = openDescriptorCount(); }

    void TearDown() override {
        EXPECT_EQ(openDescriptorCount(), descriptorsBefore_) << "a descriptor leaked";
        int status = 0;
        const pid_t child = ::waitpid(-1, &status, WNOHANG);
        EXPECT_EQ(child, -1) << "a child process is left (pid " << child << ")";
        EXPECT_EQ(errno, ECHILD);
    }

private:
    int descriptorsBefore_ = 0;
};

/// Waits until a program opens the fifo and writes a line into it, while
/// `running` (the call that runs that program) has not ended; true when the
/// line came. Lets a test act on a program at a known moment without sleeping.
template <typename T> bool awaitFifoLine(const std::string& fifo, std::future<T>& running) {
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool received = false;
    while (!received && running.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        // On Linux a fifo that no writer has opened yet does not report a
        // hang-up, so this waits for the program's line.
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 100) > 0) {
            char byte = 0;
            received = ::read(fd, &byte, 1) == 1;
        }
    }
    ::close(fd);
    return received;
}

} // namespace staywake::testing
