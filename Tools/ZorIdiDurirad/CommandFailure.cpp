#include "ZorIdiDurirad/CommandFailure.h"

#include <array>
#include <charconv>

namespace staywake {

namespace {

// The limit as printf's "%.3g" writes it in the C locale (2.5, 10, 1.23e+03),
// whatever locale the process runs in.
std::string threeSignificantDigits(double seconds) {
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), seconds, std::chars_format::general, 3);
    return std::string(buffer.data(), result.ptr);
}

} // namespace

CommandFailure::CommandFailure(Kind kind, const std::string& command, double seconds,
                               const std::string& description)
    : std::runtime_error(description), kind_(kind), command_(command), seconds_(seconds) {}

CommandFailure CommandFailure::timedOut(const std::string& command, double seconds) {
    return CommandFailure(Kind::timedOut, command, seconds,
                          command + " did not finish within " + threeSignificantDigits(seconds) +
                              " s and was stopped");
}

CommandFailure CommandFailure::interrupted(const std::string& command) {
    return CommandFailure(Kind::interrupted, command, 0, command + " was stopped before it finished");
}

CommandLaunchError::CommandLaunchError(const std::string& path, int errorNumber)
    : std::system_error(errorNumber, std::generic_category(), "could not launch " + path), path_(path) {}

} // namespace staywake
