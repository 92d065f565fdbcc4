#include "pmset/LogindBus.h"

#include "pmset/PmsetToolError.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

namespace staywake {

namespace {

constexpr const char* service = "org.freedesktop.login1";
constexpr const char* object = "/org/freedesktop/login1";
constexpr const char* manager = "org.freedesktop.login1.Manager";

// Owns what one method call leaves behind.
struct Call {
    // All zero, as SD_BUS_ERROR_NULL (a C compound literal C++ does not have).
    sd_bus_error error{};
    sd_bus_message* reply = nullptr;

    Call() = default;
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    ~Call() {
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }

    [[noreturn]] void fail(const std::string& attempted, int result) const {
        const char* words =
            sd_bus_error_is_set(&error) != 0 && error.message != nullptr ? error.message : std::strerror(-result);
        throw PmsetToolError("could not " + attempted + ": " + words);
    }
};

} // namespace

LogindBus::LogindBus() {
    if (const int result = sd_bus_open_system(&bus_); result < 0) {
        throw PmsetToolError(std::string("could not connect to the system bus: ") + std::strerror(-result));
    }
    sd_bus_set_method_call_timeout(bus_, static_cast<uint64_t>(callLimit * 1e6));
}

LogindBus::~LogindBus() { sd_bus_flush_close_unref(bus_); }

std::vector<InhibitorLock> LogindBus::inhibitors() const {
    const std::string attempted = "list logind's inhibitor locks";
    Call call;
    if (const int result =
            sd_bus_call_method(bus_, service, object, manager, "ListInhibitors", &call.error, &call.reply, "");
        result < 0) {
        call.fail(attempted, result);
    }
    int result = sd_bus_message_enter_container(call.reply, 'a', "(ssssuu)");
    std::vector<InhibitorLock> locks;
    while (result >= 0) {
        const char* what = nullptr;
        const char* who = nullptr;
        const char* why = nullptr;
        const char* mode = nullptr;
        uint32_t uid = 0;
        uint32_t pid = 0;
        result = sd_bus_message_read(call.reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid);
        if (result <= 0) {
            break;
        }
        locks.push_back(InhibitorLock{what, who, why, mode, uid, static_cast<pid_t>(pid)});
    }
    if (result < 0 || (result = sd_bus_message_exit_container(call.reply)) < 0) {
        call.fail(attempted, result);
    }
    return locks;
}

UniqueFd LogindBus::inhibit(const std::string& what, const std::string& who, const std::string& why,
                            const std::string& mode) const {
    const std::string attempted = "take logind's " + what + " lock";
    Call call;
    int result = sd_bus_call_method(bus_, service, object, manager, "Inhibit", &call.error, &call.reply, "ssss",
                                    what.c_str(), who.c_str(), why.c_str(), mode.c_str());
    int descriptor = -1;
    if (result < 0 || (result = sd_bus_message_read(call.reply, "h", &descriptor)) < 0) {
        call.fail(attempted, result);
    }
    // The message owns its descriptor and closes it with the message.
    UniqueFd lock(::fcntl(descriptor, F_DUPFD_CLOEXEC, 3));
    if (!lock) {
        call.fail(attempted, -errno);
    }
    return lock;
}

} // namespace staywake
