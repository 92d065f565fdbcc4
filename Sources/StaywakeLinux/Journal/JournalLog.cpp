#include "StaywakeLinux/Journal/JournalLog.h"

#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>

#include <array>

namespace staywake {

JournalLog::JournalLog(std::string identifier, std::string subsystem, std::string category)
    : identifierField_("SYSLOG_IDENTIFIER=" + identifier), subsystemField_("STAYWAKE_SUBSYSTEM=" + subsystem),
      categoryField_("STAYWAKE_CATEGORY=" + category) {}

void JournalLog::log(const std::string& line) { send(line, LOG_NOTICE); }

void JournalLog::fault(const std::string& line) { send(line, LOG_CRIT); }

void JournalLog::send(const std::string& line, int priority) const {
    // Fields go as separate vectors: the line is never a format string, and
    // one with a line break in it stays one entry (the journal's binary field
    // form takes care of it).
    const std::string message = "MESSAGE=" + line;
    const std::string priorityField = "PRIORITY=" + std::to_string(priority);
    const auto field = [](const std::string& text) { return iovec{const_cast<char*>(text.data()), text.size()}; };
    std::array<iovec, 5> fields = {field(message), field(priorityField), field(identifierField_),
                                   field(subsystemField_), field(categoryField_)};
    // A journal that cannot be reached loses the line; there is nowhere else
    // a daemon's log could go that would be read.
    sd_journal_sendv(fields.data(), static_cast<int>(fields.size()));
}

} // namespace staywake
