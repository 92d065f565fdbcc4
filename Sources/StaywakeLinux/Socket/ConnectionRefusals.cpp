#include "StaywakeLinux/Socket/ConnectionRefusals.h"

namespace staywake {

std::vector<std::string> ConnectionRefusals::refuse(uid_t uid, const std::string& reason, double now) {
    std::vector<std::string> lines;
    const auto found = windows_.find(uid);
    if (found != windows_.end() && now - found->second.start < interval_) {
        ++found->second.unlogged;
        found->second.lastReason = reason;
        return lines;
    }
    if (found != windows_.end() && found->second.unlogged > 0) {
        lines.push_back(summary(uid, found->second));
    }
    windows_[uid] = Window{now, 0, reason};
    lines.push_back("refused a connection from uid " + std::to_string(uid) + ": " + reason);
    return lines;
}

std::vector<std::string> ConnectionRefusals::flush(double now) {
    std::vector<std::string> lines;
    for (auto window = windows_.begin(); window != windows_.end();) {
        if (now - window->second.start < interval_) {
            ++window;
            continue;
        }
        if (window->second.unlogged > 0) {
            lines.push_back(summary(window->first, window->second));
        }
        window = windows_.erase(window);
    }
    return lines;
}

std::optional<double> ConnectionRefusals::nextFlush() const {
    std::optional<double> next;
    for (const auto& [uid, window] : windows_) {
        const double due = window.start + interval_;
        if (!next || due < *next) {
            next = due;
        }
    }
    return next;
}

std::string ConnectionRefusals::summary(uid_t uid, const Window& window) {
    return "refused " + std::to_string(window.unlogged) + " more connection" + (window.unlogged == 1 ? "" : "s") +
           " from uid " + std::to_string(uid) + " in the last minute; the last: " + window.lastReason;
}

} // namespace staywake
