#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace staywake {

/// A value that controllers publish to the interface. Observers hear of a new
/// value only when it differs from the old one (compared with ==, so two
/// absent optionals are equal and an unchanged value is never announced).
/// Confined to one thread, like the controllers that own it.
template <typename T> class Published {
public:
    using Observer = std::function<void(const T&)>;
    using ObserverId = std::uint64_t;

    explicit Published(T initial = T{}) : value_(std::move(initial)) {}

    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }

    /// Stores `value`; tells every observer, in the order they were added,
    /// when it differs from the stored one.
    void set(T value) {
        if (value == value_) {
            return;
        }
        value_ = std::move(value);
        // Observers may add or remove observers while they run: work on a copy
        // and skip any removed meanwhile.
        const auto snapshot = observers_;
        for (const auto& [id, observer] : snapshot) {
            if (isObserving(id)) {
                observer(value_);
            }
        }
    }

    /// Adds an observer; the returned id removes it again. Observing does not
    /// change the value, so an owner can hand out read-only access that still
    /// lets the interface observe.
    ObserverId observe(Observer observer) const {
        const ObserverId id = nextId_++;
        observers_.emplace_back(id, std::move(observer));
        return id;
    }

    /// Removes an observer; unknown ids are ignored.
    void removeObserver(ObserverId id) const {
        std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
    }

    std::size_t observerCount() const { return observers_.size(); }

private:
    bool isObserving(ObserverId id) const {
        return std::any_of(observers_.begin(), observers_.end(),
                           [id](const auto& entry) { return entry.first == id; });
    }

    T value_;
    mutable std::vector<std::pair<ObserverId, Observer>> observers_;
    mutable ObserverId nextId_ = 1;
};

} // namespace staywake
