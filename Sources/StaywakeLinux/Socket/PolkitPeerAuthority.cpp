#include "StaywakeLinux/Socket/PolkitPeerAuthority.h"

#include <systemd/sd-bus.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace staywake {
namespace {

std::string errorText(int negativeErrno) { return std::strerror(-negativeErrno); }

std::uint64_t monotonicMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000U + static_cast<std::uint64_t>(now.tv_nsec) / 1000U;
}

/// Builds CheckAuthorization(subject, action, no details, no interaction, no
/// cancellation) for a unix-process subject.
int appendRequest(sd_bus_message* call, const PeerCredentials& peer, std::uint64_t startTime,
                  const std::string& actionId) {
    int result = 0;
    const auto step = [&](int r) {
        if (result >= 0) {
            result = r;
        }
    };
    step(sd_bus_message_open_container(call, 'r', "sa{sv}"));
    step(sd_bus_message_append(call, "s", "unix-process"));
    step(sd_bus_message_open_container(call, 'a', "{sv}"));
    step(sd_bus_message_append(call, "{sv}", "pid", "u", static_cast<std::uint32_t>(peer.pid)));
    step(sd_bus_message_append(call, "{sv}", "start-time", "t", startTime));
    step(sd_bus_message_append(call, "{sv}", "uid", "i", static_cast<std::int32_t>(peer.uid)));
    step(sd_bus_message_close_container(call));
    step(sd_bus_message_close_container(call));
    step(sd_bus_message_append(call, "s", actionId.c_str()));
    step(sd_bus_message_append(call, "a{ss}", 0));
    step(sd_bus_message_append(call, "us", 0U, ""));
    return result;
}

} // namespace

PolkitPeerAuthority::PolkitPeerAuthority(std::string actionId, double timeoutSeconds)
    : actionId_(std::move(actionId)),
      timeoutMicroseconds_(static_cast<std::uint64_t>(std::max(0.001, timeoutSeconds) * 1e6)) {}

PolkitPeerAuthority::~PolkitPeerAuthority() {
    for (auto& [call, pending] : pending_) {
        sd_bus_slot_unref(pending->slot);
    }
    pending_.clear();
    if (bus_ != nullptr) {
        sd_bus_close_unref(bus_);
    }
}

void PolkitPeerAuthority::check(const PeerProcess& peer, Answer answer) {
    const auto startTime = peer.startTime();
    if (!startTime) {
        answer("the process ended before polkit could be asked");
        return;
    }
    if (bus_ == nullptr) {
        if (const int r = sd_bus_open_system(&bus_); r < 0) {
            bus_ = nullptr;
            answer("polkit cannot be asked, the system bus is out of reach: " + errorText(r));
            return;
        }
    }
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus_, &call, "org.freedesktop.PolicyKit1",
                                           "/org/freedesktop/PolicyKit1/Authority",
                                           "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
    if (r >= 0) {
        r = appendRequest(call, peer.credentials(), *startTime, actionId_);
    }
    auto pending = std::make_unique<Pending>();
    pending->authority = this;
    pending->call = ++lastCall_;
    pending->answer = std::move(answer);
    if (r >= 0) {
        r = sd_bus_call_async(bus_, &pending->slot, call, &PolkitPeerAuthority::replied, pending.get(),
                              timeoutMicroseconds_);
    }
    sd_bus_message_unref(call);
    if (r < 0) {
        auto refused = std::move(pending->answer);
        // A bus that cannot take a call is not used again; the next check opens another.
        disconnect();
        refused("polkit cannot be asked: " + errorText(r));
        return;
    }
    const auto id = pending->call;
    pending_.emplace(id, std::move(pending));
}

int PolkitPeerAuthority::replied(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<Pending*>(userdata);
    std::optional<std::string> refusal;
    if (sd_bus_message_is_method_error(reply, nullptr) != 0) {
        const sd_bus_error* error = sd_bus_message_get_error(reply);
        refusal = std::string("polkit did not answer: ") +
                  (error != nullptr && error->message != nullptr ? error->message : "an error without a message");
    } else {
        int authorized = 0;
        int challenge = 0;
        if (sd_bus_message_enter_container(reply, 'r', "bba{ss}") < 0 ||
            sd_bus_message_read(reply, "bb", &authorized, &challenge) < 0) {
            refusal = "polkit's answer could not be read";
        } else if (authorized == 0) {
            refusal = "not authorized by polkit";
        }
    }
    pending->authority->answer(pending->call, std::move(refusal));
    return 0;
}

void PolkitPeerAuthority::answer(std::uint64_t call, std::optional<std::string> refusal) {
    const auto found = pending_.find(call);
    if (found == pending_.end()) {
        return;
    }
    auto pending = std::move(found->second);
    pending_.erase(found);
    sd_bus_slot_unref(pending->slot);
    pending->answer(std::move(refusal));
}

pollfd PolkitPeerAuthority::pollDescriptor() const {
    if (bus_ == nullptr) {
        return {-1, 0, 0};
    }
    const int fd = sd_bus_get_fd(bus_);
    const int events = sd_bus_get_events(bus_);
    return {fd, static_cast<short>(events < 0 ? 0 : events), 0};
}

int PolkitPeerAuthority::timeoutMilliseconds() const {
    std::uint64_t due = 0;
    if (bus_ == nullptr || sd_bus_get_timeout(bus_, &due) < 0 ||
        due == std::numeric_limits<std::uint64_t>::max()) {
        return -1;
    }
    const std::uint64_t now = monotonicMicroseconds();
    return due <= now ? 0 : static_cast<int>(std::min<std::uint64_t>((due - now + 999) / 1000, 60'000));
}

void PolkitPeerAuthority::process() {
    if (bus_ == nullptr) {
        return;
    }
    int r = 0;
    while ((r = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (r < 0) {
        disconnect();
    }
}

void PolkitPeerAuthority::disconnect() {
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& [call, waiting] : pending) {
        sd_bus_slot_unref(waiting->slot);
    }
    if (bus_ != nullptr) {
        sd_bus_close_unref(bus_);
        bus_ = nullptr;
    }
    for (auto& [call, waiting] : pending) {
        waiting->answer("polkit cannot be asked: the system bus connection ended");
    }
}

} // namespace staywake
