#include "Staywake/System/DrmDisplayList.h"

#include "StaywakeCore/Machine/MachineConditions.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <string_view>

namespace staywake {

namespace fs = std::filesystem;

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// "card1-DP-10" after "card1-DP-9", "card10-..." after "card9-...".
bool naturallyBefore(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const auto endA =
                std::find_if_not(a.begin() + static_cast<std::ptrdiff_t>(i), a.end(), isDigit) - a.begin();
            const auto endB =
                std::find_if_not(b.begin() + static_cast<std::ptrdiff_t>(j), b.end(), isDigit) - b.begin();
            auto numberA = a.substr(i, static_cast<std::size_t>(endA) - i);
            auto numberB = b.substr(j, static_cast<std::size_t>(endB) - j);
            numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
            numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
            if (numberA.size() != numberB.size()) {
                return numberA.size() < numberB.size();
            }
            if (numberA != numberB) {
                return numberA < numberB;
            }
            i = static_cast<std::size_t>(endA);
            j = static_cast<std::size_t>(endB);
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// "card0-eDP-1" -> "eDP", "card0-HDMI-A-1" -> "HDMI-A".
std::optional<std::string_view> connectorType(std::string_view name) {
    if (!name.starts_with("card")) {
        return std::nullopt;
    }
    std::size_t position = 4;
    while (position < name.size() && isDigit(name[position])) {
        ++position;
    }
    if (position == 4 || position >= name.size() || name[position] != '-') {
        return std::nullopt;
    }
    std::string_view connector = name.substr(position + 1);
    const auto lastDash = connector.rfind('-');
    if (lastDash != std::string_view::npos && lastDash + 1 < connector.size() &&
        std::all_of(connector.begin() + static_cast<std::ptrdiff_t>(lastDash) + 1, connector.end(), isDigit)) {
        connector = connector.substr(0, lastDash);
    }
    if (connector.empty()) {
        return std::nullopt;
    }
    return connector;
}

bool isBuiltInType(std::string_view type) { return type == "eDP" || type == "LVDS" || type == "DSI"; }

} // namespace

std::optional<std::vector<bool>> DrmDisplayList::onlineDisplaysBuiltIn(const fs::path& sysfsRoot) {
    const fs::path folder = sysfsRoot / "class" / "drm";
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, bool>> connected;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) {
            return std::nullopt;
        }
        const std::string name = entries->path().filename().string();
        const auto type = connectorType(name);
        if (!type) {
            continue;
        }
        std::ifstream statusFile(entries->path() / "status");
        std::string status;
        if (!statusFile || !std::getline(statusFile, status)) {
            return std::nullopt;
        }
        if (status == "connected") {
            connected.emplace_back(name, isBuiltInType(*type));
        }
    }
    if (error) {
        return std::nullopt;
    }
    std::sort(connected.begin(), connected.end(),
              [](const auto& a, const auto& b) { return naturallyBefore(a.first, b.first); });
    std::vector<bool> builtIn;
    for (std::size_t i = 0; i < connected.size() && i < maximumConsideredDisplays; ++i) {
        builtIn.push_back(connected[i].second);
    }
    return builtIn;
}

} // namespace staywake
