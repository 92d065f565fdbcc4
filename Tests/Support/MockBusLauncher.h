#pragma once

// The one launcher of mocked D-Bus services (python-dbusmock's logind, polkit,
// UPower, portal) for tests that do without Qt.

#include "Support/ChildProcess.h"
#include "Support/Files.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace staywake::testing {

/// Tests/Staywake/System/mock_buses.py run through Debian's python3 (one
/// earlier on PATH may lack dbusmock) with `arguments` (such as
/// "--without=upower,portal" or "--polkit=deny"), until the object goes or
/// stop() is called: closing its input ends the buses.
class LaunchedMockBuses {
public:
    LaunchedMockBuses(const std::string& script, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeout = std::chrono::seconds(90)) {
        if (::access("/usr/bin/python3", X_OK) != 0) {
            failure_ = "/usr/bin/python3 is missing";
            missingTool_ = true;
            return;
        }
        std::vector<std::string> argv = {"/usr/bin/python3", script};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        process_ = std::make_unique<ChildProcess>(argv);
        // It prints {"system": ADDRESS, "session": ADDRESS} once its services answer.
        const std::string line = process_->readLine(timeout);
        const auto addressIn = [&](const std::string& bus) {
            const std::string key = "\"" + bus + "\": \"";
            const auto start = line.find(key);
            const auto end = start == std::string::npos ? start : line.find('"', start + key.size());
            return end == std::string::npos ? std::string()
                                            : line.substr(start + key.size(), end - start - key.size());
        };
        systemAddress_ = addressIn("system");
        sessionAddress_ = addressIn("session");
        if (systemAddress_.empty()) {
            stop();
            failure_ = "the mocked buses did not start (the reason is on standard error above): " + line;
        }
    }

    /// Ends them as stop() does: killed instead, the launcher would leave its buses behind.
    ~LaunchedMockBuses() { stop(); }
    LaunchedMockBuses(const LaunchedMockBuses&) = delete;
    LaunchedMockBuses& operator=(const LaunchedMockBuses&) = delete;

    /// Empty when the buses run; otherwise why not.
    const std::string& failure() const { return failure_; }
    /// The buses could not start because python3 or dbusmock is missing (not a fault).
    bool isMissingATool() const { return missingTool_; }
    const std::string& systemAddress() const { return systemAddress_; }
    const std::string& sessionAddress() const { return sessionAddress_; }

    /// A call to a mock's control interface (org.freedesktop.DBus.Mock) on the
    /// system bus, through busctl; its reply as busctl prints it.
    std::string control(const std::string& service, const std::string& object,
                        const std::vector<std::string>& call) const {
        std::string command = "/usr/bin/busctl --address=" + systemAddress_ + " call " + service + " " + object +
                              " org.freedesktop.DBus.Mock";
        for (const auto& word : call) {
            command += " '" + word + "'";
        }
        if (auto reply = commandOutput(command)) {
            return *reply;
        }
        throw std::runtime_error("busctl could not call the mock's " + call.front());
    }

    /// Ends the buses and every mock with them (which closes a logind lock's pipe).
    void stop() {
        if (process_) {
            process_->closeInput();
            missingTool_ = missingTool_ || process_->waitForExit(std::chrono::seconds(60)) == 77;
            process_.reset();
        }
    }

private:
    std::unique_ptr<ChildProcess> process_;
    std::string failure_;
    bool missingTool_ = false;
    std::string systemAddress_;
    std::string sessionAddress_;
};

} // namespace staywake::testing
