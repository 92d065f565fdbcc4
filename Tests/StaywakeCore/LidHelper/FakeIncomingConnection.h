#pragma once

#include "StaywakeCore/LidHelper/LidLeaseIncomingConnection.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace staywake::testing {

/// A connection whose peer passes or fails the check as told, and that keeps
/// what it was resumed with.
class FakeIncomingConnection final : public LidLeaseIncomingConnection {
public:
    enum class Peer { meets, fails, checkThrows };
    explicit FakeIncomingConnection(Peer peerKind = Peer::meets) : peer(peerKind) {}

    bool peerMeets(const std::string& text) override {
        checked.push_back(text);
        if (peer == Peer::checkThrows) {
            throw std::runtime_error("the peer's executable could not be read");
        }
        return peer == Peer::meets;
    }
    void resume(std::shared_ptr<const LidLeaseConnection> object, std::function<void()> handler) override {
        ++resumeCount;
        exported = std::move(object);
        invalidated = std::move(handler);
    }

    Peer peer;
    std::vector<std::string> checked;
    int resumeCount = 0;
    std::shared_ptr<const LidLeaseConnection> exported;
    std::function<void()> invalidated;
};

} // namespace staywake::testing
