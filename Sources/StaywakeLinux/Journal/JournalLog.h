#pragma once

#include "StaywakeCore/LidHelper/LidHelperLog.h"

#include <memory>
#include <string>
#include <thread>

namespace staywake {

/// Writes log lines to the systemd journal, each as one entry with the line as
/// MESSAGE and the program's fixed fields beside it:
///
///   SYSLOG_IDENTIFIER=<identifier>   (what `journalctl -t` selects)
///   STAYWAKE_SUBSYSTEM=<subsystem>
///   STAYWAKE_CATEGORY=<category>
///   PRIORITY=5 (notice) for ordinary lines, 2 (critical) for faults
///
/// The journal's socket blocks its sender while journald is not reading, so
/// lines are never sent on the caller's thread: they wait in a queue of at most
/// 256 that one writer thread of the log's own sends from, and a line longer
/// than 8 KiB is cut short. When the queue is full, a new line is dropped, or,
/// for a fault, the oldest ordinary line is dropped to make room for it; the
/// writer reports each run of dropped lines with a notice line in its place.
///
/// Logging never fails loudly and never waits for the journal: without one
/// the line is lost, as it would be for any daemon, and the caller goes on.
/// Callable from any thread. The writer blocks every signal, so the log may
/// be made before the program sets its threads' signal masks. The writer is
/// this process's own: a forked child that logs makes a log of its own.
class JournalLog final : public LidHelperLog {
public:
    JournalLog(std::string identifier, std::string subsystem, std::string category);
    /// Waits up to a second for the queued lines to reach the journal. A
    /// writer still waiting for the journal after that is left to finish on
    /// its own, so that the program's exit never waits for the journal.
    ~JournalLog() override;
    JournalLog(const JournalLog&) = delete;
    JournalLog& operator=(const JournalLog&) = delete;

    /// An ordinary line, at notice priority.
    void log(const std::string& line) override;
    /// A line an administrator must see, at critical priority: something was
    /// left in a bad state.
    void fault(const std::string& line) override;

private:
    struct Queue;

    void enqueue(const std::string& line, int priority) noexcept;

    // Shared with the writer, which may outlive this object.
    std::shared_ptr<Queue> queue_;
    std::thread writer_;
};

} // namespace staywake
