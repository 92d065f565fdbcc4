#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace staywake {

/// One program started for the command runner, and the duty to reap it: a
/// ChildProcess that is destroyed before its program has been reaped kills it
/// (see stop), so no path out of the runner leaves a zombie or a stray tool.
class ChildProcess {
public:
    /// Starts the program at `path` without a shell, argv[0] = `path`. Its
    /// standard output is `outputFd`, standard input is `inputFd` when it is
    /// not -1, else /dev/null, standard error is /dev/null,
    /// every other descriptor is closed, its signal mask is empty and every
    /// signal has its default action (the helper blocks SIGTERM for its
    /// sigwait thread, and a tool must not inherit that), and it leads a
    /// process group of its own so that stop() also reaches what it started.
    /// The environment and working directory are inherited.
    /// Throws CommandLaunchError with the launcher's errno.
    ChildProcess(const std::string& path, const std::vector<std::string>& arguments, int outputFd,
                 int inputFd = -1);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    /// Reaps the program if it has exited, without waiting; true once it has.
    bool tryReap();
    /// A descriptor that becomes readable when the program exits (a pidfd), or
    /// -1 on a kernel without pidfds, where exit is only seen by tryReap().
    int exitDescriptor() const { return exitDescriptor_.get(); }
    /// The exit code, or the signal number for a program ended by a signal.
    /// Only meaningful once tryReap() returned true.
    std::int32_t status() const { return status_; }

    /// Sends SIGKILL at once to the program and its process group, then waits
    /// up to 0.5 s for it to go. A program that still has not gone (stuck in
    /// the kernel) is left to a detached thread that reaps it whenever it does.
    void stop();

private:
    bool waitForExit(double seconds);

    pid_t pid_ = -1;
    bool reaped_ = false;
    std::int32_t status_ = 0;
    UniqueFd exitDescriptor_;
};

} // namespace staywake
