#pragma once

namespace staywake {

/// Seconds since boot that do not advance while the machine sleeps.
class UptimeProvider {
public:
    virtual ~UptimeProvider() = default;
    virtual double uptime() const = 0;
};

} // namespace staywake
