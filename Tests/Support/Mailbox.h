#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace staywake::testing {

/// Values handed from other threads to the test, awaited with a generous bound instead of a sleep.
template <typename T> class Mailbox {
public:
    void post(T value) {
        const std::lock_guard guard(lock_);
        values_.push_back(std::move(value));
        changed_.notify_all();
    }

    /// The next value, or nothing when none arrives within `timeout`.
    std::optional<T> take(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock guard(lock_);
        if (!changed_.wait_for(guard, timeout, [&] { return !values_.empty(); })) {
            return std::nullopt;
        }
        T value = std::move(values_.front());
        values_.pop_front();
        return value;
    }

    std::size_t size() const {
        const std::lock_guard guard(lock_);
        return values_.size();
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<T> values_;
};

} // namespace staywake::testing
