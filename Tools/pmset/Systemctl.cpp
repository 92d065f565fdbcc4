#include "pmset/Systemctl.h"

#include "pmset/PmsetToolError.h"
#include "ZorIdiDurirad/BoundedCommand.h"

#include <unistd.h>

#include <sstream>

namespace staywake {

namespace {

// Reading is quick; a mask or unmask makes systemd reload, which takes longer
// on a busy system. The helper bounds the whole tool run anyway.
constexpr double readLimit = 5;
constexpr double changeLimit = 20;

// A fixed path, never a PATH search: the tool runs as root.
std::string systemctlPath() {
    for (const char* candidate : {"/usr/bin/systemctl", "/bin/systemctl"}) {
        if (::access(candidate, X_OK) == 0) {
            return candidate;
        }
    }
    return "/usr/bin/systemctl";
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty()) {
            result.push_back(line);
        }
    }
    return result;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

} // namespace

Systemctl::Systemctl(PmsetRoot root) : root_(std::move(root)), executable_(systemctlPath()) {}

Systemctl::Outcome Systemctl::run(const std::vector<std::string>& arguments, double timeout) const {
    auto all = root_.systemctlOptions();
    all.insert(all.end(), arguments.begin(), arguments.end());
    try {
        const auto result = BoundedCommand::run(executable_, all, timeout);
        return Outcome{result.status, result.output};
    } catch (const std::exception& failure) {
        throw PmsetToolError(failure.what());
    }
}

void Systemctl::runOrThrow(const std::string& what, const std::vector<std::string>& arguments,
                           double timeout) const {
    const auto outcome = run(arguments, timeout);
    if (outcome.status != 0) {
        throw PmsetToolError("could not " + what + ": systemctl " + joined(arguments) + " exited " +
                             std::to_string(outcome.status));
    }
}

std::vector<std::string> Systemctl::unitFileStates(const std::vector<std::string>& units) const {
    // `is-enabled` exits 1 for a masked unit, so its status says nothing; its
    // output does, one line per unit. It stops at the first unit without a
    // file, though, so when lines are missing each unit is asked alone.
    std::vector<std::string> arguments = {"is-enabled"};
    arguments.insert(arguments.end(), units.begin(), units.end());
    auto states = lines(run(arguments, readLimit).output);
    if (states.size() == units.size()) {
        return states;
    }
    states.clear();
    for (const auto& unit : units) {
        states.push_back(unitFileState(unit));
    }
    return states;
}

std::string Systemctl::unitFileState(const std::string& unit) const {
    const auto outcome = run({"is-enabled", unit}, readLimit);
    const auto states = lines(outcome.output);
    if (!states.empty()) {
        return states.front();
    }
    // systemd before 254 prints nothing (and a complaint on standard error)
    // for a unit that has no file at all; nothing masks such a unit.
    if (outcome.status != 0) {
        return "not-found";
    }
    throw PmsetToolError("could not read the state of " + unit + ": systemctl is-enabled printed nothing");
}

void Systemctl::maskRuntime(const std::vector<std::string>& units) const {
    std::vector<std::string> arguments = {"--runtime", "mask"};
    arguments.insert(arguments.end(), units.begin(), units.end());
    runOrThrow("runtime-mask " + joined(units), arguments, changeLimit);
}

void Systemctl::unmaskRuntime(const std::vector<std::string>& units) const {
    std::vector<std::string> arguments = {"--runtime", "unmask"};
    arguments.insert(arguments.end(), units.begin(), units.end());
    runOrThrow("runtime-unmask " + joined(units), arguments, changeLimit);
}

void Systemctl::reloadLogind() const {
    if (root_.isOverridden()) {
        return;
    }
    const std::vector<std::string> arguments = {"kill", "--kill-whom=main", "--signal=SIGHUP",
                                                "systemd-logind.service"};
    if (run(arguments, readLimit).status == 0) {
        return;
    }
    // A logind that is not running has nothing to reload; it reads the drop-in when it starts.
    const auto activity = lines(run({"is-active", "systemd-logind.service"}, readLimit).output);
    if (!activity.empty() && (activity.front() == "active" || activity.front() == "reloading")) {
        throw PmsetToolError("could not reload logind: systemctl " + joined(arguments) + " failed");
    }
}

} // namespace staywake
