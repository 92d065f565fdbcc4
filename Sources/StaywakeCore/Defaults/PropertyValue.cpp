#include "StaywakeCore/Defaults/PropertyValue.h"

namespace staywake {

std::optional<double> PropertyValue::number() const {
    if (const auto* integer = as<std::int64_t>()) {
        return static_cast<double>(*integer);
    }
    if (const auto* real = as<double>()) {
        return *real;
    }
    return std::nullopt;
}

} // namespace staywake
