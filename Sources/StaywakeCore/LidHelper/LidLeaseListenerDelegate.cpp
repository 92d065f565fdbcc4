#include "StaywakeCore/LidHelper/LidLeaseListenerDelegate.h"

#include <memory>
#include <utility>

namespace staywake {

LidLeaseListenerDelegate::LidLeaseListenerDelegate(std::optional<std::string> callerRequirement,
                                                   LidLeaseRequestFunction requests)
    : callerRequirement_(std::move(callerRequirement)), requests_(std::move(requests)) {}

bool LidLeaseListenerDelegate::shouldAcceptNewConnection(LidLeaseIncomingConnection& connection) {
    if (!callerRequirement_) {
        return false;
    }
    // The peer is judged before it is numbered, so a refused caller cannot
    // use up client numbers.
    bool meets = false;
    try {
        meets = connection.peerMeets(*callerRequirement_);
    } catch (...) {
        meets = false;
    }
    if (!meets) {
        return false;
    }
    LidLeaseClientNumber client = 0;
    {
        const std::lock_guard guard(lock_);
        client = ++lastClient_;
    }
    connection.resume(
        std::make_shared<const LidLeaseConnection>(client, requests_),
        [requests = requests_, client] { requests(client, LidLeaseRequest::disconnect(), [](auto) {}); });
    return true;
}

} // namespace staywake
