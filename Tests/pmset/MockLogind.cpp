#include "MockLogind.h"

#include "Support/MockBusLauncher.h"

#include "StaywakeLinux/Journal/PrivateRun.h"
#include "ZorIdiDurirad/BoundedCommand.h"
#include "pmset/LogindBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace staywake::testing {

namespace {

constexpr int missingToolStatus = 77;

// A call to the mock's control interface, through busctl.
std::string controlMock(const std::string& address, const std::vector<std::string>& call) {
    std::vector<std::string> arguments = {"--address=" + address, "call", "org.freedesktop.login1",
                                          "/org/freedesktop/login1", "org.freedesktop.DBus.Mock"};
    arguments.insert(arguments.end(), call.begin(), call.end());
    const auto result = BoundedCommand::run("/usr/bin/busctl", arguments, 20);
    if (result.status != 0) {
        throw std::runtime_error("busctl could not call the mock's " + call.front());
    }
    return result.output;
}

} // namespace

MockLogind::MockLogind(bool withLogind) {
    const auto buses = launchMockBuses(STAYWAKE_MOCK_BUSES_SCRIPT,
                                       {withLogind ? "--without=upower,portal" : "--without=logind,upower,portal"},
                                       90'000);
    pid_ = buses.pid;
    input_ = buses.input;
    if (pid_ < 0) {
        failure_ = "could not start /usr/bin/python3";
        missingTool_ = true;
        return;
    }
    if (buses.systemAddress.empty()) {
        stop();
        failure_ = "the mock bus did not start (its reason is on standard error above)";
        return;
    }
    systemAddress_ = buses.systemAddress;
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
    controlMock(systemAddress_, {"SetInhibitDelay", "d", std::to_string(seconds)});
}

std::size_t MockLogind::inhibitCalls() const {
    // "a(tav) 2 ...": the number of calls follows the signature.
    const auto reply = controlMock(systemAddress_, {"GetMethodCalls", "s", "Inhibit"});
    return std::stoul(reply.substr(reply.find(' ') + 1));
}

std::optional<std::string> privateRunIsOutOfReach() {
    if (::geteuid() != 0) {
        return "pmset keeps its holder's record in a root-owned /run/staywake, so these tests run as root";
    }
    std::string why;
    return canEnterPrivateRun(why) ? std::nullopt : std::optional<std::string>(why);
}

std::size_t nightBrewLocks() {
    const auto locks = LogindBus().inhibitors();
    return static_cast<std::size_t>(std::ranges::count_if(locks, [](const InhibitorLock& lock) {
        return lock.who == NightBrewLock::who && lock.what == NightBrewLock::what;
    }));
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
