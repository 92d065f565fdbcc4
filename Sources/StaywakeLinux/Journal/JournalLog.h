#pragma once

#include <functional>
#include <string>

namespace staywake {

/// Writes log lines to the systemd journal, each as one entry with the line as
/// MESSAGE and the program's fixed fields beside it:
///
///   SYSLOG_IDENTIFIER=<identifier>   (what `journalctl -t` selects)
///   STAYWAKE_SUBSYSTEM=<subsystem>
///   STAYWAKE_CATEGORY=<category>
///   PRIORITY=5 (notice) for ordinary lines, 2 (critical) for faults
///
/// Logging never fails loudly: without a journal the line is lost, as it would
/// be for any daemon, and the caller goes on. Callable from any thread.
class JournalLog {
public:
    JournalLog(std::string identifier, std::string subsystem, std::string category);

    /// An ordinary line.
    void notice(const std::string& line) const;
    /// A line an administrator must see: something was left in a bad state.
    void fault(const std::string& line) const;

    /// `notice` as a function of one line, for the components that take one.
    std::function<void(const std::string&)> noticeFunction() const;

private:
    void send(const std::string& line, int priority) const;

    std::string identifierField_;
    std::string subsystemField_;
    std::string categoryField_;
};

} // namespace staywake
