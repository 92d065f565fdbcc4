#pragma once

#include <ctime>
#include <string>
#include <variant>
#include <vector>

namespace staywake {

/// What a staywakectl command line asks for. The whole line is read before
/// the bus is touched: a wrong one changes nothing, whether or not Staywake
/// can be reached.
struct ControlCommand {
    enum class Kind {
        help,
        status,
        statusJson,
        inhibitors,
        turnOn,
        turnOnUntil,
        turnOff,
        nightBrewOn,
        nightBrewOff,
        run
    };

    Kind kind = Kind::help;
    /// turnOn: the length in seconds, 0 for no limit.
    double seconds = 0;
    /// turnOnUntil: seconds since 1970.
    long long until = 0;
    /// run: the reason shown for the hold, and the command with its arguments.
    std::string why;
    std::vector<std::string> command;

    /// The request, or the one sentence that says what is wrong with the line.
    using Read = std::variant<ControlCommand, std::string>;

    /// The request in `words`, the arguments after the program's name. `now`
    /// is the time an --until is counted from.
    static Read read(const std::vector<std::string>& words, std::time_t now);
};

} // namespace staywake
