#include "pmset/PmsetRequest.h"

#include "pmset/LockHolderProcess.h"

namespace staywake {

std::optional<PmsetRequest> PmsetRequest::parse(std::span<const std::string_view> arguments) {
    if (arguments.size() == 1 && arguments[0] == "-g") {
        return PmsetRequest{Kind::read, false};
    }
    if (arguments.size() == 1 && arguments[0] == LockHolderProcess::holdArgument) {
        return PmsetRequest{Kind::hold, false};
    }
    if (arguments.size() == 3 && arguments[0] == "-a" && arguments[1] == "disablesleep" &&
        (arguments[2] == "1" || arguments[2] == "0")) {
        return PmsetRequest{Kind::write, arguments[2] == "1"};
    }
    return std::nullopt;
}

} // namespace staywake
