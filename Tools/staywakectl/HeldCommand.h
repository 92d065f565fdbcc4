#pragma once

#include <string>
#include <vector>

namespace staywake {

/// Runs a command as a child and waits for it. SIGINT and SIGTERM sent to
/// this process are passed on to the child, except those the terminal sent
/// to the whole foreground group: the child has those already.
class HeldCommand {
public:
    /// The child's exit status; 128 + the signal for a child killed by one;
    /// 127 when the command was not found and 126 when it could not be run
    /// (as a shell reports them), with a line on stderr.
    static int run(const std::vector<std::string>& command);
};

} // namespace staywake
