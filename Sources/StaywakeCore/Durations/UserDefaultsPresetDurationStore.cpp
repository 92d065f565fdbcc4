#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"

namespace staywake {

namespace {

std::optional<double> secondsIn(const PropertyValue& element) {
    // A Boolean is read as 1 or 0 rather than ending the read, so the list
    // still reaches validation, which refuses it: one rule decides what a
    // usable list is.
    if (const auto* flag = element.as<bool>()) {
        return *flag ? 1.0 : 0.0;
    }
    return element.number();
}

} // namespace

std::optional<std::vector<double>> UserDefaultsPresetDurationStore::pinnedSeconds() const {
    const auto stored = defaults_.object(key);
    if (!stored) {
        return std::nullopt;
    }
    const auto* array = stored->as<PropertyValue::Array>();
    if (array == nullptr) {
        return std::nullopt;
    }
    std::vector<double> seconds;
    seconds.reserve(array->size());
    for (const auto& element : *array) {
        const auto value = secondsIn(element);
        if (!value) {
            return std::nullopt;
        }
        seconds.push_back(*value);
    }
    return seconds;
}

void UserDefaultsPresetDurationStore::setPinnedSeconds(std::optional<std::vector<double>> seconds) {
    if (!seconds) {
        defaults_.removeObject(key);
        return;
    }
    PropertyValue::Array array;
    array.reserve(seconds->size());
    for (const double value : *seconds) {
        array.emplace_back(value);
    }
    defaults_.set(key, PropertyValue(std::move(array)));
}

} // namespace staywake
