#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace staywake {

/// Counts refused connections per uid and words them for the log, at most
/// one line a minute per uid, so that a flood of connections cannot flood
/// the log too: the first refusal of a minute is logged at once with its
/// reason; the ones after it in that minute are counted and logged as one
/// line when the minute is over.
class ConnectionRefusals {
public:
    explicit ConnectionRefusals(double intervalSeconds = 60.0) : interval_(intervalSeconds) {}

    /// Records one refusal at `now` (seconds on a monotonic clock); returns
    /// the lines to log now.
    std::vector<std::string> refuse(uid_t uid, const std::string& reason, double now);
    /// The lines of every minute that is over at `now`, and forgets those uids.
    std::vector<std::string> flush(double now);
    /// When `flush` next has something to say.
    std::optional<double> nextFlush() const;

private:
    struct Window {
        double start = 0;
        std::uint64_t unlogged = 0;
        std::string lastReason;
    };

    static std::string summary(uid_t uid, const Window& window);

    double interval_;
    std::map<uid_t, Window> windows_;
};

} // namespace staywake
