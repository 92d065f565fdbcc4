#include "LidHelperProcess.h"

#include "Support/MockBusLauncher.h"

#include "StaywakeLinux/Journal/PrivateRun.h"

#include <fcntl.h>
#include <openssl/sha.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string_view>
#include <tuple>
#include <sstream>
#include <stdexcept>

namespace staywake::testing {
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

constexpr const char* infoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>com.staywake.app</string>
	<key>CFBundleShortVersionString</key>
	<string>1.4</string>
	<key>CFBundleVersion</key>
	<string>57</string>
</dict>
</plist>
)";

/// Starts mock_buses.py; its pid, the pipe to its input (closing it ends the
/// buses) and the system bus address it printed.
std::tuple<pid_t, int, std::string> startBuses(Polkit polkit) {
    std::vector<std::string> arguments = {"--without=upower,portal"};
    const char* answers[] = {"allow", "deny", "hang"};
    if (polkit != Polkit::missing) {
        arguments.push_back(std::string("--polkit=") + answers[static_cast<int>(polkit)]);
    }
    const auto buses = launchMockBuses(STAYWAKE_MOCK_BUSES_SCRIPT, arguments, 60'000);
    if (buses.systemAddress.empty()) {
        ::close(buses.input);
        if (buses.pid > 0) {
            ::waitpid(buses.pid, nullptr, 0);
        }
        throw std::runtime_error("the mocked buses did not start: " + buses.line);
    }
    return {buses.pid, buses.input, buses.systemAddress};
}

} // namespace

LidHelperProcess::LidHelperProcess(const fs::path& directory, const fs::path& helperBinary, Polkit polkit)
    : run_(directory / "run"), helpers_(directory / "Staywake.app" / "Contents" / "Helpers"),
      helper_(helpers_ / "StaywakeLidHelper"), output_(directory / "helper-output") {
    fs::create_directories(helpers_);
    fs::create_directories(run_);
    fs::copy_file(helperBinary, helper_);
    fs::copy_file(STAYWAKE_FAKE_PMSET, helpers_ / "pmset");
    fs::permissions(helper_, fs::perms(0755));
    fs::permissions(helpers_ / "pmset", fs::perms(0755));
    writeFile(directory / "Staywake.app" / "Contents" / "Info.plist", infoPlist);
    setState(0);
    journal_ = std::make_unique<JournalCapture>(run_);
    std::tie(buses_, busesInput_, systemBus_) = startBuses(polkit);
}

LidHelperProcess::~LidHelperProcess() {
    if (pid_ > 0 && !exitStatus_) {
        ::kill(pid_, SIGKILL);
        waitForExit(std::chrono::seconds(20));
    }
    if (pidfd_ >= 0) {
        ::close(pidfd_);
    }
    ::close(busesInput_);
    ::waitpid(buses_, nullptr, 0);
}

std::size_t LidHelperProcess::openDescriptors() const {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/fd")) {
        ++count;
    }
    return count;
}

void LidHelperProcess::start() { launch({helper_.string()}); }

void LidHelperProcess::startSocketActivated() {
    // The unit's socket lives in /run/staywake, which systemd makes; here the
    // test does.
    fs::create_directories(run_ / "staywake");
    launch({"/usr/bin/systemd-socket-activate", "--seqpacket", "--listen=/run/staywake/lidhelper.sock",
            "--setenv=DBUS_SYSTEM_BUS_ADDRESS",
            helper_.string()});
}

void LidHelperProcess::startWithSocket(int listening) {
    // The shell's own pid is the helper's once it execs.
    launch({"/bin/sh", "-c", "LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\"", helper_.string()}, listening);
}

void LidHelperProcess::launch(const std::vector<std::string>& argv, int passedSocket) {
    // Everything the child needs is made before fork: after it, only system
    // calls.
    std::vector<std::string> arguments = argv;
    std::vector<char*> pointers;
    for (auto& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    const std::string run = run_.string();
    const std::string output = output_.string();
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (!std::string_view(*variable).starts_with("DBUS_SYSTEM_BUS_ADDRESS=")) {
            environment.emplace_back(*variable);
        }
    }
    environment.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + systemBus_);
    std::vector<char*> environmentPointers;
    for (auto& variable : environment) {
        environmentPointers.push_back(variable.data());
    }
    environmentPointers.push_back(nullptr);
    // A helper may be started again once the last one has exited, as its unit restarts it.
    if (pidfd_ >= 0) {
        ::close(pidfd_);
    }
    exitStatus_.reset();
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        const int outputFd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (outputFd < 0 || nullFd < 0 || ::dup2(nullFd, STDIN_FILENO) < 0 || ::dup2(outputFd, STDOUT_FILENO) < 0 ||
            ::dup2(outputFd, STDERR_FILENO) < 0 || enterPrivateRun(run.c_str()) != 0) {
            ::_exit(120);
        }
        // The first passed descriptor is 3; dup2 clears its close-on-exec.
        if (passedSocket >= 0 && ::dup2(passedSocket, 3) < 0) {
            ::_exit(122);
        }
        // The test's own signal mask and dispositions are not the service
        // manager's: start from the defaults.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(pointers[0], pointers.data(), environmentPointers.data());
        ::_exit(121);
    }
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
}

std::optional<int> LidHelperProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (exitStatus_) {
        return exitStatus_;
    }
    pollfd polled{pidfd_, POLLIN, 0};
    if (pidfd_ < 0 || ::poll(&polled, 1, static_cast<int>(timeout.count())) != 1) {
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return exitStatus_;
}

void LidHelperProcess::signal(int number) const { ::kill(pid_, number); }

void LidHelperProcess::setState(int value) const { writeFile(helpers_ / "pmset.state", std::to_string(value) + "\n"); }

int LidHelperProcess::state() const { return std::stoi(readFile(helpers_ / "pmset.state")); }

void LidHelperProcess::setMode(const std::string& command, const std::string& mode) const {
    writeFile(helpers_ / ("pmset." + command + "-mode"), mode + "\n");
}

std::vector<std::pair<double, std::string>> LidHelperProcess::calls() const {
    std::vector<std::pair<double, std::string>> result;
    std::istringstream lines(readFile(helpers_ / "pmset.calls"));
    std::string line;
    while (std::getline(lines, line)) {
        const auto blank = line.find(' ');
        result.emplace_back(std::stod(line.substr(0, blank)), line.substr(blank + 1));
    }
    return result;
}

std::vector<std::string> LidHelperProcess::callLines() const {
    std::vector<std::string> result;
    for (const auto& [time, line] : calls()) {
        result.push_back(line);
    }
    return result;
}

std::string LidHelperProcess::report() const {
    return "helper log:\n" + journal_->transcript() + "pmset calls:\n" + readFile(helpers_ / "pmset.calls") +
           "helper output:\n" + readFile(output_);
}

double wallClockNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

bool waitForFile(const fs::path& path, std::chrono::milliseconds timeout) {
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ::inotify_add_watch(watch, path.parent_path().c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool exists = fs::exists(path);
    while (!exists && std::chrono::steady_clock::now() < deadline) {
        pollfd polled{watch, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ::poll(&polled, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
        exists = fs::exists(path);
    }
    ::close(watch);
    return exists;
}

std::string codeDirectoryHashOf(const fs::path& file) {
    const std::string bytes = readFile(file);
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    std::string hex;
    char pair[3];
    for (int i = 0; i < 20; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

} // namespace staywake::testing
