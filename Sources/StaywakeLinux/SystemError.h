#pragma once

#include <stdexcept>
#include <string>

namespace staywake {

/// A failed system call, saying what was attempted, on what, and the errno text:
/// "could not open /run/staywake/lidhelper.sock: Permission denied".
class SystemError : public std::runtime_error {
public:
    SystemError(const std::string& attempted, const std::string& on, int errorNumber);
    SystemError(const std::string& attempted, int errorNumber);

    int errorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

} // namespace staywake
