#include "StaywakeCore/LidHelper/LidLeaseRequest.h"

namespace staywake {

std::ostream& operator<<(std::ostream& out, const LidLeaseRequest& request) {
    switch (request.kind()) {
    case LidLeaseRequest::Kind::renew:
        return out << "renew(until: " << request.until() << ")";
    case LidLeaseRequest::Kind::revoke:
        return out << "revoke";
    case LidLeaseRequest::Kind::disconnect:
        return out << "disconnect";
    }
    return out << "unknown request";
}

} // namespace staywake
