#pragma once

#include <stdexcept>

namespace staywake {

/// A step of the pmset tool that did not work, in words for its standard error:
/// "could not runtime-mask sleep.target suspend.target: systemctl exited 1".
class PmsetToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace staywake
