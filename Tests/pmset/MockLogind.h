#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace staywake::testing {

/// A private system bus with python-dbusmock's logind on it, started through
/// the shared launcher (Tests/Staywake/System/mock_buses.py) for one test and
/// torn down with the object. Its Inhibit hands out a real pipe, lists the
/// caller's own uid and pid, and can be told to answer late.
class MockLogind {
public:
    /// `withLogind` false: the bus runs, but nothing owns logind's name.
    explicit MockLogind(bool withLogind = true);
    ~MockLogind();
    MockLogind(const MockLogind&) = delete;
    MockLogind& operator=(const MockLogind&) = delete;

    /// Empty when the bus runs; otherwise why not.
    const std::string& failure() const { return failure_; }
    /// The bus could not start because a tool is missing (not a fault).
    bool isMissingATool() const { return missingTool_; }
    const std::string& systemAddress() const { return systemAddress_; }

    /// Holds back every later Inhibit answer for this long.
    void setInhibitDelay(double seconds) const;
    /// How many Inhibit calls the mock has received.
    std::size_t inhibitCalls() const;

    /// Ends the bus and logind with it, which closes every lock's pipe.
    void stop();

private:
    pid_t pid_ = -1;
    int input_ = -1;
    std::string failure_;
    bool missingTool_ = false;
    std::string systemAddress_;
};

/// Whether this build runs under AddressSanitizer, which makes every process
/// start take several times longer than the helper's time limits allow for.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool isSanitized = true;
#else
inline constexpr bool isSanitized = false;
#endif

/// Nothing when this process runs as root and may make a private /run, as
/// tests of pmset and of the helper with it need; otherwise why not, for a
/// one-line skip.
std::optional<std::string> privateRunIsOutOfReach();

/// How many locks logind lists as Night Brew's, whoever holds them.
std::size_t nightBrewLocks();

/// Whether `condition` holds within `timeout`, asked every 10 ms: for what
/// only shows by asking again, such as logind's listing.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20));

/// Whether the process behind `pidfd` ends within `timeout`.
bool endsWithin(int pidfd, std::chrono::milliseconds timeout = std::chrono::seconds(20));

} // namespace staywake::testing
