#include "StaywakeCore/Defaults/UserDefaults.h"

#include <algorithm>
#include <cctype>

namespace staywake {

namespace {

bool textReadsTrue(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text == "yes" || text == "true" || text == "1";
}

} // namespace

bool UserDefaults::boolean(const std::string& key) const {
    const auto value = object(key);
    if (!value) {
        return false;
    }
    if (const auto* flag = value->as<bool>()) {
        return *flag;
    }
    if (const auto number = value->number()) {
        return *number != 0.0;
    }
    if (const auto* text = value->as<std::string>()) {
        return textReadsTrue(*text);
    }
    return false;
}

} // namespace staywake
