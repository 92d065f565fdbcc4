#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace staywake {

class CommandInterrupt;

/// Runs one program under a time limit, so that a hung tool can never hang the
/// lid helper, and so that a helper told to stop need not wait for a tool.
class BoundedCommand {
public:
    BoundedCommand() = delete;

    /// At most this much of the program's standard output is kept; the rest is
    /// read and thrown away, so the program never blocks on a full pipe.
    static constexpr std::size_t outputCap = 1048576;

    struct Result {
        /// The exit code, or the signal number for a program ended by a
        /// signal. A non-zero status is not a failure of the runner.
        std::int32_t status = 0;
        /// The first outputCap bytes of standard output as UTF-8, every
        /// invalid sequence replaced by U+FFFD. Standard error is never kept.
        std::string output;

        friend bool operator==(const Result&, const Result&) = default;
    };

    /// Runs the program at the absolute `path` with `arguments`, never through
    /// a shell, blocking the calling thread until it has finished, has been
    /// stopped, or could not be started. Standard input is `input` when one
    /// is given (the program gets its own copy of the descriptor, sharing the
    /// file's offset), else /dev/null; standard error is /dev/null; the
    /// environment and working directory are inherited.
    ///
    /// `timeout` is in seconds on the monotonic clock, counted from just before
    /// the launch; a limit of 0 or less (or not a number) stops the program at
    /// the first check unless its exit has already been seen. `interrupt` may
    /// be null; only presses after the call begins stop the program. Limit and
    /// interrupt are noticed within 20 ms; a stopped program is killed with
    /// SIGKILL, its output is discarded, and the call returns within another
    /// 0.5 s. An exit seen in the same pass wins over the limit and the
    /// interrupt.
    ///
    /// Throws CommandFailure (time limit, interrupt), CommandLaunchError (the
    /// program could not be started), or std::system_error (no pipe).
    /// May be called from any thread; calls share nothing.
    static Result run(const std::string& path, const std::vector<std::string>& arguments, double timeout,
                      CommandInterrupt* interrupt = nullptr, int input = -1);

    /// The command's text in failures: the executable's last path component,
    /// then each argument, joined by single blanks ("pmset -a disablesleep 1").
    static std::string commandText(const std::string& path, const std::vector<std::string>& arguments);
};

} // namespace staywake
