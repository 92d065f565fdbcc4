#include "StaywakeCore/Wording/LocalizableText.h"

#include <cstddef>

namespace staywake {

std::string LocalizableText::english() const {
    std::string text;
    text.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 1 < key.size() && key[i + 1] >= '1' && key[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(key[i + 1] - '1');
            if (index < arguments.size()) {
                text += arguments[index];
                ++i;
                continue;
            }
        }
        text += key[i];
    }
    return text;
}

} // namespace staywake
