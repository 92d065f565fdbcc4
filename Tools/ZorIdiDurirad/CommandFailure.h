#pragma once

#include <stdexcept>
#include <string>

namespace staywake {

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
