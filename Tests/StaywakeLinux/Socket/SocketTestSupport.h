#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace staywake::testing {

/// Values handed from other threads to the test, awaited with a generous bound
/// instead of a sleep.
template <typename T>
class Mailbox {
public:
    void post(T value) {
        {
            const std::lock_guard guard(lock_);
            values_.push_back(std::move(value));
        }
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

/// A private directory for one test's sockets, removed afterwards.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "staywake-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace staywake::testing
