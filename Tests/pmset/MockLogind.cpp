#include "MockLogind.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace staywake::testing {

namespace {

constexpr int missingToolStatus = 77;

// A connection to the mock bus for calls to the mock's control interface.
struct MockCall {
    sd_bus* bus = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;

    explicit MockCall(const std::string& address) {
        int result = sd_bus_new(&bus);
        if (result >= 0 && (result = sd_bus_set_address(bus, address.c_str())) >= 0 &&
            (result = sd_bus_set_bus_client(bus, 1)) >= 0) {
            result = sd_bus_start(bus);
        }
        check(result, "connection");
    }
    MockCall(const MockCall&) = delete;
    MockCall& operator=(const MockCall&) = delete;
    ~MockCall() {
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        sd_bus_flush_close_unref(bus);
    }

    void check(int result, const std::string& what) const {
        if (result < 0) {
            throw std::runtime_error("the mock's " + what + " failed: " +
                                     (error.message != nullptr ? error.message : std::to_string(result)));
        }
    }
};

constexpr const char* logindService = "org.freedesktop.login1";
constexpr const char* logindObject = "/org/freedesktop/login1";
constexpr const char* mockInterface = "org.freedesktop.DBus.Mock";

} // namespace

MockLogind::MockLogind(bool withLogind) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::string python = "/usr/bin/python3"; // Debian's: a python3 earlier on PATH may lack dbusmock
    std::string script = STAYWAKE_MOCK_BUSES_SCRIPT;
    std::string without = withLogind ? "--without=upower,portal" : "--without=logind,upower,portal";
    char* argv[] = {python.data(), script.data(), without.data(), nullptr};
    const int spawned = ::posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    if (spawned != 0) {
        pid_ = -1;
        ::close(fromChild[0]);
        failure_ = "could not start /usr/bin/python3";
        missingTool_ = true;
        return;
    }
    // The launcher prints {"system": ADDRESS, "session": ADDRESS} once logind answers.
    std::string line;
    char byte = 0;
    pollfd readable{fromChild[0], POLLIN, 0};
    while (::poll(&readable, 1, 90'000) == 1 && ::read(fromChild[0], &byte, 1) == 1 && byte != '\n') {
        line += byte;
    }
    ::close(fromChild[0]);
    const std::string key = "\"system\": \"";
    const auto start = line.find(key);
    const auto end = start == std::string::npos ? start : line.find('"', start + key.size());
    if (end == std::string::npos) {
        stop();
        failure_ = "the mock bus did not start (its reason is on standard error above)";
        return;
    }
    systemAddress_ = line.substr(start + key.size(), end - start - key.size());
}

MockLogind::~MockLogind() { stop(); }

void MockLogind::stop() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
    if (pid_ > 0) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        missingTool_ = missingTool_ || (WIFEXITED(status) && WEXITSTATUS(status) == missingToolStatus);
        pid_ = -1;
    }
}

void MockLogind::setInhibitDelay(double seconds) const {
    MockCall call(systemAddress_);
    call.check(sd_bus_call_method(call.bus, logindService, logindObject, mockInterface, "SetInhibitDelay",
                                  &call.error, &call.reply, "d", seconds),
               "SetInhibitDelay");
}

std::size_t MockLogind::inhibitCalls() const {
    MockCall call(systemAddress_);
    call.check(sd_bus_call_method(call.bus, logindService, logindObject, mockInterface, "GetMethodCalls",
                                  &call.error, &call.reply, "s", "Inhibit"),
               "GetMethodCalls");
    std::size_t count = 0;
    int result = sd_bus_message_enter_container(call.reply, 'a', "(tav)");
    while (result > 0 && (result = sd_bus_message_skip(call.reply, "(tav)")) > 0) {
        ++count;
    }
    call.check(result, "GetMethodCalls reply");
    return count;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        ::poll(nullptr, 0, 10);
    }
    return true;
}

bool endsWithin(int pidfd, std::chrono::milliseconds timeout) {
    pollfd ended{pidfd, POLLIN, 0};
    return ::poll(&ended, 1, static_cast<int>(timeout.count())) == 1;
}

} // namespace staywake::testing
