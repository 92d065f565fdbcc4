#pragma once

#include "StaywakeCore/LidHelper/LidHelperLog.h"

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
class JournalLog final : public LidHelperLog {
public:
    JournalLog(std::string identifier, std::string subsystem, std::string category);

    /// An ordinary line, at notice priority.
    void log(const std::string& line) override;
    /// A line an administrator must see, at critical priority: something was
    /// left in a bad state.
    void fault(const std::string& line) override;

private:
    void send(const std::string& line, int priority) const;

    std::string identifierField_;
    std::string subsystemField_;
    std::string categoryField_;
};

} // namespace staywake
