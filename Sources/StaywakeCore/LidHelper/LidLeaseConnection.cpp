#include "StaywakeCore/LidHelper/LidLeaseConnection.h"

#include <utility>

namespace staywake {

LidLeaseConnection::LidLeaseConnection(LidLeaseClientNumber client, LidLeaseRequestFunction requests)
    : client_(client), requests_(std::move(requests)) {}

void LidLeaseConnection::renewLease(double until, std::function<void(std::optional<std::string>)> reply) const {
    requests_(client_, LidLeaseRequest::renew(until), std::move(reply));
}

void LidLeaseConnection::revokeLease(std::function<void()> reply) const {
    // A revocation's answer carries nothing over the wire, even a failure to
    // put the setting back: the app never sends it, and a later renewal or
    // the helper's own log tells the rest.
    requests_(client_, LidLeaseRequest::revoke(), [reply = std::move(reply)](std::optional<std::string>) {
        if (reply) {
            reply();
        }
    });
}

} // namespace staywake
