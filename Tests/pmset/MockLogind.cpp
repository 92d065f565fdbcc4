#include "MockLogind.h"

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
