#pragma once

// Child processes for tests: programs they start, waits without sleeps, bodies run without root's powers.

#include "StaywakeLinux/Journal/PrivateRun.h"
#include "Support/Files.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

extern char** environ;

namespace staywake::testing {

/// Whether the process behind `pidfd` ends within `timeout` (any descriptor: whether it has input).
inline bool endsWithin(int pidfd, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    pollfd polled{pidfd, POLLIN, 0};
    return ::poll(&polled, 1, static_cast<int>(timeout.count())) == 1;
}

inline int pidfdOf(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

struct ChildOptions {
    /// NAME=value entries that replace inherited variables of the same name.
    std::vector<std::string> environment;
    std::optional<std::filesystem::path> workingDirectory;
    /// When set, the child sees this folder as /run (see PrivateRun.h).
    std::optional<std::filesystem::path> privateRun;
    /// Passed as descriptor 3, as the service manager passes a socket.
    int passedDescriptor = -1;
    /// Output and errors are appended here, input is /dev/null; unset: input and output are pipes.
    std::optional<std::filesystem::path> outputFile;
};

/// A program started by a test, killed and reaped when the object goes.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> argv, const ChildOptions& options = {}) {
        // Everything the child needs is made (or read in place) before fork: after it, only system calls.
        std::vector<std::string> variables = options.environment;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string_view text(*variable);
            const auto name = text.substr(0, text.find('=') + 1);
            if (std::ranges::none_of(options.environment, [&](const auto& v) { return v.starts_with(name); })) {
                variables.emplace_back(text);
            }
        }
        auto args = pointers(argv);
        auto envp = pointers(variables);
        const auto& output = options.outputFile;
        int in[2] = {-1, -1};
        int out[2] = {-1, -1};
        if ((!output && (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)) || (pid_ = ::fork()) < 0) {
            throw std::system_error(errno, std::generic_category(), "pipe or fork");
        }
        if (pid_ == 0) {
            const int input = !output ? in[0] : ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            const int written =
                !output ? out[1] : ::open(output->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
            if (input < 0 || written < 0 || ::dup2(input, STDIN_FILENO) < 0 ||
                ::dup2(written, STDOUT_FILENO) < 0 || (output && ::dup2(written, STDERR_FILENO) < 0) ||
                (options.privateRun && enterPrivateRun(options.privateRun->c_str()) != 0) ||
                (options.workingDirectory && ::chdir(options.workingDirectory->c_str()) != 0) ||
                (options.passedDescriptor >= 0 && ::dup2(options.passedDescriptor, 3) < 0)) {
                ::_exit(120);
            }
            // The test's signal mask and dispositions are not a fresh process's.
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGTERM, SIG_DFL);
            ::signal(SIGPIPE, SIG_DFL);
            ::execve(args[0], args.data(), envp.data());
            ::_exit(121);
        }
        if (!output) {
            ::close(in[0]);
            ::close(out[1]);
        }
        input_ = in[1];
        output_ = out[0];
        pidfd_ = pidfdOf(pid_);
    }
    ~ChildProcess() {
        closeInput();
        if (output_ >= 0) {
            ::close(output_);
        }
        if (!status_) {
            ::kill(pid_, SIGKILL);
            waitForExit();
        }
        if (pidfd_ >= 0) {
            ::close(pidfd_);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const {
        if (!status_) {
            ::kill(pid_, number);
        }
    }
    void closeInput() {
        if (input_ >= 0) {
            ::close(std::exchange(input_, -1));
        }
    }

    /// The next line of its output, without the line feed; empty at its end or after `timeout`.
    std::string readLine(std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        std::string line;
        char byte = 0;
        while (endsWithin(output_, timeout) && ::read(output_, &byte, 1) == 1 && byte != '\n') {
            line += byte;
        }
        return line;
    }

    /// Its exit status, or -signal when a signal ended it; nothing while it still runs after `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        int status = 0;
        if (!status_ && pidfd_ >= 0 && endsWithin(pidfd_, timeout)) {
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        }
        return status_;
    }

private:
    static std::vector<char*> pointers(std::vector<std::string>& texts) {
        std::vector<char*> result;
        std::ranges::transform(texts, std::back_inserter(result), [](auto& text) { return text.data(); });
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = -1;
    int pidfd_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::optional<int> status_;
};

/// Fails the test when it ends with more open descriptors than it began with, or with a child left.
class ChildProcessTest : public ::testing::Test {
protected:
    static int openDescriptors() {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
    }
    void SetUp() override { descriptorsBefore_ = openDescriptors(); }
    void TearDown() override {
        EXPECT_EQ(openDescriptors(), descriptorsBefore_) << "a descriptor leaked";
        const pid_t child = ::waitpid(-1, nullptr, WNOHANG);
        EXPECT_EQ(child, -1) << "a child process is left (pid " << child << ")";
    }

private:
    int descriptorsBefore_ = 0;
};

/// Whether a program wrote a line into the fifo before `running` (the call that runs it) ended:
/// lets a test act on a program at a known moment without sleeping.
template <typename T> bool awaitFifoLine(const std::string& fifo, std::future<T>& running) {
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    bool received = false;
    char byte = 0;
    // A fifo that no writer has opened yet reports no hang-up on Linux, so this waits for the line.
    while (fd >= 0 && !received && running.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        received = endsWithin(fd, std::chrono::milliseconds(100)) && ::read(fd, &byte, 1) == 1;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return received;
}

/// What a body run without root's powers gave back.
struct UnprivilegedRun {
    bool ran;           ///< false: it could not be run so, and `output` says why
    std::string output; ///< what the body returned
};

/// The user (and group) runUnprivileged runs as when the tests run as root: nobody.
inline constexpr uid_t unprivilegedUser = 65534;

/// Runs `body` in a forked child and returns its text. Under root the child first becomes nobody, without
/// supplementary groups, so that file permissions bind it (root reads even a file of mode 000); files it
/// must reach are given to it first (giveToUnprivilegedUser).
inline UnprivilegedRun runUnprivileged(const std::function<std::string()>& body) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return {false, std::strerror(errno)};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped =
            ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 &&
                                 ::setresgid(unprivilegedUser, unprivilegedUser, unprivilegedUser) == 0 &&
                                 ::setresuid(unprivilegedUser, unprivilegedUser, unprivilegedUser) == 0);
        std::string output = std::string("cannot run as the user nobody: ") + std::strerror(errno);
        try {
            output = dropped ? body() : output;
        } catch (const std::exception& error) {
            output = std::string("threw: ") + error.what();
        }
        const bool written = ::write(ends[1], output.data(), output.size()) >= 0;
        ::_exit(!dropped ? 2 : written ? 0 : 3); // no exit handlers: they belong to the test process
    }
    ::close(ends[1]);
    // Read through a fresh descriptor of the pipe's reading end, to the end the child's exit makes.
    const std::string output = readFile("/proc/self/fd/" + std::to_string(ends[0]));
    ::close(ends[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return {false, "could not run a child process"};
    }
    return {!WIFEXITED(status) || WEXITSTATUS(status) != 2, output};
}

/// Gives a folder and everything in it to the user runUnprivileged runs as (only under root).
inline void giveToUnprivilegedUser(const std::filesystem::path& folder) {
    const std::string owner = std::to_string(unprivilegedUser) + ":" + std::to_string(unprivilegedUser);
    if (::geteuid() == 0 && !commandOutput("chown -R " + owner + " '" + folder.string() + "'")) {
        throw std::runtime_error("could not give " + folder.string() + " away");
    }
}

} // namespace staywake::testing
