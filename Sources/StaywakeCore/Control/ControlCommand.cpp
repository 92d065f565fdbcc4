#include "StaywakeCore/Control/ControlCommand.h"

#include "StaywakeCore/Control/ControlInput.h"

#include <optional>

namespace staywake {

namespace {

using Words = std::vector<std::string>;
using Kind = ControlCommand::Kind;

ControlCommand of(Kind kind) {
    ControlCommand read;
    read.kind = kind;
    return read;
}

/// Seconds since 1970 of the next time the local clock shows `text`.
std::optional<long long> nextClockTime(const std::string& text, std::time_t now) {
    const auto target = ControlInput::clockTime(text);
    if (!target) {
        return std::nullopt;
    }
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_mday += ControlInput::daysUntil(*target, local.tm_hour, local.tm_min, local.tm_sec);
    local.tm_hour = target->hour;
    local.tm_min = target->minute;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    const std::time_t then = std::mktime(&local);
    if (then == -1 || !ControlInput::isSessionLength(double(then - now))) {
        return std::nullopt;
    }
    return static_cast<long long>(then);
}

ControlCommand::Read on(const Words& options, std::time_t now) {
    if (options.empty()) {
        return of(Kind::turnOn);
    }
    if (options.size() == 2 && options[0] == "--for") {
        if (const auto seconds = ControlInput::duration(options[1])) {
            auto read = of(Kind::turnOn);
            read.seconds = *seconds;
            return read;
        }
        return "\"" + options[1] + "\" is not a length above 0 and up to 720h, such as 1h30m, 45m or 90s";
    }
    if (options.size() == 2 && options[0] == "--until") {
        if (const auto until = nextClockTime(options[1], now)) {
            auto read = of(Kind::turnOnUntil);
            read.until = *until;
            return read;
        }
        return "\"" + options[1] + "\" is not a time of day such as 17:30";
    }
    return "on takes either --for LENGTH or --until HH:MM";
}

ControlCommand::Read run(Words options) {
    auto read = of(Kind::run);
    if (options.size() >= 2 && options[0] == "--why") {
        read.why = options[1];
        options.erase(options.begin(), options.begin() + 2);
    }
    if (options.size() < 2 || options[0] != "--") {
        return "run needs -- and the command to run";
    }
    read.command.assign(options.begin() + 1, options.end());
    if (read.why.empty()) {
        for (const auto& word : read.command) {
            read.why += (read.why.empty() ? "" : " ") + word;
        }
    }
    return read;
}

} // namespace

ControlCommand::Read ControlCommand::read(const Words& words, std::time_t now) {
    if (words.empty()) {
        return "no command given";
    }
    const std::string& name = words.front();
    const Words options(words.begin() + 1, words.end());
    if (name == "--help" || name == "-h" || name == "help") {
        return of(Kind::help);
    }
    if (name == "inhibitors") {
        if (!options.empty()) {
            return "inhibitors takes no options";
        }
        return of(Kind::inhibitors);
    }
    if (name == "status") {
        if (options.empty()) {
            return of(Kind::status);
        }
        if (options != Words{"--json"}) {
            return "status takes only --json";
        }
        return of(Kind::statusJson);
    }
    if (name == "on") {
        return on(options, now);
    }
    if (name == "off") {
        if (!options.empty()) {
            return "off takes no options";
        }
        return of(Kind::turnOff);
    }
    if (name == "nightbrew") {
        if (options != Words{"on"} && options != Words{"off"}) {
            return "nightbrew takes on or off";
        }
        return of(options.front() == "on" ? Kind::nightBrewOn : Kind::nightBrewOff);
    }
    if (name == "run") {
        return run(options);
    }
    return "unknown command \"" + name + "\"";
}

} // namespace staywake
