#pragma once

#include <string>

namespace staywake {

/// The helper's log: short lower-case sentences about the sleep setting and
/// its leases, for the administrator. The daemon writes it to the system
/// journal; nothing here may block for long or throw.
class LidHelperLog {
public:
    virtual ~LidHelperLog() = default;

    /// A line at the log's default level.
    virtual void log(const std::string& line) = 0;
    /// A line at the fault level: kept for a stop that leaves the sleep
    /// setting possibly still disabled.
    virtual void fault(const std::string& line) = 0;
};

} // namespace staywake
