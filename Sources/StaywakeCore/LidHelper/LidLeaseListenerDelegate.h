#pragma once

#include "StaywakeCore/LidHelper/LidLeaseIncomingConnection.h"
#include "StaywakeCore/LidHelper/LidLeaseRequest.h"

#include <mutex>
#include <optional>
#include <string>

namespace staywake {

/// Admits the connections whose peer meets the caller requirement, numbers
/// them, and turns each one's messages and its end into requests. Without a
/// requirement (a build with no Team ID) no caller can be checked, so every
/// connection is refused.
class LidLeaseListenerDelegate {
public:
    LidLeaseListenerDelegate(std::optional<std::string> callerRequirement, LidLeaseRequestFunction requests);

    LidLeaseListenerDelegate(const LidLeaseListenerDelegate&) = delete;
    LidLeaseListenerDelegate& operator=(const LidLeaseListenerDelegate&) = delete;

    /// Whether to accept `connection`; an accepted one has been resumed with
    /// the next client number. A refused peer uses up no number. Callable
    /// from any thread.
    bool shouldAcceptNewConnection(LidLeaseIncomingConnection& connection);

    const std::optional<std::string>& callerRequirement() const { return callerRequirement_; }

private:
    std::optional<std::string> callerRequirement_;
    LidLeaseRequestFunction requests_;
    std::mutex lock_;
    LidLeaseClientNumber lastClient_ = 0;
};

} // namespace staywake
