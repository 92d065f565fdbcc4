#pragma once

#include <stdexcept>

namespace staywake {

/// A step of the pmset tool that did not work, in words for its standard error:
/// "could not list logind's inhibitor locks: The name org.freedesktop.login1
/// was not provided by any .service files".
class PmsetToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace staywake
