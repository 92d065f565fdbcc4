#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"
#include "pmset/InhibitorLock.h"

#include <string>
#include <vector>

struct sd_bus;

namespace staywake {

/// A connection to logind's manager on the system bus (DBUS_SYSTEM_BUS_ADDRESS
/// when set, else the system's socket). Every call is bounded by `callLimit`.
/// Failures throw PmsetToolError with sd-bus's own words: "could not list
/// logind's inhibitor locks: The name org.freedesktop.login1 was not provided
/// by any .service files".
class LogindBus {
public:
    static constexpr double callLimit = 5;

    LogindBus();
    LogindBus(const LogindBus&) = delete;
    LogindBus& operator=(const LogindBus&) = delete;
    ~LogindBus();

    /// ListInhibitors.
    std::vector<InhibitorLock> inhibitors() const;
    /// Inhibit: the lock is held while the returned descriptor (close-on-exec)
    /// or a copy of it is open.
    UniqueFd inhibit(const std::string& what, const std::string& who, const std::string& why,
                     const std::string& mode) const;

private:
    sd_bus* bus_ = nullptr;
};

} // namespace staywake
