#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace staywake {

/// The process launcher could not start a program (no such executable, no
/// permission, no memory, ...). Its code is the launcher's errno; what() reads
/// "could not launch /usr/bin/pmset: No such file or directory".
class CommandLaunchError : public std::system_error {
public:
    CommandLaunchError(const std::string& path, int errorNumber);

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

/// A command that the runner stopped. `command` is the command text: the last
/// path component of the executable, then each argument, joined by single
/// blanks ("pmset -a disablesleep 1"). Two failures are equal when their kind,
/// command and limit are.
class CommandFailure : public std::runtime_error {
public:
    enum class Kind { timedOut, interrupted };

    /// "<command> did not finish within <seconds, %.3g> s and was stopped"
    static CommandFailure timedOut(const std::string& command, double seconds);
    /// "<command> was stopped before it finished"
    static CommandFailure interrupted(const std::string& command);

    Kind kind() const { return kind_; }
    const std::string& command() const { return command_; }
    /// The limit that was given; 0 for an interruption.
    double seconds() const { return seconds_; }

    friend bool operator==(const CommandFailure& a, const CommandFailure& b) {
        return a.kind_ == b.kind_ && a.command_ == b.command_ && a.seconds_ == b.seconds_;
    }

private:
    CommandFailure(Kind kind, const std::string& command, double seconds, const std::string& description);

    Kind kind_;
    std::string command_;
    double seconds_;
};

} // namespace staywake
