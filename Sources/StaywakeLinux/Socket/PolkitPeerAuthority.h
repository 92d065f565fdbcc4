#pragma once

#include "StaywakeLinux/Socket/PeerAuthority.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace staywake {

/// polkit as the lid helper's gate: CheckAuthorization of one action for the
/// peer as a unix-process subject (pid, start time and uid), on the system
/// bus through sd-bus, without ever asking the user. The call does not block:
/// its answer comes through `process`. No answer within the time limit, an
/// error, a system bus that cannot be reached or polkit missing from it all
/// count as a refusal; nothing counts as allowed but polkit's "authorized".
class PolkitPeerAuthority final : public PeerAuthority {
public:
    PolkitPeerAuthority(std::string actionId, double timeoutSeconds);
    ~PolkitPeerAuthority() override;
    PolkitPeerAuthority(const PolkitPeerAuthority&) = delete;
    PolkitPeerAuthority& operator=(const PolkitPeerAuthority&) = delete;

    void check(const PeerProcess& peer, Answer answer) override;
    pollfd pollDescriptor() const override;
    int timeoutMilliseconds() const override;
    void process() override;

private:
    struct Pending {
        PolkitPeerAuthority* authority = nullptr;
        std::uint64_t call = 0;
        sd_bus_slot* slot = nullptr;
        Answer answer;
    };

    static int replied(sd_bus_message* reply, void* userdata, sd_bus_error* error);
    void answer(std::uint64_t call, std::optional<std::string> refusal);
    void disconnect();

    std::string actionId_;
    std::uint64_t timeoutMicroseconds_;
    sd_bus* bus_ = nullptr;
    std::uint64_t lastCall_ = 0;
    std::map<std::uint64_t, std::unique_ptr<Pending>> pending_;
};

} // namespace staywake
